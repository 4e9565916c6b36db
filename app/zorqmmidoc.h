// The program's one document: what the phone can do (its capability record
// and the feature flags of its version answer), the phonebook mirrors and
// their background reading, the message databases and the concatenation
// lists of multi-part messages, the phone's three clock settings, and the
// path from an engine callback to a window message for the screens.
//
// It builds and runs without a window: window messages go to the
// application's main window and are dropped while there is none, and the
// dialogs other parts of the program own are reached through CDocWindows.
#pragma once

#include "diarycard.h"
#include "jetdatabase.h"
#include "message.h"
#include "mmi_doc.h"
#include "mtr_setup.h"
#include "servicecenter.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

class QObject;
class CEntryPhoneRecordset;

// Sent to the active screen before a detection recreates the mirror
// databases: the screen closes the recordsets it holds on the document's
// databases (it reopens them on WM_MMI_MS_PARAM_CHANGED).
constexpr unsigned WM_MMI_RELEASE_DATABASES = 0x7F3;
// Sent to the active screen when the phone reports its date and time;
// lParam points at the day count (double), valid during the call.
constexpr unsigned WM_MMI_PHONE_DATE_TIME = 0x7F1;

// What the document needs of the windows that other parts of the program
// own. The application installs its implementation; every operation has a
// harmless default so that the document runs headless.
class CDocWindows {
public:
    virtual ~CDocWindows() = default;

    // The main window's active screen, or null.
    virtual QObject* GetActiveView() { return nullptr; }
    // Runs the active screen's refresh (a new detection with the quick link
    // test); false when there is no screen to do it.
    virtual bool RefreshActiveView() { return false; }

    // The connection-status dialog of a dialled call: created (replacing an
    // open one), shown at a step 1-5, closed.
    virtual void OpenStatusDlg(const std::string& name) { (void)name; }
    virtual void ShowStatusDlg(int step) { (void)step; }
    virtual void CloseStatusDlg() {}

    // The progress dialog of a foreground phonebook reading (title string,
    // range, screen position); a position; the end.
    virtual void StartProgress(int titleId, int range, int x, int y) { (void)titleId, (void)range, (void)x, (void)y; }
    virtual void SetProgressPos(int pos) { (void)pos; }
    virtual void EndProgress(bool success) { (void)success; }

    // True while a screen shows a progress dialog: message boxes are put off
    // (the pending flags below) so that they do not stop the operation.
    virtual bool IsProgressRunning() { return false; }
    // True while a notice box must wait: a progress dialog stands, or a
    // screen still has an arrival to read, whose reading shows one. The
    // arrivals already posted to the screens are handed to them first.
    virtual bool NoticesWait() { return IsProgressRunning(); }
    // A notice box (new message, status report) comes up or goes: while it
    // stands, a progress dialog that an arrival's reading starts under it
    // waits hidden (`stringId` tells which notice).
    virtual void NoticeBoxShown(int stringId, bool shown) { (void)stringId, (void)shown; }
    // Brings the main window to the front.
    virtual void ActivateMainWindow() {}
    // Switches the main window to the message screen on the received folder.
    virtual void ShowSMSMT() {}
};

class CZorqMMIDoc : public MmiDoc {
public:
    CZorqMMIDoc();
    ~CZorqMMIDoc() override;
    CZorqMMIDoc(const CZorqMMIDoc&) = delete;
    CZorqMMIDoc& operator=(const CZorqMMIDoc&) = delete;

    // The document, or null (the same object as gv_pDoc).
    static CZorqMMIDoc* Instance();

    // The windows' side; null restores the headless defaults.
    void SetWindows(CDocWindows* windows);
    CDocWindows* Windows() { return m_pWindows; }

    // Saves the concatenation lists and removes the rebuilt rows of
    // concatenated messages from the PC database (only after a successful
    // save). True when the lists were saved.
    bool OnCloseDocument();

    // ---- Phone detection (run from the message loop, never inside a request) ----
    // Finds the phone, sets the link state and the capabilities, recreates
    // the mirrors. False only when a mirror could not be created.
    bool mmi_NewMobileDetect(bool fullTest);
    void UpdateMSParamInDocument(bool phoneFound);
    void UpdateMSParamInView(bool available);
    // True once, after the engine reported a change of the link.
    bool TakeLinkChange();
    // A link change noted by polling whose detection has not run yet.
    bool LinkChangePending() const { return m_bLinkChanged; }
    // The next idle call has work: a link change to act on, or the
    // background phonebook reading under way.
    bool IdleWorkPending() const;

