#include "zorqmmidoc.h"
#include "portfailures.h"
#include "serial_failures.h"

#include "debugtrace.h"
#include "engine_host.h"
#include "mtr_discovery.h"
#include "mtr_gen.h"
#include "mtr_pb.h"
#include "mtr_poll.h"
#include "mtr_sms.h"
#include "pbdatabase.h"
#include "profile.h"
#include "smsdatabase.h"
#include "strutil.h"
#include "utilities.h"
#include "wndmsg.h"
#include "zorqapp.h"

#include <QObject>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <filesystem>

namespace {

constexpr int kIDOK = 1;
constexpr int STR_NO_PHONE_VXD = 31851, STR_NO_PHONE = 31885, STR_PORT_NOT_OPENED = 31890;

CZorqMMIDoc* g_doc = nullptr;
// What the last detection without a phone could not open, and the box it
// would have shown while held back (portfailures.h).
std::vector<serial_open_failure> g_portFailures;
int g_nHeldNoPhoneBox = 0;
bool g_bHoldNoPhoneNotices = false;

CZorqMMIApp* App() { return CZorqMMIApp::Instance(); }

int Box(int stringId, unsigned type = MB_OK)
{
    CZorqMMIApp* app = App();
    return app ? app->ShowMessageBox(stringId, type) : kIDOK;
}

std::string Folder(const std::string& (CZorqMMIApp::*get)() const)
{
    CZorqMMIApp* app = App();
    return app ? (app->*get)() : std::string();
}

double ToDays(const MTR_DATETIME& t)
{
    return t.IsZero() ? 0.0 : MakeDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// Storage 1/5 SIM, 2/6 SIM FDN, 3/7 phone memory -> record 0, 1, 2.
int PBRecordIndex(int storage)
{
    switch (storage) {
    case 1: case 5: return MTR_PB_REC_SIM_ADN;
    case 2: case 6: return MTR_PB_REC_SIM_FDN;
    case 3: case 7: return MTR_PB_REC_EEPROM_ADN;
    default: return -1;
    }
}

}  // namespace

// ---- Construction and lifetime ---------------------------------------------------------------

CZorqMMIDoc::CZorqMMIDoc()
{
    g_doc = this;
    gv_pDoc = this;
    m_bVerifyVersion = GetIniProfileInt("ATP", "VerifyVersion", 1) != 0;
    ResetPBUpload();
    m_AlarmCard.SetOrganiserType(ORG_TYPE_ALARM);
    m_SwitchOnCard.SetOrganiserType(ORG_TYPE_SWITCH_ON);
    m_SwitchOffCard.SetOrganiserType(ORG_TYPE_SWITCH_OFF);
    ClearPin2Verified();
    m_operatorNames.push_back(std::make_unique<std::string>());
    if (CZorqMMIApp* app = App()) {
        SetIncompleteMessageMark(app->LoadString(31768).toStdString());
        const std::string files = app->GetFilesDir();
        if (!files.empty())
            m_ServiceCenterList.Load(QString::fromLocal8Bit(files.c_str()), QStringLiteral("*.SRV"), nullptr);
    }
}

CZorqMMIDoc::~CZorqMMIDoc()
{
    for (int storage : {1, 2, 3})
        DeleteFileIfExists(GetPBDatabaseName(storage));
    CloseSMSDatabases(0);
    CloseSMSDatabases(1);
    const std::string sim = GetSMSimSIMPath(1);
    if (FileExists(sim)) {
        const std::string previous = GetPerMsgSMPath(1);
        std::error_code ec;
        std::filesystem::rename(sim, previous, ec);
        if (ec)
            WriteDebug("CZorqMMIDoc::~CZorqMMIDoc -> the SIM message mirror could not be kept: ", ec.message());
    }
    if (m_bStatusDlg)
        m_pWindows->CloseStatusDlg();
    if (gv_pDoc == this)
        gv_pDoc = nullptr;
    if (g_doc == this)
        g_doc = nullptr;
    CloseUploadDatabase();
    // Only the folder of this run's own temporary files goes.
    if (!m_strTempFolder.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_strTempFolder, ec);
    }
}

CZorqMMIDoc* CZorqMMIDoc::Instance() { return g_doc; }

void CZorqMMIDoc::SetWindows(CDocWindows* windows) { m_pWindows = windows ? windows : &m_defaultWindows; }

QObject* CZorqMMIDoc::GetActiveView() { return m_pWindows->GetActiveView(); }

