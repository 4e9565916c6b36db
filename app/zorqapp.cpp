#include "zorqapp.h"

#include "apploop.h"
#include "docwindows.h"
#include "zorqmmidoc.h"
#include "debugtrace.h"
#include "mainframe.h"
#include "quitsignals.h"
#include "singleinstance.h"
#include "dlgmessagebox.h"
#include "dlgprogress.h"
#include "langbundle.h"
#include "profile.h"
#include "strutil.h"
#include "utilities.h"
#include "versiondoc.h"

#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <strings.h>
#include <vector>
#include <unistd.h>

namespace {
CZorqMMIApp* g_app = nullptr;
}

CZorqMMIApp::CZorqMMIApp()
{
    g_app = this;
    SetUiServices(this);
}

CZorqMMIApp::~CZorqMMIApp()
{
    FreeResourceLibrary();
    if (g_app == this)
        g_app = nullptr;
    if (GetUiServices() == this)
        SetUiServices(nullptr);
}

CZorqMMIApp* CZorqMMIApp::Instance() { return g_app; }

void CZorqMMIApp::SetDataDirectories(const std::string& programFile)
{
    std::string path;
    if (!programFile.empty()) {
        path = GetDirectoryPart(programFile, 1);
        if (path.empty() && programFile[0] == '/')
            path = "/";
    } else {
        path = GetExecutableFolder();
        if (path.empty()) {
            char cwd[PATH_MAX];
            path = ::getcwd(cwd, sizeof cwd) ? cwd : "";
        }
    }
    m_strAppDir = NormalizeDirectory(path);
    m_strResDir = NormalizeDirectory(m_strAppDir + "Res");
    m_strDatabaseDir = NormalizeDirectory(m_strAppDir + kDatabaseFolderName);
    m_strWorkDir = NormalizeDirectory(m_strAppDir + kWorkFolderName);
    m_strFilesDir = NormalizeDirectory(m_strAppDir + "Files");
    m_strMelodyDir = NormalizeDirectory(m_strAppDir + "Melody");
}

bool CZorqMMIApp::GetLanguageCode()
{
    std::string code = GetLanguageSetting();
    if (code.empty())
        code = GetUserLanguageCode();
    SetHelpFile(code);
    return LoadResourceLibrary(code);
}

void CZorqMMIApp::SetHelpFile(const std::string& code)
{
    // The help is an HTML file of the bundle's base name, for the desktop's viewer.
    const std::string path = m_strAppDir + "ZORQ" + code + ".html";
    if (FileExists(path))
        m_strHelpFile = path;
    else if (code != "enu")
        SetHelpFile("enu");
}

bool CZorqMMIApp::LoadBundle(const std::string& code, std::unique_ptr<CLanguageBundle>& into,
                             std::string& loadedCode) const
{
    const std::string path = m_strAppDir + "ZORQ" + code + ".rcc";
    auto bundle = std::make_unique<CLanguageBundle>();
    if (FileExists(path) && bundle->Load(QString::fromStdString(path))) {
        into = std::move(bundle);
        loadedCode = code;
        return true;
    }
    if (code != "enu")
        return LoadBundle("enu", into, loadedCode);
    return false;
}

bool CZorqMMIApp::LoadResourceLibrary(const std::string& code)
{
    m_strLanguage = code;
    std::unique_ptr<CLanguageBundle> bundle;
    std::string loaded;
    if (!LoadBundle(code, bundle, loaded)) {
        if (code != "enu")
            m_strLanguage = "enu";
        return false;
    }
    FreeResourceLibrary();
    m_strLanguage = loaded;
    m_hLangResources = std::move(bundle);
    SetResourceModule(m_hLangResources.get());
    LoadBackgroundPictures(m_strLanguage);
    return true;
}

void CZorqMMIApp::LoadBackgroundPictures(const std::string& code)
{
    std::string defaultName = "back" + code + ".BMP";
    if (!FileExists(m_strResDir + defaultName))
        defaultName = "backenu.BMP";
    const std::string base = GetBaseName(defaultName);
    const std::string value = GetIniProfileString("Pictures", "BmpName", base);
    m_strBmpName = value + ".BMP";
    if (!FileExists(m_strResDir + m_strBmpName))
        m_strBmpName = defaultName;
}