    // ---- Capabilities --------------------------------------------------------------------
    MS_PARAM& GetMSParam() { return m_MSParam; }
    const MS_PARAM& GetMSParam() const { return m_MSParam; }
    int IsPBStorageAvailable(int storage) const;
    int GetPBMaxNumberLength(int storage) const;
    int GetPBMaxTextLength(int storage) const;
    int GetPBMaxLocation(int storage) const;
    bool IsPBStorageRead(int storage) const;
    void SetPBStorageRead(int storage);
    int IsMelodyAvailable() const { return m_MSParam.melody_available; }
    int GetMaxNbOfNotes() const;
    int GetMelodyDurationMax() const;
    int GetMelodyDurationMin() const;
    int GetMelodyTempoMax() const;
    int GetMelodyTempoMin() const;
    int GetMelodyNameMax() const;
    int GetDefaultOctave() const;
    int GetMelodyMax() const;
    int GetMelodyOctaveMax() const;
    int GetMelodyOctaveMin() const;
    char GetMelodyNoteMax() const;
    char GetMelodyNoteMin() const;
    int GetSetUpFlagA() const { return m_MSParam.clock_available; }
    int GetSetUpFlagB() const { return m_MSParam.alarm_available; }
    int GetClockFormat1() const { return m_MSParam.date_format; }
    int GetClockFormat2() const { return m_MSParam.time_format; }
    bool IsDataAppRunning() const { return m_bDataAppRunning; }
    void SetDataAppRunning(bool running) { m_bDataAppRunning = running; }
    QObject* GetActiveView();
    // Switches the main window to the message screen on the received folder.
    void ShowSMSMT() { m_pWindows->ShowSMSMT(); }

    // ---- Feature flags (the phone's version answer) ---------------------------------------
    void CheckMobileVersion() override;
    void ParseMobileVersion(const std::string& phoneText);
    // The version of `key` ("SMS=") in the text; -1 when absent, 0 when not a number.
    static double GetFeatureVersion(const std::string& text, const std::string& key);
    void ApplyFeatureFlags(MS_PARAM& param) const;
    bool IsFeaturePB() const { return m_bPB; }
    bool IsFeatureCB() const { return m_bCB; }
    bool IsFeatureORG() const { return m_bORG; }
    bool IsFeatureCLK() const { return m_bCLK; }
    bool IsFeatureALA() const { return m_bALA; }
    bool IsFeatureMDY() const { return m_bMDY; }
    bool IsSMSAvailable() const override { return m_bSMS; }
    bool IsST1Available() const override { return m_bST1; }
    bool PhonebookFeature() override { return m_bPB; }
    // The phone's message functions of version 2.0 (status reports, the
    // extended new-message indication) and 3.0 (messages of several blocks).
    bool IsSMSExtendedAvailable() const override { return m_bSMS2; }
    bool IsMultiBlockSMSAvailable() const { return m_bSMS3; }
    bool IsStatusReportAvailable() const { return m_bSMS2; }
    // Security codes may be typed in the program (ST1 2.0).
    bool IsSecurityAvailable() const { return m_bST1_2; }
    bool IsCodeEntrySupported() const { return m_bST1_2; }
    // Message feature below version 3.0.
    bool GetSCProfileMode() const { return m_bSMS1Mode; }
    // Asks the user for PIN2 once per connection and checks it with the
    // phone (defined with the security-code prompt); true when accepted.
    bool VerifyPin2Code();
    bool IsPin2Verified() const { return m_bPin2Verified; }
    void SetPin2Verified() { m_bPin2Verified = true; }
    void ClearPin2Verified() { m_bPin2Verified = false; }
    bool GetVerifyVersion() const { return m_bVerifyVersion; }

