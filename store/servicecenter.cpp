#include "servicecenter.h"

#include "archive.h"
#include "debugtrace.h"
#include "dialog.h"
#include "engine_host.h"
#include "mtr_sms.h"
#include "phonechange.h"
#include "silentwrite.h"
#include "pccharset.h"
#include "profile.h"
#include "strutil.h"
#include "uiservices.h"
#include "utilities.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <optional>

namespace {

int Clamp(int value, int maximum) { return value < 0 ? 0 : value > maximum ? maximum : value; }

std::string Local(const QString& path) { return path.toLocal8Bit().toStdString(); }
QString FromLocal(const std::string& path) { return QString::fromLocal8Bit(path.c_str()); }

std::string FilesFolder()
{
    UiServices* ui = GetUiServices();
    return ui ? ui->GetFilesDir() : std::string();
}

// A value as it is read from a file: trimmed, without double quotes and
// commas (they would break the phone's quoted parameters).
std::string Cleaned(std::string value)
{
    Trim(value);
    RemoveAll(value, "\"");
    RemoveAll(value, ",");
    return value;
}

int ToInt(std::string value)
{
    Trim(value);
    return std::atoi(value.c_str());
}

// Stands between the engine and its host while a profile is written, to
// know whether the engine already told the user of a failure.
class BoxCountingHost : public EngineHost {
public:
    explicit BoxCountingHost(EngineHost* inner) : inner_(inner) {}
    bool DispatchOneMessage() override { return inner_ && inner_->DispatchOneMessage(); }
    int EventFd() override { return inner_ ? inner_->EventFd() : -1; }
    int MessageBox(const std::string& text, int buttons) override
    {
        ++boxes;
        return inner_ ? inner_->MessageBox(text, buttons) : IDCANCEL;
    }
    int MessageBoxById(int id, int buttons) override
    {
        ++boxes;
        return inner_ ? inner_->MessageBoxById(id, buttons) : IDCANCEL;
    }
    int MessageBoxByIdWithNumber(int id, int number, int buttons) override
    {
        ++boxes;
        return inner_ ? inner_->MessageBoxByIdWithNumber(id, number, buttons) : IDCANCEL;
    }
    int AskSecurityCode(int state) override { return inner_ ? inner_->AskSecurityCode(state) : IDCANCEL; }
    void Trace(const std::string& line) override
    {
        if (inner_)
            inner_->Trace(line);
    }
    std::string ProgramFolder() override { return inner_ ? inner_->ProgramFolder() : std::string(); }
    std::string FilesFolder() override { return inner_ ? inner_->FilesFolder() : std::string(); }
    int boxes = 0;

private:
    EngineHost* inner_;
};

}  // namespace

// ---- CServiceCenter ---------------------------------------------------------------------

CServiceCenter::CServiceCenter() { Reset(); }
CServiceCenter::~CServiceCenter() = default;

CServiceCenter::CServiceCenter(const CServiceCenter& other) : CObjectListItem(), SmsProfile() { Copy(other); }

CServiceCenter& CServiceCenter::operator=(const CServiceCenter& other)
{
    if (this != &other)
        Copy(other);
    return *this;
}

void CServiceCenter::Reset()
{
    CObjectListItem::Reset();
    m_strNumber.clear();
    m_nFormat = 0;
    m_nValidity = 3;
    m_nType = kPC;
}

void CServiceCenter::Copy(const CServiceCenter& other)
{
    Reset();
    CObjectListItem::Copy(other);
    m_strNumber = other.m_strNumber;
    m_nFormat = other.m_nFormat;
    m_nValidity = other.m_nValidity;
    m_nType = other.m_nType;
}

bool CServiceCenter::IsEqual(const CServiceCenter* other) const
{
    return other && CObjectListItem::IsEqual(*other) && m_strNumber == other->m_strNumber &&
           m_nFormat == other->m_nFormat && m_nValidity == other->m_nValidity && m_nType == other->m_nType;
}

bool CServiceCenter::HasSameParameters(const CServiceCenter* other) const
{
    return other && GetDialNumber() == other->GetDialNumber() && m_nFormat == other->m_nFormat &&
           m_nValidity == other->m_nValidity;
}

std::string CServiceCenter::GetDialNumber() const
{
    std::string out;
    FilterDialChars(m_strNumber, out);
    return out;
}

void CServiceCenter::SetPhoneNumber(const std::string& text) { FilterDialChars(text, m_strNumber); }

void CServiceCenter::SetParameters(const SMS_PARAMETERS* params)
{
    if (!params)
        return;
    m_nFormat = params->format;
    m_nValidity = params->validity;
}

void CServiceCenter::SetDisplayName(bool phoneNaming)
{
    QString name;
    if (phoneNaming && m_nType == kPhoneDefault)
        name = UiFormatString(31723, {QString::number(m_nIndex)});
    else if (phoneNaming && m_nType == kPhone)
        name = UiFormatString(31724, {QString::number(m_nIndex)});
    else
        name = UiFormatString(31874, {QString::number(m_nIndex + 1)});
    SetName(name, false);
}