void CZorqMMIDoc::PostToMainWindow(unsigned message, uintptr_t wParam, intptr_t lParam)
{
    CZorqMMIApp* app = App();
    PostMessage(app ? app->m_pMainWnd : nullptr, message, wParam, lParam);
}

bool CZorqMMIDoc::OnCloseDocument()
{
    // The PC list is the master copy of the concatenated messages: their
    // rebuilt rows go only once the list is safely on disk.
    bool saved = true;
    const std::string pcPath = GetPCConcatListPath();
    if (!m_PCConcatList.IsEmpty() && !m_PCConcatList.Save(pcPath)) {
        WriteDebug("CZorqMMIDoc::OnCloseDocument -> PCConc.lst could not be written; the rows stay");
        saved = false;
    } else if (m_PCConcatList.IsEmpty()) {
        DeleteFileIfExists(pcPath);
    }
    if (saved) {
        CJetDatabase* db = nullptr;
        if (OpenSMSDatabaseByName(GetPCSMSDatabasePath(), SMS_DST_PC) == 0 &&
            OpenSMSDatabase(&db, SMS_DST_PC, "") == 0 && db && db->IsOpen())
            DeleteConcatRows(db);
    }
    m_SIMConcatList.PurgeStoredParts();
    const std::string simPath = GetSIMConcatListPath();
    if (m_SIMConcatList.IsEmpty())
        DeleteFileIfExists(simPath);
    else if (!m_SIMConcatList.Save(simPath)) {
        WriteDebug("CZorqMMIDoc::OnCloseDocument -> SIMConc.lst could not be written");
        saved = false;
    }
    return saved;
}

// ---- Capabilities ---------------------------------------------------------------------------

const MTR_PB_STORAGE* CZorqMMIDoc::PBRecord(int storage) const
{
    int i = PBRecordIndex(storage);
    return i < 0 ? nullptr : &m_MSParam.pb[i];
}

int CZorqMMIDoc::IsPBStorageAvailable(int storage) const
{
    const MTR_PB_STORAGE* r = PBRecord(storage);
    return r ? r->available : 0;
}

int CZorqMMIDoc::GetPBMaxNumberLength(int storage) const
{
    if (storage == 0 || storage == 4)
        return 250;
    const MTR_PB_STORAGE* r = PBRecord(storage);
    return r ? r->number_length : 0;
}

int CZorqMMIDoc::GetPBMaxTextLength(int storage) const
{
    if (storage == 0 || storage == 4)
        return 250;
    const MTR_PB_STORAGE* r = PBRecord(storage);
    return r ? r->name_length : 0;
}

int CZorqMMIDoc::GetPBMaxLocation(int storage) const
{
    if (storage == 0 || storage == 4)
        return 65535;
    const MTR_PB_STORAGE* r = PBRecord(storage);
    return r ? r->capacity : 0;
}

bool CZorqMMIDoc::IsPBStorageRead(int storage) const
{
    int i = PBRecordIndex(storage);
    return i < 0 ? true : m_abPBStorageRead[i];
}

void CZorqMMIDoc::SetPBStorageRead(int storage)
{
    int i = PBRecordIndex(storage);
    if (i >= 0)
        m_abPBStorageRead[i] = true;
}

int CZorqMMIDoc::GetMaxNbOfNotes() const { return m_MSParam.melody.notes_max < 1 ? 50 : m_MSParam.melody.notes_max; }
int CZorqMMIDoc::GetMelodyDurationMax() const { return m_MSParam.melody_max_duration ? m_MSParam.melody_max_duration : 1000; }
int CZorqMMIDoc::GetMelodyDurationMin() const { return m_MSParam.melody_min_duration ? m_MSParam.melody_min_duration : 1; }
int CZorqMMIDoc::GetMelodyTempoMax() const { return m_MSParam.melody_max_tempo ? m_MSParam.melody_max_tempo : 1000; }
int CZorqMMIDoc::GetMelodyTempoMin() const { return m_MSParam.melody_min_tempo ? m_MSParam.melody_min_tempo : 1; }
int CZorqMMIDoc::GetMelodyNameMax() const { return m_MSParam.melody.name_max ? m_MSParam.melody.name_max : 10; }
int CZorqMMIDoc::GetDefaultOctave() const { return m_MSParam.melody_default_octave ? m_MSParam.melody_default_octave : 4; }
int CZorqMMIDoc::GetMelodyMax() const { return m_MSParam.melody.nb_melodies ? m_MSParam.melody.nb_melodies : 8; }
int CZorqMMIDoc::GetMelodyOctaveMax() const { return m_MSParam.melody_high_octave ? m_MSParam.melody_high_octave : 6; }
int CZorqMMIDoc::GetMelodyOctaveMin() const { return m_MSParam.melody_low_octave ? m_MSParam.melody_low_octave : 3; }
char CZorqMMIDoc::GetMelodyNoteMax() const
{
    return m_MSParam.melody_high_note ? static_cast<char>(m_MSParam.melody_high_note) : 'C';
}
char CZorqMMIDoc::GetMelodyNoteMin() const
{
    return m_MSParam.melody_low_note ? static_cast<char>(m_MSParam.melody_low_note) : 'F';
}