    // ---- Phonebook mirrors and reading ------------------------------------------------------
    void BackGroundUpLoadPB();
    // Reads a whole storage into its mirror, under a progress window when
    // `parent` is given. A failure is told, a phone that does not answer in
    // the words for a missing phone unless `tellSilence` is off (an owner
    // that waits for the phone says it itself); LastPBUpload gives the
    // phone's result.
    bool UpLoadPB(int storage, QObject* parent, int x, int y, bool tellSilence = true);
    MTR_RESULT LastPBUpload() const { return m_lastPBUpload; }
    void mmi_PB_read_entry_cnf(uint8_t place, const std::string& number, const std::string& name,
                               uint8_t type) override;
    void mmi_PB_read_range_end_cnf() override {}
    void ResetPBUpload();
    void StopPBUpload() { m_nPBUploadState = 0; }
    void SetPBUploadStarted() { m_nPBUploadState = 1; }
    // Suspends the background reading; a later foreground reading resumes it.
    void SetPBUploadDone() { m_nPBUploadState = 2; }
    // Holds the background reading for an operation whose requests must
    // follow one another on one storage (a storage selected, then entries
    // erased or written); it goes on where it stopped once every hold is
    // let go (`PBUploadPause` does both for a scope).
    void HoldPBUpload() { ++m_nPBUploadHolds; }
    void ReleasePBUpload();
    bool IsPBUploadHeld() const { return m_nPBUploadHolds > 0; }
    int GetPBUploadState() const { return m_nPBUploadState; }
    int GetPBUploadStorage() const { return m_nPBUploadStorage; }
    int GetPBUploadIndex() const { return m_nPBUploadIndex; }
    void CloseUploadDatabase();
    bool CreatePBMirrorDatabase(int storage);
    int OpenPBDatabase(CJetDatabase** db, int role, const std::string& name);
    int OpenPBDatabaseByName(int role, const std::string& name) { return OpenPBDatabase(nullptr, role, name); }
    // 0 the source, 1 the destination, any other value both.
    void ClosePBDatabases(int which);
    // Whether `count` more entries fit; `room` gets the places left when not.
    // With `replace` the destination is emptied first (its rows do not count).
    bool CheckPBRoom(int role, int count, int* room, bool replace);
    // First free place of the role's database; -1 when none is free or the
    // database is not open.
    int32_t GetFreePBLocation(int role);

    // ---- Service-centre profiles (zorqmmidoc_sc.cpp) ---------------------------------------
    // The profiles of the phone and of the Files folder (".SRV" files).
    CServiceCenterList& GetServiceCenterList() { return m_ServiceCenterList; }
    // Reads the phone's profiles into the list (after the engine set-up).
    void SaveSMSparamConfig();
    // The first phone profile with a service centre; -1 when none.
    int GetCurrentProfile() const { return m_nCurrentProfile; }

    // ---- Message storages and databases ------------------------------------------------------
    int IsSMSStorageAvailable(int storage) const;
    int IsSMSDestAvailable(int storage) const;
    int GetSMSMaxLocation(int storage) const;
    bool IsSIMSMSRead(int storage) const;
    void SetSIMSMSRead(int storage);
    // 1 when the phone's messages are fetched as status lists (+CMGL), 0
    // when every location is read in turn (+CMGR).
    int GetSMSListMode() const { return m_nSMSListMode; }
    void SetSMSListMode(int mode) { m_nSMSListMode = mode == 0 ? 0 : 1; }
    // Non-zero when the phone reported message profiles.
    int GetSMSParamState() const;
    int GetNewMsgCount() const { return m_nNewMsgCount; }
    // The new-message box is on screen.
    bool IsNewMsgBoxShown() const { return m_bNewMsgBoxShown; }
    void ResetNewMsgCount() { m_nNewMsgCount = 0; }
    void DecNewMsgCount(int count);
    // A busy SIM is told to the user unless `tellSimBusy` is false (a caller
    // that waits for the SIM by itself).
    MTR_RESULT SetupPB(bool tellSimBusy = true);
    MTR_RESULT SetupSMS();
    int OpenSMSDatabase(CJetDatabase** db, int role, const std::string& name);
    int OpenSMSDatabaseByName(const std::string& name, int role) { return OpenSMSDatabase(nullptr, role, name); }
    // 0 the source, 1 the destination, any other value both.
    void CloseSMSDatabases(int which);
    // First free place of the storage's database; -1 when none.
    int32_t GetFreeSMSLocation(int storage);
    // Whether `count` more messages fit; `free` gets the places free. With
    // `replace` the destination is emptied first (its rows do not count).
    bool CheckSMSRoom(int storage, int count, int* free = nullptr, bool replace = false);
    // The SIM reported its message memory full (or no longer full).
    void SetSIMFull(bool full) { m_bSIMFull = full; }
    bool PrepareSIMSMSDatabase();
    // The PC message database file (profile Databases/SMS, relative names
    // in the Database folder).
    std::string GetPCSMSDatabasePath() const;