bool CZorqMMIApp::FreeResourceLibrary()
{
    if (m_hLangResources) {
        if (GetResourceModule() == m_hLangResources.get())
            SetResourceModule(nullptr);
        m_hLangResources.reset();
    }
    return true;
}

bool CZorqMMIApp::ChangeLanguage(const std::string& code)
{
    if (strcasecmp(code.c_str(), m_strLanguage.c_str()) == 0)
        return false;
    std::string wanted = GetLanguageSetting();
    if (wanted.empty())
        wanted = code;
    std::unique_ptr<CLanguageBundle> bundle;
    std::string loaded;
    if (!LoadBundle(wanted, bundle, loaded)) {
        WriteDebug("CZorqMMIApp::ChangeLanguage -> no bundle for ", wanted, ", language kept");
        return false;
    }
    SetHelpFile(wanted);
    FreeResourceLibrary();
    m_strLanguage = loaded;
    m_hLangResources = std::move(bundle);
    SetResourceModule(m_hLangResources.get());
    LoadBackgroundPictures(m_strLanguage);
    return true;
}

QString CZorqMMIApp::LoadString(int id) const
{
    if (m_hLangResources && m_hLangResources->HasString(id))
        return m_hLangResources->GetString(id);
    WriteDebugInt("CZorqMMIApp::LoadString -> missing string ", id);
    return QString();
}

QString CZorqMMIApp::DatePattern() const { return QString::fromStdString(::DatePattern(ProgramLangId())); }

QString CZorqMMIApp::DateTimeText(const QDateTime& when) const
{
    const QDate d = when.date();
    const QTime t = when.time();
    return QString::fromStdString(
        FormatDateTimeText(MakeDateTime(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()), ProgramLangId()));
}

QString CZorqMMIApp::FormatString(int id, const QStringList& inserts) const
{
    return FormatInserts(LoadString(id), inserts);
}

QString CZorqMMIApp::MarkSimulated(const QString& text) const
{
    // Nobody should take the simulator's answers for a real phone's.
    return RunsOnSimulator() ? FormatString(kSimulatedNote, {text}) : text;
}

int CZorqMMIApp::ShowMessageBox(int stringId, unsigned type, unsigned helpId)
{
    return DoMessageBox(LoadString(stringId), type, helpId);
}

int CZorqMMIApp::DoMessageBox(const QString& textIn, unsigned type, unsigned helpId)
{
    (void)helpId;  // no context help behind message boxes on this platform
    std::string text = textIn.toStdString();
    ReplaceAppName(text);
    if (m_bQuitAsked) {
        // A signal asked the program to end: nobody may be there to answer.
        // The answer that goes on least: Cancel, or No, or OK alone.
        WriteDebug("DoMessageBox -> not shown, the program ends: ", text);
        switch (type & MB_TYPEMASK) {
        case MB_OK: return IDOK;
        case MB_YESNO: return IDNO;
        default: return IDCANCEL;
        }
    }
    const QString qtext = QString::fromStdString(text);
    const QString caption = QString::fromUtf8(kProductName);

    if (m_pSplashWnd && m_pSplashWnd->isVisible()) {
        if (type == MB_YESNO)
            type = MB_YESNO | MB_ICONEXCLAMATION;
        WriteDebug("DoMessageBox -> Message : ", text);
        return SystemMessageBox(m_pSplashWnd, qtext, caption, type);
    }
    if (type == MB_OK) {
        if (!m_pMainWnd)
            return SystemMessageBox(nullptr, qtext, caption, type);
        CDlgMessageBox dlg;
        dlg.m_strFolder = QString::fromStdString(m_strAppDir);
        dlg.ComposeText(caption, qtext);
        WriteDebug("DoMessageBox -> Message : ", text);
        MessageBeep();
        // A bundle without the message template must not swallow the text.
        if (RunMessageDialog(dlg) == -1)
            return SystemMessageBox(m_pMainWnd, qtext, caption, type);
        return 1;  // the dialog has one button: OK, whatever closed it
    }
    WriteDebug("DoMessageBox -> Message : ", text);
    return SystemMessageBox(m_pMainWnd, qtext, caption, type);
}

