#include "dataobj.h"

#include "archive.h"
#include "debugtrace.h"
#include "strutil.h"
#include "utilities.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <vector>

namespace {

std::string Local(const QString& s) { return s.toLocal8Bit().toStdString(); }
QString FromLocal(const std::string& s) { return QString::fromLocal8Bit(s.c_str()); }

QString FilesFolder()
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    return app ? FromLocal(app->GetFilesDir()) : QString();
}

}  // namespace

CDataObj::CDataObj() { m_nIndex = -1; }

CDataObj::~CDataObj() = default;

void CDataObj::Reset()
{
    CObjectListItem::Reset();
    m_strFullExeName.clear();
    m_strCommandLine.clear();
    m_strHelpCmd.clear();
    m_nDisplayHelp = 0;
    m_nType = 1;
    m_nAppliType = 0;
    m_nModemFileState = 0;
    m_strModemFileName.clear();
    m_strModemCopyPath.clear();
    m_icon = QIcon();
}

void CDataObj::CopyFrom(const CDataObj& other)
{
    Reset();
    Copy(other);
    SetFullExeName(other.m_strFullExeName);
    m_strCommandLine = other.m_strCommandLine;
    m_nDisplayHelp = other.m_nDisplayHelp;
    m_strHelpCmd = other.m_strHelpCmd;
    m_nType = other.m_nType;
    m_nAppliType = other.m_nAppliType;
    m_nModemFileState = other.m_nModemFileState;
    m_strModemFileName = other.m_strModemFileName;
    m_strModemCopyPath = other.m_strModemCopyPath;
}

void CDataObj::SetFullExeName(const QString& path)
{
    QString bare = path;
    bare.remove(QLatin1Char('"'));
    m_strFullExeName = bare;
    m_icon = QIcon();
}

QStringList CDataObj::GetArguments() const { return QProcess::splitCommand(m_strCommandLine); }

bool CDataObj::Save(QString path)
{
    if (path.isEmpty())
        path = m_strFilePath;
    else if (path.endsWith(QLatin1Char('/')) || QFileInfo(path).isDir())
        path = QDir(path).filePath(MakeFileSafeName(m_strName) + ".DFA");
    if (path.isEmpty()) {
        if (FilesFolder().isEmpty())
            return false;
        const std::string made = MakeTempName(Local(FilesFolder()), "DFA");
        if (made.empty())
            return false;
        path = FromLocal(made);
    }
    const QString lines[] = {
        "NAME=" + m_strName,
        "FULLEXENAME=" + m_strFullExeName,
        "COMMANDLINE=" + m_strCommandLine,
        "DISPLAYHELP=" + QString::number(m_nDisplayHelp),
        "HELPCMD=" + m_strHelpCmd,
        "TYPE=" + QString::number(Clamp(m_nType, 1)),
        "APPLITYPE=" + QString::number(Clamp(m_nAppliType, 3)),
        "MODEMFILESTATE=" + QString::number(Clamp(m_nModemFileState, 2)),
        "MODEMFILENAME=" + m_strModemFileName,
        "MODEMCOPYPATH=" + m_strModemCopyPath,
    };
    std::vector<uint8_t> bytes;
    for (const QString& line : lines) {
        const std::string text = Local(line) + "\r\n";
        bytes.insert(bytes.end(), text.begin(), text.end());
    }
    // The whole file under a temporary name, then renamed over the old one:
    // a write that fails leaves the entry's file as it was.
    if (!WriteFileAtomically(Local(path), bytes)) {
        WriteDebug("CDataObj::Save -> the file could not be written: ", Local(path));
        return false;
    }
    m_strFilePath = path;
    m_strText2 = QFileInfo(path).fileName();
    return true;
}