// ---- Feature flags -------------------------------------------------------------------------------

void CZorqMMIDoc::ClearFeatureFlags()
{
    m_bPB = m_bSMS = m_bCB = m_bST1 = false;
    m_bORG = m_bCLK = m_bALA = m_bMDY = false;
    m_bSMS2 = m_bSMS3 = m_bSMS3b = false;
    m_bST1_2 = m_bST1_2b = false;
}

double CZorqMMIDoc::GetFeatureVersion(const std::string& text, const std::string& key)
{
    size_t at = text.find(key);
    if (at == std::string::npos)
        return -1.0;
    std::string rest = text.substr(at + key.size());
    size_t comma = rest.find(',');
    if (comma != std::string::npos)
        rest.resize(comma);
    return std::strtod(rest.c_str(), nullptr);
}

void CZorqMMIDoc::ParseMobileVersion(const std::string& phoneText)
{
    static const char* const keys[] = {"PB=", "SMS=", "CB=", "ST1=", "ORG=", "CLK=", "ALA=", "MDY="};
    ClearFeatureFlags();
    const std::string program = App() ? App()->GetPellardATPVersion() : std::string();
    for (int k = 0; k < 8; ++k) {
        const double pc = GetFeatureVersion(program, keys[k]);
        if (pc == -1.0)
            continue;
        const double ph = GetFeatureVersion(phoneText, keys[k]);
        if (ph == -1.0)
            continue;
        if (ph >= pc) {
            switch (k) {
            case 0: m_bPB = true; break;
            case 1:
                m_bSMS = true;
                m_bSMS1Mode = true;
                if (ph >= 2.0)
                    m_bSMS2 = true;
                if (ph >= 3.0) {
                    m_bSMS3 = m_bSMS3b = true;
                    m_bSMS1Mode = false;
                }
                break;
            case 2: m_bCB = true; break;
            case 3:
                m_bST1 = true;
                if (ph >= 2.0)
                    m_bST1_2 = m_bST1_2b = true;
                break;
            case 4: m_bORG = true; break;
            case 5: m_bCLK = true; break;
            case 6: m_bALA = true; break;
            case 7: m_bMDY = true; break;
            }
        } else if (k == 0) {
            m_bPB = true;
        } else if (k == 1) {
            m_bSMS = true;
        } else if (k == 3) {
            m_bST1 = true;
        }
    }
}

void CZorqMMIDoc::ApplyFeatureFlags(MS_PARAM& param) const
{
    for (auto& pb : param.pb)
        pb.available = m_bPB;
    param.sms.sim_read = param.sms.sim_write = param.sms.me_read = param.sms.me_write = m_bSMS;
    param.st1_available = m_bST1;
    param.clock_available = m_bCLK;
    param.alarm_available = m_bALA;
    param.melody_available = m_bMDY;
}

void CZorqMMIDoc::CheckMobileVersion()
{
    m_bPB = m_bSMS = m_bCB = m_bST1 = true;
    m_bORG = m_bCLK = m_bALA = m_bMDY = false;
    m_bSMS2 = m_bSMS3 = m_bSMS3b = m_bST1_2 = m_bST1_2b = false;
    const std::string program = App() ? App()->GetPellardATPVersion() : std::string();
    if (gv_SPIO_com_status != SPIO_com_available || !m_bVerifyVersion || program.empty() || program == "-1")
        return;
    ClearFeatureFlags();
    WriteDebug("CZorqMMIDoc::CheckMobileVersion -> mtr_GEN_req_version called");
    std::string text;
    MTR_RESULT r = mtr_GEN_req_version(text);
    if (r == 0) {
        ApplyFeatureFlags(m_MSParam);
        WriteDebug("CZorqMMIDoc::CheckMobileVersion -> The AT version could not be read");
        return;
    }
    if (text.empty())
        text = "PB=1.0,SMS=1.0,ST1=1.0";
    ParseMobileVersion(text);
    ApplyFeatureFlags(m_MSParam);
}

