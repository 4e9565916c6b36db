// The base of a source pane: an entry list under three source buttons (PC
// database, SIM, phone memory), a fourth button and two texts, with drop
// targets on the buttons and the list. The base switches sources, chooses
// PC database files, deletes the selected entries one by one after asking,
// and starts drags; everything that touches the data is a virtual
// operation of the phonebook pane, which derives from it.
//
// The pane creates its controls; the owner puts them where its template
// has placeholders (BindControls) and maps nothing else: the button clicks
// are handled here.
#pragma once

#include "deleterun.h"
#include "dragdrop.h"
#include "entrylistctrl.h"
#include "iconmenu.h"

#include <QObject>
#include <QPoint>
#include <QPushButton>

class CDaoDatabase;
class CZorqMMIDoc;
class CSrcList;
class QLabel;
class QMimeData;
class QButtonGroup;

// Commands of the PC-database menu (menu 132, first submenu).
enum : unsigned { ID_PC_NEW_DATABASE = 32851, ID_PC_OPEN_DATABASE = 32852 };
// What a PC source button without a pane sends its window for them.
enum : unsigned { ID_NEW_PC_SOURCE = 32771, ID_OPEN_PC_SOURCE = 32772 };

// A popup icon menu that tells its owner when it is gone (0x7FD).
class CPopupIconMenu : public CIconMenu {
public:
    explicit CPopupIconMenu(QWidget* owner) : m_pOwner(owner) {}
    ~CPopupIconMenu();

private:
    QWidget* m_pOwner;
};

// The PC source button: a right click tells the owner (0x7FC) and, as the
// profile's ConditionnalImplementation/RightClickOnPC says, offers the
// PC-database menu (0), asks the owner for a menu of its own (flag set:
// 0x7F8) or does nothing more (2).
class CSrcButton : public QPushButton {
    Q_OBJECT
public:
    explicit CSrcButton(QWidget* parent = nullptr);
    void SetFlag(bool on) { m_bFlag = on; }
    bool Flag() const { return m_bFlag; }
    void SetPane(CSrcList* pane) { m_pPane = pane; }

protected:
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    bool m_bFlag = false;
    CSrcList* m_pPane = nullptr;
};

class CSrcList : public QObject {
    Q_OBJECT
public:
    explicit CSrcList(QWidget* owner);
    ~CSrcList() override;

    // ---- operations of the pane (the phonebook pane's roles, in order)
    // Builds the drag payload of the selected entries and drags it.
    virtual void BeginOleDrag() {}
    // The fourth button follows the source (first step of ChangeSource).
    virtual void EnableEntryButton(bool) {}
    // Make that source current.
    virtual void SetSourcePC() {}
    virtual void SetSourceSIM() {}
    virtual void SetSourcePhone() {}
    // Last steps of ChangeSource: no source, no previous source.
    virtual void ResetSource() {}
    virtual void ResetPreviousSource() {}
    virtual void CheckSourceButton(int) {}
    // The PC database file to use.
    virtual void SetDatabasePath(const QString&) {}
    // Tells the owner that the source changes (before the list is emptied).
    virtual void NotifyOwnerSourceChange() {}
    // True: the PC database is open and is read; false: the menu is offered.
    virtual bool OpenPCDatabase() { return true; }
    // Takes the database a successful open produced.
    virtual bool CreateRecordset() { return true; }
    virtual void SetColumns(bool) {}
    // True when column 0 shows the location (the name is then in column 1).
    virtual bool IsLocationShown() { return true; }
    // Selects the current storage in the phone.
    virtual bool SelectStorage() { return true; }
    // False: the storage is read from the phone before its list is shown.
    virtual bool IsStorageRead() { return true; }
    virtual bool UploadStorage() { return true; }
    virtual void MarkStorageRead() {}
    virtual int GetMemoryOrder() { return 0; }
    virtual bool IsReady() { return true; }
    virtual bool IsSIMAvailable() { return true; }
    virtual bool IsPhoneAvailable() { return true; }
    // After a deletion run: the title counts the rows left.
    virtual void UpdateTitle(int) {}
    // Deletes the entry of one row (its data, not the row), or says why not.
    virtual DeleteOutcome DeleteOneItem(CEntryListCtrl*, int) { return DeleteOutcome::Deleted; }
    // The database file the current source's entries are deleted from.
    virtual QString SourceDatabaseName() { return QString(); }
    virtual void UpdateButtons();
    virtual void SelectInitialSource() {}
    // Records the current source in the profile.
    virtual void SaveCurrentSource() {}
    virtual void SetSource(int) {}
    // That source is already current.
    virtual bool IsSrcPC() { return true; }
    virtual bool IsSrcSIM() { return true; }
    virtual bool IsSrcPhone() { return true; }
    virtual int GetMaxLocation() { return 255; }
    virtual int GetMaxNameLength() { return 250; }
    virtual int GetMaxNumberLength() { return 250; }
    // Undoes a source change that failed.
    virtual void RestorePreviousSource() {}
    // Opens the database of the current source; 0 when open.
    virtual int OpenSourceDatabase(CDaoDatabase** database)
    {
        if (database)
            *database = nullptr;
        return 0;
    }
    virtual bool VerifyAccess() { return true; }
    virtual bool CheckRoom() { return true; }
    virtual void FillList() {}
    virtual bool CreateDatabase(const QString&) { return true; }
    virtual bool OpenDatabase(const QString&) { return true; }
    // Profile key "Source" of `section`: -1 for source 6 (no selection).
    virtual void SaveSource(const QString& section, int source);
    virtual bool IsPhoneSource() { return true; }
    virtual bool CanShowSIM() { return true; }
    virtual bool CanShowPhone() { return true; }