namespace {

// The desktop's box at the width the program's own notice takes for the same
// text and title (NoticeWidth). It sizes itself whenever it lays itself out
// (as it is shown, and after); each time, it is then given that width, never
// less than its own, and the height its text takes at that width.
class NoticeSizedBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;
    int noticeWidth = 0;

protected:
    bool event(QEvent* e) override
    {
        const bool result = QMessageBox::event(e);
        if (e->type() == QEvent::Show || e->type() == QEvent::LayoutRequest)
            FitToNotice();
        return result;
    }

private:
    void FitToNotice()
    {
        if (noticeWidth <= 0 || !layout() || m_fitting)
            return;
        m_fitting = true;
        const int w = std::max(noticeWidth, width());
        layout()->activate();
        const int h = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(w)
                                                    : layout()->totalMinimumSize().height();
        const QSize size(w, std::max(h, layout()->totalMinimumSize().height()));
        if (size != this->size() || minimumSize() != size || maximumSize() != size)
            setFixedSize(size);
        m_fitting = false;
    }
    bool m_fitting = false;
};

}  // namespace

int CZorqMMIApp::SystemMessageBox(QWidget* owner, const QString& text, const QString& caption,
                                  unsigned type)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return 2;
    NoticeSizedBox box(owner);
    // A box never goes out under the name of the executable.
    box.setWindowTitle(caption.isEmpty() ? QString::fromUtf8(kProductName) : caption);
    box.setText(text);
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONASTERISK: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    struct B { QMessageBox::StandardButton qt; int id; };
    std::vector<B> buttons;
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons = {{QMessageBox::Ok, 1}, {QMessageBox::Cancel, 2}}; break;
    case MB_ABORTRETRYIGNORE:
        buttons = {{QMessageBox::Abort, 3}, {QMessageBox::Retry, 4}, {QMessageBox::Ignore, 5}};
        break;
    case MB_YESNOCANCEL:
        buttons = {{QMessageBox::Yes, 6}, {QMessageBox::No, 7}, {QMessageBox::Cancel, 2}};
        break;
    case MB_YESNO: buttons = {{QMessageBox::Yes, 6}, {QMessageBox::No, 7}}; break;
    case MB_RETRYCANCEL: buttons = {{QMessageBox::Retry, 4}, {QMessageBox::Cancel, 2}}; break;
    default: buttons = {{QMessageBox::Ok, 1}}; break;
    }
    QMessageBox::StandardButtons set;
    for (const B& b : buttons)
        set |= b.qt;
    box.setStandardButtons(set);
    // The same pictures on every box, also where the desktop shows none.
    for (const B& b : buttons)
        if (QAbstractButton* button = box.button(b.qt))
            button->setIcon(MessageButtonPicture(b.id, box.style()));
    size_t def = (type & MB_DEFMASK) == MB_DEFBUTTON2 ? 1 : (type & MB_DEFMASK) == MB_DEFBUTTON3 ? 2 : 0;
    if (def < buttons.size())
        box.setDefaultButton(buttons[def].qt);
    box.noticeWidth = NoticeWidth(&box, box.windowTitle(), text, (type & MB_ICONMASK) != 0);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (const B& b : buttons)
        if (clicked && box.standardButton(clicked) == b.qt)
            return b.id;
    // Closed without a button: Cancel when there is one, else the only button.
    for (const B& b : buttons)
        if (b.id == 2)
            return 2;
    return buttons.size() == 1 ? buttons[0].id : 2;
}

int CZorqMMIApp::RunMessageDialog(CDlgMessageBox& dlg) { return dlg.DoModal(); }

void CZorqMMIApp::MessageBeep()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::beep();
}

std::string CZorqMMIApp::ResolveDatabaseName(const std::string& name)
{
    CZorqMMIApp* app = Instance();
    if (name.empty())
        return name;
    if (name[0] != '/')
        return (app ? app->GetFolderPath() : std::string()) + name;
    if (!app || FileExists(name))
        return name;
    // A full path that leads nowhere may have been stored before the program
    // folder moved: a file of its Database or Work folder is then the file of
    // the same name in those folders here ("/old/place/Database/defpb.mdb").
    // The end of any other path (".../books/family.mdb") tells nothing of
    // which book it was, and a drive that is not mounted must not open some
    // other book in its place: such a path stays as it is, and is reported as
    // not found where it is opened.
    const std::string used = app->DataFolderFileOf(name);
    if (used.empty() || !FileExists(used))
        return name;
    WriteDebug("CZorqMMIApp::ResolveDatabaseName -> " + name + " not found, taken from the program folder: ", used);
    // The book now open is not the one the profile names: the user is told,
    // once a run for each stored path (it is looked up at every use).
    if (app->m_toldSubstitutions.insert(name).second)
        app->TellFromLoop(
            app->FormatString(kDatabaseSubstituted, {QString::fromStdString(name), QString::fromStdString(used)}));
    return used;
}