void CServiceCenter::NormaliseIndex()
{
    if (m_nType == kPC)
        m_nIndex = -1;
    else if (m_nIndex < 0)
        m_nIndex = 0;
}

bool CServiceCenter::Load(QString path)
{
    std::FILE* f = nullptr;
    if (path.isEmpty() || OpenFileWithRetry(f, Local(path)) != 0 || !f)
        return false;
    Reset();
    bool sawName = false, sawNumber = false;
    char buffer[259];
    int n;
    while ((n = ReadTextLine(f, buffer, 258)) >= 0) {
        const std::string line(buffer);
        std::string upper = line;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        auto value = [&](const char* key) -> std::optional<std::string> {
            if (upper.rfind(key, 0) != 0)
                return std::nullopt;
            return line.substr(std::strlen(key));
        };
        if (auto v = value("NAME=")) {
            SetName(PcToQString(Cleaned(*v)), false);
            sawName = true;
        } else if (auto v = value("PHONENUMBER=")) {
            m_strNumber = Cleaned(*v);
            sawNumber = true;
        } else if (auto v = value("TYPE=")) {
            m_nType = ToInt(*v);
        } else if (auto v = value("INDEX=")) {
            m_nIndex = ToInt(*v);
            NormaliseIndex();
        } else if (auto v = value("TEXTFORMAT=")) {
            m_nFormat = ToInt(*v);
        } else if (auto v = value("VALIDITYPERIOD=")) {
            m_nValidity = ToInt(*v);
        }
    }
    std::fclose(f);
    m_strFilePath = path;
    m_strText2 = QFileInfo(path).fileName();
    if (!sawNumber)
        return false;
    if (!sawName) {
        // Named after its number, but not listed: the file is incomplete.
        SetName(PcToQString(m_strNumber), true);
        return false;
    }
    return !m_strName.isEmpty();
}

bool CServiceCenter::Save(QString path)
{
    if (m_nType == kPhoneDefault || m_nType == kPhone)
        return SaveToPhone();
    if (m_nType != kPC)
        return false;
    if (path.isEmpty())
        path = m_strFilePath;
    else if (path.endsWith(QLatin1Char('/')) || QFileInfo(path).isDir())
        path = QDir(path).filePath(m_strName + ".SRV");
    bool placeholder = false;  // a fresh name claimed by an empty file
    if (path.isEmpty()) {
        const std::string folder = FilesFolder();
        if (folder.empty())
            return false;
        const std::string made = MakeTempName(folder, "SRV");
        if (made.empty())
            return false;
        path = FromLocal(made);
        placeholder = true;
    }
    NormaliseIndex();
    const std::string lines[] = {
        "NAME=" + QStringToPc(m_strName),
        "TYPE=" + std::to_string(Clamp(m_nType, 2)),
        "INDEX=" + std::to_string(m_nIndex),
        "PHONENUMBER=" + m_strNumber,
        "TEXTFORMAT=" + std::to_string(Clamp(m_nFormat, 7)),
        "VALIDITYPERIOD=" + std::to_string(Clamp(m_nValidity, 5)),
    };
    // The old file stays whole until the new one is complete.
    const std::string target = Local(path);
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    if (!WriteFileAtomically(target, std::vector<uint8_t>(text.begin(), text.end()))) {
        // An empty file left under the claimed name would read as a damaged
        // profile at the next start.
        if (placeholder)
            std::remove(target.c_str());
        return false;
    }
    m_strFilePath = path;
    m_strText2 = QFileInfo(path).fileName();
    return true;
}

bool CServiceCenter::SaveToPhone()
{
    WriteDebug("CServiceCenter::SaveToPhone -> Name:", QStringToPc(m_strName));
    WriteDebug("CServiceCenter::SaveToPhone -> Phone Number:", m_strNumber);
    WriteDebugInt("CServiceCenter::SaveToPhone -> Format:", m_nFormat);
    WriteDebugInt("CServiceCenter::SaveToPhone -> Validity period:", m_nValidity);
    EngineHost* host = engine_host();
    BoxCountingHost counting(host);
    engine_set_host(&counting);
    const CServiceCenter asked(*this);
    const PhoneChangeResult r = RunPhoneChange(
        "message profile", [&] { return mtr_SMS_save_model_parameters(this); },
        [&] {
            // The phone's profile of that index, read into a copy: the same
            // parameters as asked, or what it held before.
            CServiceCenter held(asked);
            if (mtr_SMS_get_model_parameters(&held) != MTR_DONE)
                return PhoneHolds::Unknown;
            return held.HasSameParameters(&asked) ? PhoneHolds::Change : PhoneHolds::Before;
        });
    engine_set_host(host);
    if (r.Done()) {
        WriteDebug("CServiceCenter::SaveToPhone -> set SMS parameter OK");
        return true;
    }
    if (r.Unanswered()) {
        // The profile keeps what was asked when the phone holds it; the
        // screen shows what the phone holds once it answers otherwise.
        if (r.Landed()) {
            m_strNumber = asked.m_strNumber;
            m_nFormat = asked.m_nFormat;
            m_nValidity = asked.m_nValidity;
        }
        UiMessageBox(UiFormatString(SilentWriteWordsId(r), {m_strName}), MB_OK | MB_ICONEXCLAMATION);
        return r.Landed();
    }
    WriteDebug("CServiceCenter::SaveToPhone -> Fail to set SMS parameter");
    // One message for one failure: the engine names the step that failed
    // when it can; only a failure it kept quiet about is told here.
    if (counting.boxes == 0)
        UiMessageBox(UiFormatString(31423, {QString::number(r.result)}), MB_OK | MB_ICONEXCLAMATION);
    return false;
}

