// The short-message screen: one folder (received or sent) of one store (the
// PC message database or the SIM through its mirror) in a list, the selected
// message in a pane beside it, and the commands to compose, open, reply,
// copy, delete, print and find. It is also the engine's receiver of messages
// read or listed from the phone (gv_pShortMsg), and reads a newly announced
// message while its received folder shows the store that holds it.
//
// Member definitions are spread over several files by subject:
//   shortmsg.cpp            construction, window messages, receive path
//   shortmsg_list.cpp       folders, list, message pane, buttons
//   shortmsg_find.cpp       printing and find
//   shortmsg_sources.cpp    sources, reading a store, unread states
//   shortmsg_transfer.cpp   copies between stores and deletion
#pragma once

#include "dstchoice.h"
#include "finddlg.h"
#include "mainview.h"
#include "mmi_sms.h"
#include "phonechange.h"
#include "sms_types.h"

#include <QFont>
#include <QIcon>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class CAddressList;
enum class DeleteOutcome;
class CMessage;
struct SMS_SEND_OPTIONS;
class CDaoDatabase;
class CEntryListCtrl;
class CEntrySMSRecordset;
class CJetDatabase;
class CSrcButton;
class CReadOnlyDatabase;
class CSMSFileQuery;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPrinter;
class QPushButton;

// What the selected rows allow (see CShortMsg::GetSelectionCaps).
struct SelectionCaps {
    int32_t copyPC = 0;
    int32_t copySIM = 0;
    int32_t erase = 0;
    int32_t reply = 0;
    int32_t open = 0;
};

// Row image and row parameter of a list row for a msgType value.
struct SMSRowLook {
    int image = 0;  // 0 unread, 1 read, 2 unsent, 3 sent
    int param = 0;  // 0 plain, 1 unread, 2 incomplete concatenated message
};
SMSRowLook SMSRowLookOf(int msgType);

// The list column text of an address list: names (numbers where a name is
// empty) joined by "; ".
std::string FormatAddressColumn(const CAddressList& list);
// The pane text: the number alone when the name is empty or equals it,
// otherwise name " (" number ")"; joined by "; ".
std::string FormatAddressDetails(const CAddressList& list);

// A message named in a box: its first ten characters and "...".
QString MessageExcerpt(const std::string& text);

class CShortMsg : public CMainView, public MmiShortMsg, public CFindSMSOwner, public CDstSelectedOwner {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 190;

    // Control ids of the form.
    enum {
        IDC_SRC_PC = 1001, IDC_SRC_SIM = 1003, IDC_RECV = 1004, IDC_SENT = 1007, IDC_PRINT = 1024,
        IDC_DELETE = 1027, IDC_READNEW = 1028, IDC_HELP = 1029, IDC_SORT = 1030, IDC_FIND = 1032,
        IDC_OPEN = 1033, IDC_COUNT = 1061, IDC_DATE = 1063, IDC_TEXT = 1065, IDC_TITLE = 1067,
        IDC_LIST = 1069, IDC_COMPOSE = 1087, IDC_REPLYPATH_LABEL = 1096, IDC_CHECK_SENT = 1097,
        IDC_REPORT_LABEL = 1098, IDC_CHECK_RECV = 1099, IDC_ADDRESSES = 1102, IDC_ADDR_LABEL = 1127,
        IDC_DATE_LABEL = 1128, IDC_ADDRS_LABEL = 1129, IDC_DST = 1131, IDC_NUMBER = 1140, IDC_NAME = 1141,
    };
    // Context-menu commands.
    enum {
        ID_NEW_PC_DB = 32771, ID_OTHER_PC_DB = 32772, ID_PRINT = 32776, ID_DELETE = 32777,
        ID_OPEN = 32778, ID_COMPOSE = 32780, ID_OPEN2 = 32781, ID_COPY_PC = 32802, ID_COPY_SIM = 32803,
        ID_COPY_NEW_PC = 32806, ID_COPY_OTHER_PC = 32807,
    };
    // Window messages of the screen's own.
    enum : unsigned {
        WM_LIST_FOCUS_SELECTION = 0x7F4, WM_LIST_DELETE_KEY = 0x7F5, WM_REFRESH_FOLDER = 0x7F6,
        WM_SRC_CONTEXT = 0x7FC, WM_SRC_MENU_CLOSED = 0x7FD,
    };

    explicit CShortMsg(QWidget* parent = nullptr);
    ~CShortMsg() override;