// ---- Phone detection -------------------------------------------------------------------------------

void HoldBackNoPhoneNotices(bool hold) { g_bHoldNoPhoneNotices = hold; }

void ShowNoPhoneNotices()
{
    std::vector<serial_open_failure> failures;
    failures.swap(g_portFailures);
    const int box = g_nHeldNoPhoneBox;
    g_nHeldNoPhoneBox = 0;
    if (box)
        Box(box);
    CZorqMMIApp* app = App();
    for (const serial_open_failure& f : failures) {
        WriteDebug("ShowNoPhoneNotices -> " + f.path + ": ", f.reason);
        if (app)
            app->DoMessageBox(app->FormatString(STR_PORT_NOT_OPENED, {QString::number(f.port),
                                                                      QString::fromLocal8Bit(f.path.c_str()),
                                                                      QString::fromLocal8Bit(f.reason.c_str())}),
                              MB_OK, 0);
    }
}

bool CZorqMMIDoc::mmi_NewMobileDetect(bool fullTest)
{
    QObject* view = GetActiveView();
    for (bool& read : m_abPBStorageRead)
        read = false;
    m_bSIMSMSRead = false;
    m_nNewMsgCount = 0;
    WriteDebug("CZorqMMIDoc::mmi_NewMobileDetect -> BEGIN");
    ClearPin2Verified();
    m_pWindows->SetProgressPos(1);

    serial_take_open_failures();  // those of earlier tries are not this detection's
    g_portFailures.clear();
    g_nHeldNoPhoneBox = 0;
    const MTR_RESULT r = fullTest ? mtr_GEN_test_communication() : mtr_IsComWithMobile();
    m_pWindows->SetProgressPos(2);
    bool found = false;
    if (r == MTR_DONE) {
        gv_SPIO_com_status = SPIO_com_available;
        found = true;
        serial_take_open_failures();
        WriteDebug("CZorqMMIDoc::mmi_NewMobileDetect -> phone found, gv_SPIO_com_status = SPIO_com_available");
    } else {
        g_portFailures = serial_take_open_failures();
        if (r == MTR_VXD_BUSY) {
            g_nHeldNoPhoneBox = STR_NO_PHONE_VXD;
            g_portFailures.clear();
        } else if (g_portFailures.empty() && r == MTR_NO_PHONE) {
            // A port the user named, unusable, is told instead: its name
            // and the reason say more than "no phone".
            g_nHeldNoPhoneBox = STR_NO_PHONE;
        }
        if (!g_bHoldNoPhoneNotices)
            ShowNoPhoneNotices();
        gv_SPIO_com_status = SPIO_no_com_available;
        WriteDebugInt("CZorqMMIDoc::mmi_NewMobileDetect -> no phone, gv_SPIO_com_status = SPIO_no_com_available, "
                      "result ",
                      r);
    }

    UpdateMSParamInDocument(found);
    StopPBUpload();
    CloseUploadDatabase();
    m_pWindows->SetProgressPos(3);

    // The screen lets go of its recordsets before their files are recreated.
    if (view)
        SendMessage(view, WM_MMI_RELEASE_DATABASES, 0, 0);
    for (int storage : {2, 1, 3}) {
        if (!CreatePBMirrorDatabase(storage)) {
            WriteDebugInt("CZorqMMIDoc::mmi_NewMobileDetect -> the phonebook mirror could not be created: ", storage);
            return false;
        }
    }
    if (!PrepareSIMSMSDatabase()) {
        WriteDebug("CZorqMMIDoc::mmi_NewMobileDetect -> the SIM message mirror could not be created");
        return false;
    }
    if (m_bFirstDetect) {
        WriteDebug("CZorqMMIDoc::mmi_NewMobileDetect -> first detection");
        m_bFirstDetect = false;
    } else {
        PurgeSIMConcatList();
    }
    m_pWindows->SetProgressPos(4);
    UpdateMSParamInView(gv_SPIO_com_status == SPIO_com_available);
    ResetPBUpload();
    WriteDebug("CZorqMMIDoc::mmi_NewMobileDetect -> END");
    return true;
}

void CZorqMMIDoc::UpdateMSParamInDocument(bool phoneFound)
{
    m_MSParam = MS_PARAM{};
    if (!phoneFound)
        return;
    WriteDebug("CZorqMMIDoc::UpdateMSParamInDocument -> engine set-up");
    const int r = mtr_setup(&m_MSParam);
    WriteDebugInt("CZorqMMIDoc::UpdateMSParamInDocument -> The setup of the motor returned = ", r);
    if (GetSMSParamState())
        SaveSMSparamConfig();
}

