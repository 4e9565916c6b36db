// The base of a source pane: an entry list with the PC, SIM and phone-memory
// source buttons above it, a fourth button, a title and a room line, and the
// drop targets on them. The base switches between the sources, asks for PC
// database files, deletes the selected entries one by one and starts drags;
// everything that touches the data is a virtual operation of the derived
// pane (the phonebook pane, also used by the message recipient directory).
//
// The controls belong to the owner's form; the owner hands them over with
// SetControls. Clicks on the source buttons stay the owner's to route (it
// calls ClickSrcPC, ClickSrcSIM, ClickSrcPhone).
#pragma once

#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QStringList>

#include <string>

class CEntryListCtrl;
class CEntryDropSource;
class CEntryDropTarget;
class CDropOwner;
class QLabel;
class QMimeData;

// Command ids of the PC source button's menu.
enum { ID_PC_NEW_DATABASE = 32771, ID_PC_OPEN_DATABASE = 32772 };

// The menu of the PC source button; its end posts WM_POPUP_MENU_CLOSED
// (0x7FD) to the owner, and a chosen command goes to the handler first.
class CPopupIconMenu : public QMenu {
    Q_OBJECT
public:
    explicit CPopupIconMenu(QWidget* owner);
    ~CPopupIconMenu() override;
    // Runs the menu at a screen position; the chosen command, or 0.
    int Track(const QPoint& at);

private:
    QPointer<QWidget> m_pOwner;
};

// A source button. A right click posts WM_SRC_CONTEXT_MENU (0x7FC, lParam
// the button) to the owner and then, as the profile's
// ConditionnalImplementation/RightClickOnPC says, shows the PC menu (0),
// asks the owner for one (flag set: WM_SRC_MENU_REQUEST) or does nothing (2).
class CSrcButton : public QPushButton {
    Q_OBJECT
public:
    explicit CSrcButton(QWidget* parent = nullptr) : QPushButton(parent) {}
    void SetOwner(QWidget* owner) { m_pOwner = owner; }
    int m_bFlag = 0;

signals:
    // A command of the button's menu was chosen.
    void menuCommand(int id);

protected:
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    QPointer<QWidget> m_pOwner;
};

class CSrcList : public QObject {
    Q_OBJECT
public:
    explicit CSrcList(QWidget* owner);
    ~CSrcList() override;

    // The controls of the owner's form (any may be null but the list).
    void SetControls(QAbstractButton* pc, QAbstractButton* sim, QAbstractButton* phone,
                     QAbstractButton* fourth, CEntryListCtrl* list, QLabel* title, QLabel* room);
    // With OLE drag: drop targets on the source buttons and the list, the
    // drag images, and drags started from the list.
    virtual void Init(bool oleDrag);
    void SetPaneKind(int kind) { m_nPaneKind = kind; }
    int PaneKind() const { return m_nPaneKind; }
    void SetDropOwner(CDropOwner* owner);
    void SetDropSource(CEntryDropSource* source) { m_pDropSource = source; }

    QWidget* Owner() const { return m_pOwner; }
    QAbstractButton* GetPCButton() const { return m_pPC; }
    QAbstractButton* GetSIMButton() const { return m_pSIM; }
    QAbstractButton* GetPhoneButton() const { return m_pPhone; }
    QAbstractButton* GetFourthButton() const { return m_pFourth; }
    CEntryListCtrl* GetListCtrl() const { return m_pList; }
    QLabel* GetTitleStatic() const { return m_pTitle; }
    QLabel* GetRoomStatic() const { return m_pRoom; }

    // ---- Switching ---------------------------------------------------------------
    bool ClickSrcPC();
    bool ClickSrcSIM();
    bool ClickSrcPhone();
    bool OpenCurrentSource();
    bool ReadSource();
    void ChangeSource(int source);
    void CheckSrcPC();
    void CheckSrcSIM();
    void CheckSrcPhone();
    void UncheckAllSrc();
    virtual void UpdateButtons();
    bool IsAllSelected() const { return m_bAllSelected; }
    void UpdateAllSelected();
    void SetMenuPosition(int x, int y) { m_menuOffset = QPoint(x, y); }
    void SetProgressPosition(int x, int y);
    QPoint ProgressPosition() const { return m_progress; }
    bool ShowContextMenu();

    // ---- PC database files -------------------------------------------------------
    bool NewDatabaseFile(std::string* path, bool apply);
    bool OpenDatabaseFile(std::string* path, bool apply);
    bool OnNewDatabase();
    bool OnOpenDatabase();

    // ---- Deleting and dragging ---------------------------------------------------
    // Asks per entry (Yes, No, Yes to all) and deletes the confirmed ones.
    void TrashSelection();
    // Runs a drag of `data` (taken over); the action that was done.
    Qt::DropAction DoOleDrag(QMimeData* data);

protected:
    // What the pane does with the data. The defaults do nothing.
    virtual void BeginOleDrag() {}
    virtual void OnSourceChanged(int) {}
    virtual void SelectSourcePC() {}
    virtual void SelectSourceSIM() {}
    virtual void SelectSourcePhone() {}
    virtual void ResetStorage() {}
    virtual void ResetSecondStorage() {}
    virtual void SetDatabasePath(const std::string&) {}
    virtual void ClearList();
    virtual bool IsPCDatabaseAvailable() { return true; }
    virtual void TakeReadResult(int) {}
    virtual bool IsNameInFirstColumn(int) { return true; }
    virtual bool SelectStorage() { return true; }
    virtual bool IsBusy() { return false; }
    virtual bool IsSIMAvailable() { return true; }
    virtual bool IsPhoneAvailable() { return true; }
    virtual void RefreshAfterDelete() {}
    virtual bool DeleteOneItem(int) { return true; }
    virtual void StoreSourceSetting() {}
    virtual bool IsPCCurrent() { return false; }
    virtual bool IsSIMCurrent() { return false; }
    virtual bool IsPhoneCurrent() { return false; }
    virtual void UndoSourceChange() {}
    // 0 when the current source was read.
    virtual int ReadCurrentSource(int* value) { if (value) *value = 0; return 0; }
    virtual void FillList() {}
    virtual bool CreateDatabase(const std::string&) { return true; }
    virtual bool OpenDatabase(const std::string&) { return true; }
    // The confirmation kind of the per-entry question (1: phonebook entry).
    virtual int ConfirmKind() const { return 1; }
    // The database file dialog: a new file (create) or an existing one.
    virtual bool ChooseDatabaseFile(int titleId, bool create, std::string& path);
    // The name shown for the entry of a row when asking before deleting it.
    QString RowName(int row);

    QWidget* m_pOwner;
    QAbstractButton* m_pPC = nullptr;
    QAbstractButton* m_pSIM = nullptr;
    QAbstractButton* m_pPhone = nullptr;
    QAbstractButton* m_pFourth = nullptr;
    CEntryListCtrl* m_pList = nullptr;
    QLabel* m_pTitle = nullptr;
    QLabel* m_pRoom = nullptr;
    bool m_bOleDrag = false;
    bool m_bAllSelected = false;
    int m_nPaneKind = 1;
    QPoint m_progress{-1, -1};
    QPoint m_menuOffset{161, 589};
    CEntryDropSource* m_pDropSource = nullptr;
    CEntryDropTarget* m_pTargets[4] = {};
};