    // ---- Life and window messages (shortmsg.cpp) --------------------------------------
    void SetSource(int folder) { m_nFolder = folder; }
    void SetDstSelected() override { m_bDstChosen = 1; }
    void OnInitialUpdate() override;
    std::intptr_t DefWindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void OnCommand(int id) override;
    void OnDestroy() override;
    void OnUpdateMSParam(int flag) override;
    void OnFrameMove() override;
    void OnDeferredInit();
    void OpenFolder(int folder);
    void ShowSourceButtons(int storage);
    void ChangeSource(int storage);
    void SaveListSettings();
    void UpdateSortComboState(CDaoDatabase* db);
    void RefreshFolderList(int folder, int storage);
    // The icon context menu of the selected rows (the list's right click).
    void ShowContextMenu();

    // ---- Drag of list rows onto the command buttons (shortmsg.cpp) ----------------------
    void OnListBeginDrag();
    Qt::DropAction CanDropData(QWidget* target, const QMimeData* data) override;
    bool OnDropData(QWidget* target, const QMimeData* data) override;
    static constexpr const char* kRowsMimeType = "application/x-zorq-sms-rows";

    // ---- Receive path (shortmsg.cpp) ----------------------------------------------------
    void OnNewMsgReceived(int storage, uint8_t index) override;
    bool ArrivalsWaiting() const override { return !m_deferred.empty(); }
    void OnStatusReportReceived() override;
    void mmi_SM_read_cnf(uint8_t index, const SMS_SETTINGS* settings, const char* text, size_t text_len,
                         const char* number, const MTR_DATETIME& stamp, const char* sca) override;
    void mmi_SM_list_cnf(uint8_t index, const SMS_SETTINGS* settings, const char* text, size_t text_len,
                         const char* number, const MTR_DATETIME& stamp, const char* sca) override;
    void SaveShortMsgInDatabase(int32_t index, const SMS_PARAMETERS* params, const std::string& text,
                                const std::string& number, const MTR_DATETIME& stamp, const std::string& sca);
    bool OpenReadRecordset(int storage);
    void CloseReadRecordset();

    // A long operation (a store read, a copy, a deletion, a new-message read):
    // polling is held off for its whole length and restored as it was, and
    // new-message notices and parameter changes that arrive meanwhile wait
    // until the outermost operation has ended.
    class BusyScope {
    public:
        explicit BusyScope(CShortMsg* view);
        ~BusyScope();
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        CShortMsg* m_pView;
        int m_nPollState;
    };
    // True while an operation of this screen or an engine request runs.
    bool IsBusy() const;
    int DeferredCount() const { return static_cast<int>(m_deferred.size()); }
    // The pause (in 10 ms steps) before a finished operation's progress
    // window closes, so that its last position can be seen; the time the
    // window already stood counts towards it.
    static inline int kClosePause = 50;

    // ---- Folders, list and message pane (shortmsg_list.cpp) -----------------------------
    void SmsReceivedInit();
    void SmsSentInit();
    void OnBRecv();
    void OnBSent();
    std::string BuildFolderQuery() const;
    void FillList(CDaoDatabase* db, bool reset);
    void InsertListColumns(bool scrollBar);
    // Display-time sender names: the PC phonebook is asked for every number
    // whose name is missing or equals the number; nothing is written.
    void ResolveSenderNames(CAddressList& list);
    bool FindNameInPhonebook(const std::string& number, std::string& name);
    // The read-only phonebook look-up used while rows are shown (names of
    // one fill are remembered per number).
    void OpenPhonebookLookup();
    // Gives the addresses of a forward or a reply the phonebook's names.
    void NameFromPhonebook(CAddressList& list);
    void ClosePhonebookLookup();
    // Positions the list recordset on the row of that location.
    bool SeekListRow(int32_t location);
    void BindFolderQuery(class CSMSQuery& query) const;
    void UpdateCountText(int count);
    void ShowSelectedMessage();
    void ShowMessage(int32_t location);
    void ClearMessagePane();
    void MarkRowRead(int row);
    void SetRowParam(int row, int param);
    void OnSelectionChanged();
    void OnListClick();
    void OnColumnClick();
    void OnSelChangeComboSort();
    void GetSelectionCaps(SelectionCaps* caps);
    void UpdateButtons();
    void DisableButtons();
    void EnsureLastRowVisible();