void CZorqMMIDoc::UpdateMSParamInView(bool available)
{
    QObject* view = GetActiveView();
    if (!view)
        return;
    WriteDebugInt("CZorqMMIDoc::UpdateMSParamInView -> ", available ? 1 : 0);
    if (auto* w = qobject_cast<QWidget*>(view))
        w->update();
    SendMessage(view, WM_MMI_MS_PARAM_CHANGED, available ? 1 : 0, 0);
}

bool CZorqMMIDoc::TakeLinkChange()
{
    bool changed = m_bLinkChanged;
    m_bLinkChanged = false;
    return changed;
}

bool CZorqMMIDoc::IdleWorkPending() const
{
    return m_bLinkChanged ||
           (m_nPBUploadState == 1 && m_nPBUploadIndex >= 1 && m_nPBUploadHolds == 0 &&
            gv_SPIO_com_status == SPIO_com_available);
}

std::string CZorqMMIDoc::GetVxdFileName()
{
    const std::string folder = Folder(&CZorqMMIApp::GetAppDir);
    if (folder.empty())
        return std::string();
    std::string found;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".VXD") == 0) {
                found = name;
                break;
            }
        }
        closedir(d);
    }
    return found;
}

// ---- Indicators and call status -------------------------------------------------------------------------

void CZorqMMIDoc::mmi_MNGT_registration_ind(int state)
{
    // A phone that reports no roaming indicator (or is only polled) tells
    // roaming through its registration alone: registered abroad (5) or at
    // home (1) sets the roaming display; the other states say nothing about it.
    if (state == 5 || state == 1)
        PostToMainWindow(WM_MMI_ROAMING_ICON, state == 5 ? 1u : 0u);
}

void CZorqMMIDoc::mmi_MNGT_operator_name_ind(const std::string& name)
{
    // The engine's text is gone once this returns; the screen receives a
    // copy that lives until well after it has been taken.
    m_operatorNames.push_back(std::make_unique<std::string>(name));
    if (m_operatorNames.size() > 8)
        m_operatorNames.erase(m_operatorNames.begin());
    PostToMainWindow(WM_MMI_OPERATOR_NAME, reinterpret_cast<uintptr_t>(m_operatorNames.back()->c_str()));
}

void CZorqMMIDoc::mmi_MNGT_battery_charge_ind(int v) { PostToMainWindow(WM_MMI_BATTERY_CHARGE, static_cast<uintptr_t>(v)); }
void CZorqMMIDoc::mmi_MNGT_signal_quality_ind(int v) { PostToMainWindow(WM_MMI_SIGNAL_QUALITY, static_cast<uintptr_t>(v)); }
void CZorqMMIDoc::mmi_MNGT_message_icon_ind(int v) { PostToMainWindow(WM_MMI_MESSAGE_ICON, static_cast<uintptr_t>(v)); }
void CZorqMMIDoc::mmi_MNGT_unread_msg_ind(int v) { PostToMainWindow(WM_MMI_UNREAD_MSG, static_cast<uintptr_t>(v)); }
void CZorqMMIDoc::mmi_MNGT_call_icon_ind(int v) { PostToMainWindow(WM_MMI_CALL_ICON, static_cast<uintptr_t>(v)); }
void CZorqMMIDoc::mmi_MNGT_voice_mail_icon_ind(int v) { PostToMainWindow(WM_MMI_VOICE_MAIL_ICON, static_cast<uintptr_t>(v)); }
void CZorqMMIDoc::mmi_MNGT_sim_storage_ind(int v) { PostToMainWindow(WM_MMI_SIM_STORAGE_ICON, static_cast<uintptr_t>(v)); }
void CZorqMMIDoc::mmi_MNGT_me_storage_ind(int v) { PostToMainWindow(WM_MMI_ME_STORAGE_ICON, static_cast<uintptr_t>(v)); }
void CZorqMMIDoc::mmi_MNGT_edit_mode_ind(int v) { PostToMainWindow(WM_MMI_EDIT_MODE_ICON, static_cast<uintptr_t>(v)); }
void CZorqMMIDoc::mmi_MNGT_roaming_ind(int v) { PostToMainWindow(WM_MMI_ROAMING_ICON, static_cast<uintptr_t>(v)); }