    // ---- set-up
    // With OLE drag, entries are dragged as data to other panes and programs.
    void Init(bool oleDrag);
    void SetDocument(CZorqMMIDoc* doc);
    CZorqMMIDoc* GetDocument() const { return m_pDocument; }
    void SetPaneKind(int kind) { m_nPaneKind = kind; }  // 1 phonebook, 3 directory
    int GetPaneKind() const { return m_nPaneKind; }
    void SetMenuPosition(int x, int y) { m_menuOffset = QPoint(x, y); }
    // Where the pane's progress windows open; (-1, -1) the list's corner.
    void SetProgressPosition(int x, int y);
    QPoint GetProgressPosition() const { return m_progress; }
    void SetDropOwner(CDropOwner* owner);
    void MarkAttached() { m_bAttached = true; }
    bool IsAttached() const { return m_bAttached; }
    // Puts the pane's controls in place of the template's (null: skipped).
    void BindControls(QWidget* pc, QWidget* sim, QWidget* phone, QWidget* fourth, QWidget* list,
                      QWidget* title, QWidget* room);
    // Adds a further source button of the derived pane to the exclusive set.
    void AddSourceButton(QAbstractButton* button);

    CSrcButton* GetPCButton() const { return m_btnPC; }
    QPushButton* GetSIMButton() const { return m_btnSIM; }
    QPushButton* GetPhoneButton() const { return m_btnPhone; }
    QPushButton* GetFourthButton() const { return m_btnFourth; }
    CEntryListCtrl* GetListCtrl() const { return m_list; }
    QLabel* GetTitleStatic() const { return m_static1; }
    QLabel* GetRoomStatic() const { return m_static2; }
    QWidget* GetOwner() const { return m_pOwner; }
    CEntryDropTarget* GetDropTarget() const { return m_pTarget; }

    // ---- source switching
    bool ClickSrcPC();
    bool ClickSrcSIM();
    bool ClickSrcPhone();
    bool OpenCurrentSource();
    bool ReadSource();
    void ChangeSource(bool flag);
    void CheckSrcPC();
    void CheckSrcSIM();
    void CheckSrcPhone();
    void UncheckAllSrc();
    void UpdateAllSelected();
    bool IsAllSelected() const { return m_bAllSelected; }
    bool AddToolTips(QWidget* anyControl);

    // ---- PC database files
    bool ShowContextMenu();
    // Runs a command of the PC-database menu; false for other commands and
    // when the new or chosen database was not opened.
    virtual bool OnMenuCommand(unsigned id);
    bool NewDatabaseFile(QString* path, bool apply);
    bool OpenDatabaseFile(QString* path, bool apply);
    bool OnNewDatabase();
    bool OnOpenDatabase();

    // ---- deletion and drag
    // Asks for every selected entry (Yes / No / Yes to all; Cancel skips
    // one) and deletes the accepted ones by their location, with polling
    // suspended; the progress window's Cancel stops the run.
    void TrashSelection();
    // The name of the first selected entry, as the deletion names it.
    QString FirstSelectedName();
    // Drags `data` (taken over) with copy and move allowed; the action
    // done, or Qt::IgnoreAction.
    Qt::DropAction DoOleDrag(QMimeData* data);
    void OnBeginDrag();
    bool IsOleDrag() const { return m_bOleDrag; }

signals:
    // The menu is about to show (tests and owners may watch it).
    void menuShown(CIconMenu* menu);

protected:
    QWidget* m_pOwner;
    CZorqMMIDoc* m_pDocument = nullptr;
    CSrcButton* m_btnPC;
    QPushButton* m_btnSIM;
    QPushButton* m_btnPhone;
    QPushButton* m_btnFourth;
    CEntryListCtrl* m_list;
    QLabel* m_static1;
    QLabel* m_static2;
    QButtonGroup* m_group;
    CEntryDropTarget* m_pTarget;
    int m_nPaneKind = 1;
    QPoint m_menuOffset{0, 0};
    QPoint m_progress{-1, -1};
    bool m_bAllSelected = false;
    bool m_bOleDrag = false;
    bool m_bAttached = false;
};
