// The data side of a phonebook pane: the storage it shows (the PC database
// or the mirror of a phone storage), the recordset over that database, the
// list rows that show it, and every entry operation. A write to a phone
// storage goes to the phone first and reaches the mirror only when the phone
// accepted it; the entry is then read back so that the mirror holds it as
// the phone stores it.
//
// The source pane (CQXPBSrcNewList) adds the buttons and the switching of
// sources on top of this; the screen and the recipient directory use the
// operations directly.
#pragma once

#include "at_defs.h"
#include "deleterun.h"
#include "pbdatabase.h"
#include "phonechange.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CEntryListCtrl;
class CZorqMMIDoc;
class QLabel;
class QWidget;

class CPBSourceData {
public:
    explicit CPBSourceData(CZorqMMIDoc* doc = nullptr);
    virtual ~CPBSourceData();
    CPBSourceData(const CPBSourceData&) = delete;
    CPBSourceData& operator=(const CPBSourceData&) = delete;

    void SetDocument(CZorqMMIDoc* doc) { if (doc) m_pDoc = doc; }
    CZorqMMIDoc* Document() const { return m_pDoc; }
    // The list that shows the rows, and the title and room lines (each may
    // be null).
    void SetListCtrl(CEntryListCtrl* list) { m_pDataList = list; }
    CEntryListCtrl* ListCtrl() const { return m_pDataList; }
    void SetStatics(QLabel* title, QLabel* room) { m_pDataTitle = title; m_pDataRoom = room; }
    // The window that owns the pane's dialogs and progress windows.
    void SetOwnerWindow(QWidget* owner) { m_pOwnerWnd = owner; }
    QWidget* OwnerWindow() const { return m_pOwnerWnd; }

    // ---- Storage ----------------------------------------------------------------
    int Current() const { return m_nCurrent; }
    int Previous() const { return m_nPrevious; }
    // previous := current; current := storage (8 leaves both as they are).
    void SetStorage(int storage);
    void ResetSource() { m_nCurrent = 8; }
    void ResetPreviousSource() { m_nPrevious = 8; }
    bool IsSrcPC() const { return m_nCurrent == 0; }
    bool IsSrcSIM() const { return m_nCurrent == 1; }
    bool IsSrcSIMFDN() const { return m_nCurrent == 2; }
    bool IsSrcPhone() const { return m_nCurrent == 3; }
    bool IsPhoneSource() const { return m_nCurrent != 0; }
    bool IsPhoneStorage() const { return m_nCurrent >= 1 && m_nCurrent <= 3; }

    int GetMaxLocation() const;
    int GetMaxNameLength() const;
    int GetMaxNumberLength() const;
    // The row image of a storage: PC 0, SIM 1, phone 2, SIM fixed dialling 3.
    static int GetMemoryOrder(int storage);
    // The first storage to show: the profile's PhoneBook/Source adjusted to
    // what the phone offers.
    int GetInitialSource(int def) const;
    void SaveCurrentSource() const;

    // Selects the current storage in the phone; a failure is traced and
    // shown (SIM 31364, phone memory 31365; a phone that does not answer is
    // said so, unless the owner tells that itself).
    bool SelectStorage();
    // The phone's result for the last selection SelectStorage asked for,
    // or the silence the reading after it met.
    MTR_RESULT LastSelection() const { return m_lastSelection; }
    void ForgetLastSelection() { m_lastSelection = MTR_DONE; }
    // An owner that waits for a silent phone by itself says so in its own
    // words: the selection then leaves the telling to it.
    // `silent`, when given, runs at once when a selection or reading the
    // owner did not start itself meets the silence, so that it can say so.
    void SetOwnerTellsSilence(bool on, std::function<void()> silent = nullptr)
    {
        m_bOwnerTellsSilence = on;
        m_ownerSilent = std::move(silent);
    }
    // The words for a selection of the current storage that failed with
    // `r`: a phone that does not answer, or the storage and the phone's
    // error number.
    QString SelectionFailureText(MTR_RESULT r) const;
    // -35 for the PC (nothing to select); else the phone's answer.
    MTR_RESULT SelectCurrSrcInMobile();
    bool IsStorageRead() const;
    bool UploadStorage();
    void MarkStorageRead();
    // The PC database file named by the profile (a name without a folder
    // lies in the database folder).
    static std::string GetPCDatabasePath();
    static void SetDatabasePath(const std::string& path);
    // Opens the profile's PC database as the document's source database.
    bool OpenPCDatabase();
    // Opens the current storage's database: 0 when open, -1 otherwise.
    int OpenSourceDatabase();
    // PIN2 for the SIM fixed dialling phonebook, else true.
    bool VerifyAccess();
    // PIN2 once per connection (the document asks the user and the phone);
    // false without a document.
    static bool VerifyPin2(CZorqMMIDoc* doc);
    // True when one more entry fits; else the storage's message.
    bool CheckRoom();
    // The message that phonebook `storage` is full (0 PC, 1 and 2 SIM, 3
    // phone memory; a copy's destination 4-7 names the same storages).
    static int FullStringOf(int storage);