    // ---- Sources and reading a store (shortmsg_sources.cpp) -----------------------------
    void OnBSrcPC();
    void OnBSrcSIM();
    void ShowPCSource(int ask);
    void OnNewPCSource();
    void OnOtherPCSource();
    int OpenDefaultPCDatabase(int role);
    int OpenOtherPCDatabase(int role);
    int CreatePCDatabase(int role);
    int LoadPCSource();
    int DisplaySrcMirrorDatabase();
    int ClickRbSms(int folder);
    int UpLoad(int storage);
    int UpLoadUnread(int storage);
    void RestoreUnreadStates(int storage);
    // The PC-database menu (new, other) at the screen's corner + offset,
    // its commands then go to the store named (source or destination).
    void TrackPCDatabaseMenu(int storage, const QPoint& offset);

    // Helpers of the source and transfer files.
    void ShowLastRowIfByDate();
    int SelectAndRefreshMirror(const char* who, bool deleteRowsAfterRead, bool fetchUnread);
    void BeginStoreRead(int storage, int range);
    void EndStoreRead(int storage);
    void DeleteReadRowsOfStatus(int status);
    void CopyRows(int destination, CJetDatabase* source, CJetDatabase* target,
                  const std::vector<std::pair<int, int32_t>>& rows, bool phone);

    // ---- Transfers and deletion (shortmsg_transfer.cpp) ---------------------------------
    void OnBDst();
    void OnCopyToPC();
    void CopyToPCDatabase(int mode);
    void OnCopyToSIM();
    void OnCopyToNewPCDatabase();
    void OnCopyToOtherPCDatabase();
    int CopyToPCConfirm(int ask);
    void ClickDstMirrorDatabase(int destination);
    void CopyInDst(int destination);
    int Erase(int destination);
    // After a store the phone did not answer: whether a place the mirror of
    // `destination` counts free now holds a message of `text` (read into
    // the mirror; `place` receives where).
    PhoneHolds FindStoredCopy(int destination, const std::string& text, int32_t* place = nullptr);
    void OnBDelete();
    void DeleteSelected();
    // `change` (when given) receives what the phone's deletion came to.
    DeleteOutcome DeleteOneItem(int row, PhoneChangeResult* change = nullptr);

    // ---- Compose, open and send (the compose sequences) ---------------------------------
    void OnBCompose();
    void OnBOpen();
    void OnBReadNew();
    void OpenMsgSequence(int kind);
    void FillInfoInMessage(CMessage* msg, int kind);
    void InitSendOptions(SMS_SEND_OPTIONS* opt);
    int SendStoreMsgTreatment(CMessage* msg, SMS_SEND_OPTIONS* opt);
    int StoreInPCDatabase(CMessage* msg, SMS_SEND_OPTIONS* opt, int status);
    void MirrorSIMMessage(CMessage* msg, SMS_SEND_OPTIONS* opt, int status);
    // False when the row could not be written. `addrList` receives the
    // recipients the row holds.
    bool WriteMessageRow(CDaoDatabase* db, CMessage* msg, int status, std::string* addrList = nullptr);
    // Whether the message stored at `location` of the source, with these
    // recipients and text, carries the "not confirmed" mark.
    bool StoredSendMark(int32_t location, const std::string& addrList, const std::string& text);
    // Drops the mark of the stored message opened for sending (m_openedMark)
    // once a send of it reached every recipient with the phone's answer.
    void ForgetSendMark();

    // ---- Printing and find (shortmsg_find.cpp) ------------------------------------------
    void OnBPrint();
    QString PrintTitle();
    void PrintMessage(int32_t location);
    int CountPrintLines(int32_t location);
    void OnBFind();
    bool FindMsg(const QString& text, bool exact) override;
    void FindNext() override;
    void ClearFindSelection() override;
    void ShowFindHit();
    // Ends a running find: no hits left, the find button's first icon.
    void EndFind();

