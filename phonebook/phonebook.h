// The phonebook screen: one phonebook pane (PC, SIM, SIM fixed dialling,
// phone memory) with an entry form of eight fields beside it, a sort choice
// and the buttons to add, change, delete, find, print and copy entries; the
// entries can be dialled and dragged to and from other programs as vCards.
#pragma once

#include "dstchoice.h"
#include "finddlg.h"
#include "mainview.h"

#include <QList>
#include <QString>

#include <map>
#include <memory>
#include <string>
#include <vector>

class CQXPBSrcNewList;
class CVCard;
class QButtonGroup;
class QComboBox;
class QPrinter;
struct PBEntry;

class CPhoneBook : public CMainView, public CFindPBOwner, public CDstSelectedOwner {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 131;

    explicit CPhoneBook(QWidget* parent = nullptr);
    ~CPhoneBook() override;

    void OnInitialUpdate() override;
    std::intptr_t DefWindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void OnCommand(int id) override;
    bool OnDropData(QWidget* target, const QMimeData* data) override;
    Qt::DropAction CanDropData(QWidget* target, const QMimeData* data) override;
    void OnUpdateMSParam(int flag) override;
    void OnFrameMove() override;
    void OnDestroy() override;
    void OnMouseMove(const QPoint& point) override;
    QRegion EntryRegion() const override;
    void OnEntryRegionClick() override;

    CQXPBSrcNewList* Pane() const { return m_pPane.get(); }

    // ---- Entries ------------------------------------------------------------------
    void OnDeferredInit();
    void OnNewEntry();
    void OnBAddOk();
    void OnCancelEdit();
    void OnBTrash();
    void OnDial();
    // The list's right click: the icon menu of the selected entries.
    void OnContextMenu();
    void OnSortChange();
    void FillSortCombo();
    void OnPrint();
    void OnFind();
    void OnCopyTo();
    QString PrintTitle() const;
    // Before a source switch, a sort change, a find, a copy or a new entry:
    // a changed entry is saved or dropped as the user says; an entry being
    // added is dropped and the caller stops (false).
    bool SettlePendingEdit();
    void SelectionToForm();
    // Another entry chosen in the list while the form holds a change to the
    // one it shows: the change is saved or dropped as the user says before
    // the form follows the list.
    void SettleEditOnMove();
    void ResetForm();

    // ---- Find (the find dialog calls these) ---------------------------------------
    bool FindInColumn(int column, const QString& text, bool exact) override;
    bool FindInAllColumns(const QString& first, const QString& second, bool exact) override;
    void FindNext() override { FindNextRow(); }
    // True when nothing is left to show; else the next hit is selected.
    bool FindNextRow();
    void UnselectAll() override;
    const QList<int>& FoundRows() const { return m_found; }

    // ---- Copying -------------------------------------------------------------------
    // The next copy into a storage empties it first (the mirror question).
    void SetDstSelected() override { m_bEraseDst = true; }
    bool IsDstSelected() const { return m_bEraseDst; }
    void CopyToPC();
    void CopyToPCDatabase(bool menu, const std::vector<CVCard>* cards);
    void CopyToNewPCFile();
    void CopyToExistingPCFile();
    void ClickDstMirrorDatabase(int destination, const std::vector<CVCard>* cards);
    // The copy of the selection into `destination`, after the mirror
    // question when every row is selected.
    void AskMirrorAndCopy(int destination);
    int CopyDestination() const { return m_nCopyDst; }

    // ---- Form state (for the screen's own checks and tests) -----------------------
    bool IsAddMode() const { return m_bAddMode; }
    bool IsModifyMode() const { return m_bModifyMode; }
    QString FieldText(int id) const;
    void SetFieldText(int id, const QString& text);
    // Shows a stored value in its field; a multi-line one too long to lay
    // out is shown cut, read-only, with what it holds said.
    void ShowStoredText(int id, const std::string& stored);

protected:
    // A printer for print runs without the print dialog (tests print to PDF).
    virtual QPrinter* PrintTarget() { return nullptr; }
    // The question before a copy replaces the destination: 1 OK (the erase
    // flag set when chosen), else cancelled.
    virtual int AskMirror();
    // A right click on the form's background offers the entries' menu, as
    // one on the list does.
    void contextMenuEvent(QContextMenuEvent* e) override;
    // Escape while an entry is being added or changed does what the form's
    // Cancel does.
    void keyPressEvent(QKeyEvent* e) override;

private:
    // Print, find and copy-to.
    void OnOtherCommand(int id);
    void BindControls();
    void AfterSourceSwitch();
    void EnableFormFields(bool open);
    void ShowOkCancel(bool show);
    // The form's OK and Cancel look and stand as a dialog's: with their
    // answers' pictures, at the right under the fields, Cancel last.
    void PlaceOkCancel();
    // Whether the focus is on the form (a field, OK or cancel), which the
    // end of an add or a change empties and hides.
    bool FormHasFocus() const;
    // After the form's end: the focus goes to the pane's new-entry button
    // (the list when that is off), not to whatever follows the hidden OK.
    void FocusAfterForm();
    void UpdateModeTips();
    void UpdateActionButtons();
    void OnFieldChanged(int id);
    PBEntry EntryFromForm() const;
    void SetSideCodes();
    QWidget* Ctrl(int id) const { return GetDlgItem(id); }
    void EnableCtrl(int id, bool on);
    void RunPCMenu();
    void CopyIntoPCFile(const std::string& path, bool ask);
    void DropVCards(int destination, const std::vector<CVCard>& cards);
    void ShowFoundRow(int row);
    // While entries are copied the add and modify buttons are off (an entry
    // written meanwhile would go to the storage the copy has selected in the
    // phone); nested copies count.
    friend class CopyRunning;
    void BeginCopy();
    void EndCopy();
    bool IsCopying() const { return m_nCopying > 0; }

    std::unique_ptr<CQXPBSrcNewList> m_pPane;
    QComboBox* m_pSort = nullptr;
    bool m_bAddMode = false, m_bModifyMode = false, m_bChanged = false;
    bool m_bNameChanged = false, m_bNumberChanged = false;
    bool m_bFilling = false;
    bool m_bSettlingMove = false;
    int m_nFormLocation = -1;  // the entry the form shows in modify mode
    bool m_bInitDone = false;  // the first update has run
    bool m_bEraseDst = false;
    int m_nSideSrc = 8, m_nCopyDst = 8;
    int m_nPCMenuContext = 8;
    int m_nSortSel = 1;
    QList<int> m_found;
    int m_nFindRow = -1;
    int m_nCopying = 0;
    bool m_bNewWasEnabled = false;
    std::vector<class CEntryDropTarget*> m_targets;
    // Multi-line fields the form shows only the beginning of (the text is
    // too long to lay out), with what is stored: a save keeps it whole.
    std::map<int, std::string> m_cutFields;
};

// Registers the screen's factory with the frame (screen 1).
void RegisterPhoneBookScreen();