bool CDataObj::Load(QString path)
{
    if (path.isEmpty())
        path = m_strFilePath;
    std::FILE* f = nullptr;
    if (path.isEmpty() || OpenFileWithRetry(f, Local(path)) != 0 || !f)
        return false;
    Reset();
    m_strText2 = QFileInfo(path).fileName();
    m_strFilePath = path;
    bool sawProgram = false;
    char buffer[259];
    int n;
    while ((n = ReadTextLine(f, buffer, 258)) >= 0) {
        if (n == 0)
            continue;
        const QString line = QString::fromLocal8Bit(buffer);
        const QString upper = line.toUpper();
        auto value = [&](const char* key) -> std::optional<QString> {
            if (!upper.startsWith(QLatin1String(key)))
                return std::nullopt;
            return line.mid(static_cast<int>(std::strlen(key)));
        };
        if (auto v = value("NAME=")) {
            QString name = v->trimmed();
            name.remove(QLatin1Char('"')).remove(QLatin1Char(','));
            m_strName = name;
        } else if (auto v = value("FULLEXENAME=")) {
            SetFullExeName(*v);
            m_strFullExeName = m_strFullExeName.trimmed().remove(QLatin1Char(','));
            sawProgram = true;
        } else if (auto v = value("COMMANDLINE=")) {
            m_strCommandLine = v->trimmed();
        } else if (auto v = value("HELPCMD=")) {
            m_strHelpCmd = v->trimmed();
        } else if (auto v = value("MODEMFILENAME=")) {
            m_strModemFileName = v->trimmed();
        } else if (auto v = value("MODEMCOPYPATH=")) {
            m_strModemCopyPath = v->trimmed();
        } else if (auto v = value("DISPLAYHELP=")) {
            m_nDisplayHelp = v->trimmed().toInt();
        } else if (auto v = value("TYPE=")) {
            SetType(v->trimmed().toInt());
        } else if (auto v = value("APPLITYPE=")) {
            SetAppliType(v->trimmed().toInt());
        } else if (auto v = value("MODEMFILESTATE=")) {
            SetModemFileState(v->trimmed().toInt());
        }
    }
    std::fclose(f);
    return sawProgram && !m_strFullExeName.isEmpty() && !m_strName.isEmpty();
}

bool CDataObj::LocateProgram()
{
    const QString program = GetShortExeName();
    if (program.isEmpty())
        return false;
    if (program.contains(QLatin1Char('/')))
        return QFileInfo(program).isFile();
    // A bare name: the search path stands in for the system's register of
    // program paths.
    const QString found = QStandardPaths::findExecutable(program);
    if (found.isEmpty())
        return false;
    SetFullExeName(found);
    if (!m_strFilePath.isEmpty())
        Save(m_strFilePath);
    return true;
}

bool CDataObj::IsProgramAvailable() const
{
    CZorqMMIDoc* doc = CZorqMMIDoc::Instance();
    if (!doc || doc->IsDataAppRunning())
        return false;
    return QFileInfo(GetShortExeName()).isFile();
}

// ---- the list -----------------------------------------------------------------------------------

bool CDataObjList::LoadFile(QString folder, QString fileName)
{
    auto* item = new CDataObj;
    const QString path = QDir(folder).filePath(fileName);
    if (!item->Load(path)) {
        // Listed but not readable as an entry: the user hears which file.
        UiReportFileOnce(kFileUnreadable, Local(path));
        delete item;
        return false;
    }
    // The program itself is never listed; its name is the file's own, so a
    // dot in a folder above it does not hide it.
    const QFileInfo program(item->GetShortExeName());
    const bool itself = program.fileName().compare(QLatin1String(kZorqExeName), Qt::CaseInsensitive) == 0 ||
                        program.completeBaseName().compare(QLatin1String(kZorqExeName), Qt::CaseInsensitive) == 0;
    bool listed = !itself && item->GetAppliType() == m_nAppliType;
    // An entry whose program is not found stays listed (Run is disabled
    // for it), so that the user sees it and can correct or delete it.
    if (listed)
        item->LocateProgram();
    listed = listed && AddSorted(item) >= 0;
    if (!listed)
        delete item;
    return listed;
}

CDataObj* CDataObjList::FindDataObj(const QString& name) const
{
    return dynamic_cast<CDataObj*>(FindByName(name));
}

CDataObj* CDataObjList::FindByProgram(const QString& program) const
{
    for (CObjectListItem* item : m_items)
        if (auto* d = dynamic_cast<CDataObj*>(item))
            if (d->GetFullExeName().compare(program, Qt::CaseInsensitive) == 0)
                return d;
    return nullptr;
}

bool CDataObjList::Detach(CObjectListItem* item)
{
    for (auto it = m_items.begin(); it != m_items.end(); ++it)
        if (*it == item) {
            m_items.erase(it);
            --m_nCount;
            return true;
        }
    return false;
}

// ---- the program edit ---------------------------------------------------------------------------

QString QuoteProgram(const QString& program)
{
    return program.contains(QLatin1Char(' ')) ? '"' + program + '"' : program;
}

void SplitProgramText(const QString& text, QString& program, QString& arguments)
{
    const QString t = text.trimmed();
    int end;
    if (t.startsWith(QLatin1Char('"'))) {
        const int close = t.indexOf(QLatin1Char('"'), 1);
        end = close < 0 ? t.size() : close + 1;
    } else {
        end = t.indexOf(QLatin1Char(' '));
        if (end < 0)
            end = t.size();
    }
    program = t.left(end);
    program.remove(QLatin1Char('"'));
    arguments = t.mid(end).trimmed();
}