    // ---- List ---------------------------------------------------------------------
    void SetSortColumn(const std::string& column) { m_strSortColumn = column; }
    const std::string& SortColumn() const { return m_strSortColumn; }
    void SetListKind(int kind) { m_nListKind = kind; }
    int ListKind() const { return m_nListKind; }
    bool IsLocationShown() const { return m_nListKind == 0; }
    void SetEditingEnabled(bool on) { m_bEditingEnabled = on; }
    bool IsEditingEnabled() const { return m_bEditingEnabled; }
    void SetColumns(bool scrollBar);
    // Refills the list from the database, sorted by the sort column.
    void FillList();
    void UpdateTitle(int count);
    QString TitleText() const { return m_strTitle; }
    QString RoomText() const { return m_strRoom; }
    void RefreshIfShowing(int storage);

    // ---- Entries ------------------------------------------------------------------
    bool CheckEntry(const PBEntry& entry);
    // A new row at the first free location / the current row in edit
    // mode, filled from the entry; the caller then writes the phone
    // (SaveInMobile) and ends with UpdateAndReselect or CancelRow.
    bool SaveInDB(const PBEntry& entry);
    bool ModifyInDB(const PBEntry& entry);
    // True when the mirror takes the row: the phone holds it, or may hold
    // it after a silence (its place is then not counted free). `phone`
    // receives what the write came to.
    bool SaveInMobile(PhoneChangeResult* phone = nullptr);
    bool UpdateAndReselect(bool select);
    void CancelRow();
    bool GetEntryAt(int location, PBEntry& entry);
    // Writes the entry at the location (replacing what is there): phone
    // first, then mirror and list. True when the mirror took it (the phone
    // holds it or may hold it); `phone` receives what the write came to.
    bool AddLocationEntry(int location, PBEntry& entry, PhoneChangeResult* phone = nullptr);
    // True when the place went from the mirror and the list (the phone
    // erased it); `phone` receives what the erase came to.
    bool DeleteLocationEntry(int location, PhoneChangeResult* phone = nullptr);
    // Moves the entry of a row to another location; an occupied location
    // swaps the two entries. The target is written before the source is
    // erased, and a failure puts back what was changed. A silence is told;
    // when the phone does not answer again the move stops where it is.
    bool MoveEntry(int row, int newLocation);
    // The list's label edit ended with `text` typed at `row`.
    bool OnEndEditLabel(int row, const QString& text);
    // Erases the entry of a list row from the phone (phone storages) and
    // the database; the caller removes the row. Otherwise says why not.
    DeleteOutcome DeleteOneItem(int row);
    // The file the current storage's entries are in: the one open, else the
    // one that would be opened.
    std::string OpenDatabaseName() const;
    std::string GetSelectedDialNumber();

    QString GetNameHint() const;
    QString GetNumberHint() const;

    CEntryPhoneRecordset* Recordset() { return m_pSet.get(); }
    // Lets go of the database (before the document closes or recreates it).
    void CloseRecordset();
    // The recordset as a table on "indLoc" (the form the entry operations
    // seek on); false when the database is not open.
    bool OpenTable();

protected:
    CZorqMMIDoc* m_pDoc = nullptr;
    CEntryListCtrl* m_pDataList = nullptr;
    QLabel* m_pDataTitle = nullptr;
    QLabel* m_pDataRoom = nullptr;
    QWidget* m_pOwnerWnd = nullptr;
    int m_nCurrent = 8;
    int m_nPrevious = 8;
    MTR_RESULT m_lastSelection = MTR_DONE;
    bool m_bOwnerTellsSilence = false;
    std::function<void()> m_ownerSilent;
    bool m_bEditingEnabled = false;
    bool m_bNewRow = false;  // the row in hand is a new one, at a free place
    std::string m_strSortColumn = "Location";
    int m_nListKind = 0;
    std::unique_ptr<CEntryPhoneRecordset> m_pSet;
    QString m_strTitle, m_strRoom;

private:
    std::string DatabasePath() const;
    CJetDatabase* SourceDatabase();
    bool SeekLocation(int location);
    void SetRowFields(const PBEntry& entry);
    void ShowRow(int location, const PBEntry& entry);
};

// What the phone holds at a place, read back after a write.
struct PhoneEntryText {
    std::string number, name;
    uint8_t type = 0;
    bool read = false;  // the phone answered the reading
};

// Writes an entry at `location` of the selected phone storage. After a
// silence the place is read: the entry written there means it landed, and
// so does any entry in a place that was free (`placeWasFree`). When it
// landed, `held` receives the entry as the phone stores it.
PhoneChangeResult WritePhoneEntry(int location, const std::string& number, const std::string& name, int type,
                                  const char* traceOwner, PhoneEntryText* held = nullptr,
                                  bool placeWasFree = false);
// Erases `location` of the selected phone storage; after a silence an
// empty place means it landed.
PhoneChangeResult ErasePhoneEntry(int location, const char* traceOwner);
// The words for a write or an erase of `name` the phone did not answer;
// empty when it answered. `inRun`: the write was one of a copy, which
// stops when what the phone holds stays unknown.
QString SilentWriteText(const PhoneChangeResult& r, const QString& name, bool inRun);
QString SilentEraseText(const PhoneChangeResult& r, const QString& name, bool inRun);
// Tells a silence in a message box (nothing when the phone answered).
void TellSilentWrite(const PhoneChangeResult& r, const QString& name, bool inRun);
void TellSilentErase(const PhoneChangeResult& r, const QString& name, bool inRun);

// A number's dialling characters, the '+' not counted (as the phone counts).
int DialDigitCount(const std::string& shortPhone);