void CZorqMMIApp::TellFromLoop(const QString& text, int delayMs)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        DoMessageBox(text, MB_OK, 0);
        return;
    }
    // Paths are looked up amid the work that needs them (a list being
    // filled, a file being opened); a box standing there would run the loop
    // inside that work, and let it start again under the box. The box comes
    // once no request waits, no idle step runs and no progress window stands.
    if (!m_pNoticeContext)
        m_pNoticeContext = std::make_unique<QObject>();
    QTimer::singleShot(delayMs, m_pNoticeContext.get(), [this, text] {
        if (IsShuttingDown())
            return;
        if (!IdleAllowed() || GetProgressRunning()) {
            TellFromLoop(text, 50);
            return;
        }
        DoMessageBox(text, MB_OK, 0);
    });
}

std::string CZorqMMIApp::DataFolderFileOf(const std::string& path) const
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 >= path.size())
        return std::string();
    const size_t before = path.rfind('/', slash - 1);
    if (before == std::string::npos)
        return std::string();
    const std::string folder = path.substr(before + 1, slash - before - 1);
    const std::string file = path.substr(slash + 1);
    if (folder == kDatabaseFolderName)
        return m_strDatabaseDir + file;
    if (folder == kWorkFolderName)
        return m_strWorkDir + file;
    return std::string();
}

std::string CZorqMMIApp::DatabaseNameToStore(const std::string& path)
{
    CZorqMMIApp* app = Instance();
    const std::string folder = app ? app->GetFolderPath() : std::string();
    if (!folder.empty() && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
        path.find('/', folder.size()) == std::string::npos)
        return path.substr(folder.size());
    return path;
}

std::string CZorqMMIApp::GetDatabaseSetting(const char* key, const char* defaultName)
{
    std::string name = GetIniProfileString("Databases", key, defaultName);
    if (name.empty())
        name = defaultName;
    return ResolveDatabaseName(name);
}

void CZorqMMIApp::WriteDatabaseSetting(const char* key, const std::string& path)
{
    WriteIniProfileString("Databases", key, DatabaseNameToStore(path));
}

bool CZorqMMIApp::RegisterVersionEditionNumber()
{
    CVersionDoc doc;
    bool ok = doc.LoadVersionFile(m_strAppDir);
    if (ok) {
        m_VersionNumber = doc.m_VersionNumber;
        m_EditionNumber = doc.m_EditionNumber;
        m_PellardATPVersion = doc.m_PellardATPVersion;
        WriteDebug("RegisterVersionEditionNumber -> m_VersionNumber:", m_VersionNumber);
        WriteDebug("RegisterVersionEditionNumber -> m_EditionNumber:", m_EditionNumber);
        WriteDebug("RegisterVersionEditionNumber -> m_PellardATPVersion:", m_PellardATPVersion);
    }
    return ok;
}

void CZorqMMIApp::SetProgressRunning(bool on) { ProgressNotices::running = on; }
bool CZorqMMIApp::GetProgressRunning() const { return ProgressNotices::running; }
void CZorqMMIApp::SetSMSReceivedPending(bool on) { ProgressNotices::smsPending = on; }
bool CZorqMMIApp::GetSMSReceivedPending() const { return ProgressNotices::smsPending; }
void CZorqMMIApp::SetReportReceivedPending(bool on) { ProgressNotices::reportPending = on; }
bool CZorqMMIApp::GetReportReceivedPending() const { return ProgressNotices::reportPending; }
void CZorqMMIApp::SetSMSBoxShown(bool on) { ProgressNotices::smsBoxShown = on; }
bool CZorqMMIApp::IsSMSBoxShown() const { return ProgressNotices::smsBoxShown; }
void CZorqMMIApp::SetReportBoxShown(bool on) { ProgressNotices::reportBoxShown = on; }
bool CZorqMMIApp::IsReportBoxShown() const { return ProgressNotices::reportBoxShown; }