    // ---- State for the screen's own checks and tests ------------------------------------
    CEntryListCtrl* List() const { return m_list; }
    CEntryListCtrl* GetListCtrl() const { return m_list; }
    CEntrySMSRecordset* ListRecordset() const { return m_pListRecordset.get(); }
    int Folder() const { return m_nFolder; }
    int SrcStorage() const { return m_nSrcStorage; }
    int DstStorage() const { return m_nDstStorage; }
    bool IsFindActive() const { return m_bFindActive != 0; }
    int FindResult() const { return m_findResult; }
    const QList<int>& FindList() const { return m_findList; }
    bool IsAllSelected() const { return m_bAllSelected != 0; }
    bool IsDstChosen() const { return m_bDstChosen != 0; }
    QString PaneText(int id) const;
    bool IsPaneShown(int id) const;
    QComboBox* SortCombo() const { return m_comboSort; }

protected:
    // The printer for print runs without the print dialog (tests print to PDF).
    virtual QPrinter* PrintTarget() { return nullptr; }
    // The destination-database question: 1 OK, else cancelled.
    virtual int AskMirror();
    // The find dialog; returns its result (1 OK).
    virtual int RunFindDialog();
    // A question before a deletion: 6 yes, 7 no, 1078 yes to all, 2 cancel.
    virtual int AskDelete(const QString& name, bool allowAll);

protected:
    friend class BusyScope;
    void BindControls();
    // The order Tab takes through the screen; the pane's read-only fields
    // take no focus.
    void SetTabOrder();
    void OnMessageIconClick() override;
    void OnMouseMove(const QPoint& point) override;
    // The tips that follow the state: find (running or not), open (folder).
    void UpdateStateTips();
    void EnterBusy();
    void LeaveBusy();
    void ReplayDeferred();
    void HandleReadConfirm(const char* who, uint8_t index, const SMS_SETTINGS* settings, const char* text,
                           size_t text_len, const char* number, const MTR_DATETIME& stamp, const char* sca);
    CJetDatabase* SourceDatabase();
    void LoadIcons();

    // Form controls (bound at construction).
    QLineEdit* m_edit1102 = nullptr;
    QLabel* m_static1129 = nullptr;
    QLabel* m_static1098 = nullptr;
    QLabel* m_static1096 = nullptr;
    QLabel* m_checkRecv = nullptr;
    QLabel* m_checkSent = nullptr;
    QPushButton* m_bSrcSIM = nullptr;
    CSrcButton* m_bSrcPC = nullptr;
    QLabel* m_static1140 = nullptr;
    QLabel* m_static1141 = nullptr;
    QLabel* m_static1127 = nullptr;
    QLabel* m_static1128 = nullptr;
    QLabel* m_static1063 = nullptr;
    QLabel* m_static1061 = nullptr;
    QPlainTextEdit* m_edit1065 = nullptr;
    QPushButton* m_bDelete = nullptr;
    QPushButton* m_bPrint = nullptr;
    QPushButton* m_bDst = nullptr;
    QPushButton* m_bHelp = nullptr;
    QPushButton* m_bReadNew = nullptr;
    CEntryListCtrl* m_list = nullptr;
    QPushButton* m_bOpen = nullptr;
    QPushButton* m_bCompose = nullptr;
    QPushButton* m_bFind = nullptr;
    QComboBox* m_comboSort = nullptr;
    QPushButton* m_bRecv = nullptr;
    QPushButton* m_bSent = nullptr;
    QLabel* mc_s_title = nullptr;
    QFont m_fontTitle;
    QList<QIcon> m_listImages;
    QPoint m_progressPos;
    std::unique_ptr<CReadOnlyDatabase> m_pPhonebook;
    std::unique_ptr<CSMSFileQuery> m_pPhoneQuery;
    std::unordered_map<std::string, std::string> m_nameCache;

    int m_nFolder = 0;
    int m_nSrcStorage = SMS_NOSELECT;
    // The place and content of the marked stored message opened for sending.
    struct {
        bool marked = false;
        int store = SMS_NOSELECT;
        int32_t location = -1;
        std::string addrList, text;
    } m_openedMark;
    int m_nPrevSrcStorage = SMS_NOSELECT;
    int m_nDstStorage = SMS_DST_SIM;
    std::unique_ptr<CEntrySMSRecordset> m_pListRecordset;
    std::unique_ptr<CEntrySMSRecordset> m_pReadRecordset;
    CJetDatabase* m_pReadDatabase = nullptr;
    int m_bUploading = 0;
    int m_nReadCount = 0;
    int m_bFindActive = 0;
    int m_findResult = -1;
    int m_bAllSelected = 0;
    int m_bDstChosen = 0;
    QList<int> m_findList;
    int m_bDragging = 0;
    int m_bDragAllowed = 0;
    int m_nMenuStorage = SMS_NOSELECT;
    class CEntryDropTarget* m_pDropTarget = nullptr;

    // Busy rule: nesting depth of long operations, the poll state found by
    // the outermost one, and the notices held back meanwhile.
    int m_nBusyDepth = 0;
    int m_nSavedPoll = 1;
    std::deque<std::pair<int, uint8_t>> m_deferred;
    bool m_bParamDeferred = false;
    int m_nParamFlag = 0;
};

// The screen on show, for the engine's callbacks and the document.
CShortMsg* GetShortMsgScreen();

// Registers the screen's factory with the frame (screen 2, argument the
// folder: 0 received, 1 sent).
void RegisterShortMsgScreen();