    // ---- Messages and concatenation -----------------------------------------------------------
    void mmi_MNGT_sms_received(int storage, int index) override;
    void mmi_MNGT_report_received(int reference, const std::string& number, const MTR_DATETIME& stamp,
                                  const MTR_DATETIME& discharge, int status) override;
    // Stores a message as a row of the storage's database (3 PC, 4 SIM
    // mirror); true when written.
    bool SaveMsgInDB(CMessage* msg, int storage);
    // One part of a concatenated message, read or listed from the phone,
    // joins the selected list.
    void MakeMessageFromRecord(int32_t location, const SMS_PARAMETERS* params, const std::string& text,
                               const std::string& number, const MTR_DATETIME& stamp, const std::string& sca);
    void SelectConcatList(int storage);
    void ClearConcatListSelection() { m_pCurrentList = nullptr; }
    CMessageList* GetCurrentConcatList() { return m_pCurrentList; }
    CMessageList& GetPCConcatList() { return m_PCConcatList; }
    CMessageList& GetSIMConcatList() { return m_SIMConcatList; }
    // Deletes the phone's parts of the long message of `record`; the message
    // leaves the list once the phone holds none of them.
    PhoneChangeResult DeleteConcatMessage(const CEntrySMSRecordset* record, int storage);
    // Asks, after a silence, whether the phone still holds a part.
    DeletedIndexReadBack ConcatPartReadBack();
    bool MarkConcatMessageRead(const CEntrySMSRecordset* record, int storage);
    void SaveConcatListInDB(int storage);
    // Writes both lists; false when a file could not be written.
    bool SaveConcatLists();
    // Loads both lists (after the first detection) and stores the PC list's
    // messages in the PC database.
    void LoadConcatLists();
    void PurgeSIMConcatList() { m_SIMConcatList.PurgeStoredParts(); }
    void OfferEmptySIMConcatList();
    std::string GetPCConcatListPath() const;
    std::string GetSIMConcatListPath() const;

    // ---- Indicators, call status, link, clock ---------------------------------------------------
    void UpdateStatusDlg(int step) override;
    void OpenStatusDlg(const std::string& name);
    bool HasStatusDlg() const { return m_bStatusDlg; }
    void mmi_MNGT_registration_ind(int value) override;
    void mmi_MNGT_operator_name_ind(const std::string& name) override;
    void mmi_MNGT_battery_charge_ind(int value) override;
    void mmi_MNGT_signal_quality_ind(int value) override;
    void mmi_MNGT_message_icon_ind(int value) override;
    void mmi_MNGT_edit_mode_ind(int value) override;
    void mmi_MNGT_me_storage_ind(int value) override;
    void mmi_MNGT_unread_msg_ind(int value) override;
    void mmi_MNGT_call_icon_ind(int value) override;
    void mmi_MNGT_roaming_ind(int value) override;
    void mmi_MNGT_sim_storage_ind(int value) override;
    void mmi_MNGT_sms_full_ind(int value) override;
    void mmi_MNGT_voice_mail_icon_ind(int value) override;
    void mmi_TestComWithMobile() override;
    void mmi_CLK_read_date_time_cnf(const MTR_DATETIME& when) override;
    void mmi_GEN_void_cnf(int index) override { (void)index; }
    void mmi_ORG_read_diary_cnf(uint8_t index, const MTR_DATETIME& when, const char* text, uint8_t a, uint8_t b,
                                uint8_t c) override;
    void mmi_ALA_get_alarm_cnf(uint8_t kind, uint16_t state, const MTR_DATETIME& time) override;
    std::string GetVxdFileName() override;

    // The copy of the operator name that WM_MMI_OPERATOR_NAME carries in
    // wParam (a const char*): valid until the next operator name arrives.
    const std::string& GetOperatorName() const { return *m_operatorNames.back(); }
    // A private folder of this run for temporary vCard files; the document
    // removes it, and only it, when it goes.
    std::string GetTempVCardFolder();

    CDiaryCard& GetAlarmCard() { return m_AlarmCard; }
    CDiaryCard& GetSwitchOnCard() { return m_SwitchOnCard; }
    CDiaryCard& GetSwitchOffCard() { return m_SwitchOffCard; }

    // Pending notices put off while a progress dialog ran.
    bool m_bNewMsgPending = false;
    bool m_bReportPending = false;