// ---- CServiceCenterList -------------------------------------------------------------------

bool CServiceCenterList::Load(const QString& folder, const QString& pattern, QObject* window)
{
    return LoadFolder(folder, pattern, window);
}

bool CServiceCenterList::LoadFile(QString folder, QString fileName)
{
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    auto* profile = new CServiceCenter;
    if (!profile->Load(folder + fileName)) {
        // Listed but not readable as a profile: the user hears which file.
        UiReportFileOnce(kFileUnreadable, Local(folder + fileName));
        delete profile;
        return false;
    }
    if (Add(profile) < 0) {
        delete profile;
        return false;
    }
    return true;
}

CServiceCenter* CServiceCenterList::FindSameParameters(const CServiceCenter* profile) const
{
    for (CObjectListItem* item : m_items) {
        auto* p = static_cast<CServiceCenter*>(item);
        if (p->HasSameParameters(profile))
            return p;
    }
    return nullptr;
}

void CServiceCenterList::RemoveByType(int type)
{
    std::vector<CObjectListItem*> doomed;
    for (CObjectListItem* item : m_items)
        if (static_cast<CServiceCenter*>(item)->GetType() == type)
            doomed.push_back(item);
    for (CObjectListItem* item : doomed)
        RemoveItem(item, true);
}

CServiceCenter* CServiceCenterList::FindByIndex(int index) const
{
    for (CObjectListItem* item : m_items) {
        auto* p = static_cast<CServiceCenter*>(item);
        if ((p->GetType() == CServiceCenter::kPhoneDefault || p->GetType() == CServiceCenter::kPhone) &&
            p->GetIndex() == index)
            return p;
    }
    return nullptr;
}

int CServiceCenterList::CountPhoneProfiles() const
{
    int n = 0;
    for (CObjectListItem* item : m_items) {
        const int type = static_cast<CServiceCenter*>(item)->GetType();
        if (type == CServiceCenter::kPhoneDefault || type == CServiceCenter::kPhone)
            ++n;
    }
    return n;
}

int CServiceCenterList::GetFirstDefinedProfile(int last) const
{
    if (last == -1)
        last = CountPhoneProfiles();
    auto defined = [this](int index) {
        const CServiceCenter* p = FindByIndex(index);
        return p && !p->GetPhoneNumber().empty();
    };
    for (int index = 1; index <= last; ++index)
        if (defined(index))
            return index;
    return defined(0) ? 0 : -1;
}

int CServiceCenterList::GetFirstPhoneProfileRow() const
{
    int row = 0;
    for (CObjectListItem* item : m_items) {
        auto* p = static_cast<CServiceCenter*>(item);
        if ((p->GetType() == CServiceCenter::kPhoneDefault || p->GetType() == CServiceCenter::kPhone) &&
            !p->GetPhoneNumber().empty())
            return row;
        ++row;
    }
    return -1;
}

void CServiceCenterList::RenameProfiles(bool phoneNaming)
{
    std::vector<CServiceCenter*> phone;
    for (CObjectListItem* item : m_items) {
        auto* p = static_cast<CServiceCenter*>(item);
        if (p->GetType() == CServiceCenter::kPhoneDefault || p->GetType() == CServiceCenter::kPhone)
            phone.push_back(p);
    }
    for (CServiceCenter* old : phone) {
        auto* copy = new CServiceCenter(*old);
        copy->SetDisplayName(phoneNaming);
        // A name the list holds already (the old one itself, when the
        // language kept it) leaves the old profile in place.
        if (Add(copy) >= 0)
            RemoveItem(old, false);
        else
            delete copy;
    }
}

bool CServiceCenterList::Detach(CServiceCenter* profile)
{
    for (auto it = m_items.begin(); it != m_items.end(); ++it) {
        if (*it == profile) {
            m_items.erase(it);
            m_nCount = static_cast<int>(m_items.size());
            return true;
        }
    }
    return false;
}