void CZorqMMIDoc::mmi_MNGT_sms_full_ind(int v)
{
    PostToMainWindow(WM_MMI_SMS_FULL, static_cast<uintptr_t>(v));
    m_bSIMFull = v == 1;
    if (v == 1)
        OfferEmptySIMConcatList();
}

void CZorqMMIDoc::OpenStatusDlg(const std::string& name)
{
    if (m_bStatusDlg)
        m_pWindows->CloseStatusDlg();
    m_pWindows->OpenStatusDlg(name);
    m_bStatusDlg = true;
}

void CZorqMMIDoc::UpdateStatusDlg(int step)
{
    if (!m_bStatusDlg || step < 0 || step >= 4)
        return;
    switch (step) {
    case 0: m_pWindows->ShowStatusDlg(m_bSMS3b ? 1 : 2); break;
    case 1: m_pWindows->ShowStatusDlg(3); break;
    case 2:
        m_pWindows->ShowStatusDlg(4);
        // The ended call stays readable for a second; the windows keep
        // repainting meanwhile, user input waits.
        PumpMessagesFor(1000, false);
        m_pWindows->CloseStatusDlg();
        m_bStatusDlg = false;
        break;
    case 3: m_pWindows->ShowStatusDlg(5); break;
    }
}

void CZorqMMIDoc::mmi_TestComWithMobile()
{
    // Detection runs from the message loop, never inside the request whose
    // poll noticed the change.
    m_bLinkChanged = true;
    m_pWindows->RefreshActiveView();
}

void CZorqMMIDoc::mmi_ALA_get_alarm_cnf(uint8_t kind, uint16_t state, const MTR_DATETIME& time)
{
    CDiaryCard* card = kind == ORG_TYPE_ALARM        ? &m_AlarmCard
                       : kind == ORG_TYPE_SWITCH_OFF ? &m_SwitchOffCard
                       : kind == ORG_TYPE_SWITCH_ON  ? &m_SwitchOnCard
                                                     : nullptr;
    if (!card)
        return;
    card->SetOrganiserType(static_cast<int16_t>(kind));
    card->SetDate(ToDays(time));
    card->SetDateValid(true);
    card->SetAlarmState(static_cast<int16_t>(state));
}

void CZorqMMIDoc::mmi_CLK_read_date_time_cnf(const MTR_DATETIME& when)
{
    // The active screen takes the phone's date-time (the set-up screen).
    if (QObject* view = GetActiveView()) {
        double days = ToDays(when);
        SendMessage(view, WM_MMI_PHONE_DATE_TIME, 0, reinterpret_cast<intptr_t>(&days));
    }
}

void CZorqMMIDoc::mmi_ORG_read_diary_cnf(uint8_t, const MTR_DATETIME&, const char*, uint8_t, uint8_t, uint8_t) {}

// ---- Databases by role (phonebook and messages alike) --------------------------------------

int CZorqMMIDoc::OpenRoleDatabase(CJetDatabase* db, const std::string& name, bool (*check)(const std::string&),
                                  const char* where)
{
    if (db->IsOpen() && db->GetName() == name)
        return 0;
    try {
        if (db->IsOpen())
            db->Close();
        if (!check(name))
            return -1;
        db->Open(name, false, false, "");
        return 0;
    } catch (const CDaoException& e) {
        WriteDebug(std::string(where) + " -> ", e.what());
        return -1;
    }
}

void CZorqMMIDoc::CloseRoleDatabases(CJetDatabase& src, CJetDatabase& dst, int which)
{
    if (which != 1 && src.IsOpen())
        src.Close();
    if (which != 0 && dst.IsOpen())
        dst.Close();
}

int32_t CZorqMMIDoc::FirstFreeLocation(CJetDatabase* db, const char* table, long max, const char* where)
{
    try {
        CDaoRecordset rs(db);
        rs.Open(dbOpenDynaset, std::string("SELECT * FROM ") + table + " ORDER BY Location");
        int32_t candidate = 1;
        bool gap = false;
        while (!rs.IsEOF()) {
            const int64_t loc = rs.GetFieldValue("Location").AsInt();
            if (loc == candidate) {
                ++candidate;
            } else if (loc > candidate) {
                gap = true;
                break;
            }
            rs.MoveNext();
        }
        rs.Close();
        if (max >= 0 && !gap && candidate > max)
            return kNoLocation;
        return candidate;
    } catch (const CDaoException& e) {
        WriteDebug(std::string(where) + " -> ", e.what());
        return kNoLocation;
    }
}