    // The database objects, by role (screens open them through the Open...
    // operations above).
    CJetDatabase m_dbPBSrc, m_dbPBDst;
    CJetDatabase m_dbSMSSrc, m_dbSMSDst;

private:
    void PostToMainWindow(unsigned message, uintptr_t wParam, intptr_t lParam = 0);
    // The record of a phonebook storage code, or null.
    const MTR_PB_STORAGE* PBRecord(int storage) const;
    int PBReadIndex(int storage) const;
    bool IsFDNNext() const;
    void AdvancePBUploadStorage();
    bool OpenUploadDatabase(int storage);
    void ClearFeatureFlags();
    void StoreStatusReport(int reference, const std::string& number, const std::string& text);
    // Shows message `stringId` from the loop (not from inside the engine);
    // `shown` is cleared when it has been answered, `pending` is set while a
    // progress window holds it back.
    void NoticeFromLoop(int stringId, bool* shown, bool* pending, int delayMs = 0);
    int32_t FindFreeSMSLocation(CJetDatabase* db, int storage, bool capacityTest);
    // What the phonebook and message databases share. A role's database on
    // file `name`, opened once `check` accepts the file (0, else -1); the
    // source (`which` 0), destination (1) or both closed; the lowest location
    // of `table` no row holds, kNoLocation past `max` (none when negative) or
    // on a read fault. `where` names the operation in the trace.
    static int OpenRoleDatabase(CJetDatabase* db, const std::string& name, bool (*check)(const std::string&),
                                const char* where);
    static void CloseRoleDatabases(CJetDatabase& src, CJetDatabase& dst, int which);
    static int32_t FirstFreeLocation(CJetDatabase* db, const char* table, long max, const char* where);
    bool DeleteConcatRows(CJetDatabase* db);
    void LoadListFile(CMessageList& list, const std::string& path);

    CDocWindows m_defaultWindows;
    CDocWindows* m_pWindows = &m_defaultWindows;

    // Feature flags.
    bool m_bPB = true, m_bSMS = true, m_bCB = true, m_bST1 = true;
    bool m_bORG = false, m_bCLK = false, m_bALA = false, m_bMDY = false;
    bool m_bSMS2 = false, m_bSMS3 = false, m_bSMS3b = false;
    bool m_bST1_2 = false, m_bST1_2b = false;
    bool m_bPin2Verified = false;
    bool m_bSMS1Mode = false;

    MS_PARAM m_MSParam;
    CMessageList m_PCConcatList, m_SIMConcatList;
    // List files that are there but could not be read: never overwritten.
    std::set<std::string> m_unreadableLists;
    CServiceCenterList m_ServiceCenterList;
    int m_nCurrentProfile = -1;
    CMessageList* m_pCurrentList = nullptr;
    bool m_bStatusDlg = false;

    std::unique_ptr<CJetDatabase> m_pUploadDb;
    std::unique_ptr<CEntryPhoneRecordset> m_pUploadSet;
    bool m_bFirstDetect = true;
    bool m_abPBStorageRead[MTR_PB_RECORDS] = {};
    bool m_bSIMSMSRead = false;
    bool m_bSIMFull = false;
    bool m_bReadingPB = false;
    bool m_bUploadProgress = false;
    MTR_RESULT m_lastPBUpload = MTR_DONE;
    bool m_bLinkChanged = false;
    bool m_bVerifyVersion = true;
    bool m_bNewMsgBoxShown = false;
    bool m_bReportBoxShown = false;
    // The context of notices waiting for the loop: they go with the document.
    std::unique_ptr<QObject> m_pNoticeContext;
    // Arrivals announced since the storage's rows were last counted.
    int m_nNewMsgCount = 0;
    int m_nSMSListMode = 1;
    int m_nPBUploadState = 1, m_nPBUploadIndex = 1, m_nPBUploadLast = 0, m_nPBUploadStorage = 1;
    int m_nPBUploadHolds = 0;
    // The background reading's entries of one location failed: retried.
    bool m_bUploadReadFailed = false;
    // A storage had a location that could not be read in this pass.
    bool m_bUploadStorageIncomplete = false;
    int m_nSimBusyCountdown = 0;
    bool m_bDataAppRunning = false;
    std::string m_strTempFolder;
    // Messages announced by the phone since their storage was last read:
    // (storage, index).
    std::vector<std::pair<int, int>> m_arrivals;
    int m_nUploadRetries = 0;

    CDiaryCard m_AlarmCard, m_SwitchOnCard, m_SwitchOffCard;

    // Operator names posted so far (the last two kept: a screen may not have
    // taken the previous one yet).
    std::vector<std::unique_ptr<std::string>> m_operatorNames;
};

// Holds the document's background phonebook reading for a scope.
class PBUploadPause {
public:
    explicit PBUploadPause(CZorqMMIDoc* doc) : m_pDoc(doc)
    {
        if (m_pDoc)
            m_pDoc->HoldPBUpload();
    }
    ~PBUploadPause()
    {
        if (m_pDoc)
            m_pDoc->ReleasePBUpload();
    }
    PBUploadPause(const PBUploadPause&) = delete;
    PBUploadPause& operator=(const PBUploadPause&) = delete;

private:
    CZorqMMIDoc* m_pDoc;
};
