// The panel that shows one object list (melodies, data applications,
// service-centre profiles, security codes) in an entry list with Modify,
// Trash and New buttons above it. Derived panels supply the columns, the
// rows, the item dialogs and the remembered selection.
//
// The panel creates its controls; the owner puts them where its template
// has placeholders (BindControls). List clicks, selection changes and
// header clicks are handled here; the owner connects the three buttons to
// Modify, TrashSelection and its own NewItem call.
#pragma once

#include "dlgbase.h"
#include "dragdrop.h"
#include "entrylistctrl.h"
#include "objectlist.h"

#include <QObject>
#include <QPushButton>

// The properties dialog of one item: run modally by the panel, which then
// takes the item it built or edited.
class CDlgObjectItem : public CDlgBase {
    Q_OBJECT
public:
    CDlgObjectItem(int templateId, QWidget* parent = nullptr);

    virtual CObjectListItem* GetItem() { return nullptr; }
    virtual int GetExtra() { return 0; }
    int GetItemIndex() const { return m_nItem; }

    QString m_str1;
    QString m_str2;
    int m_nFlag = 0;
    int m_nItem = -1;  // -1: the dialog creates a new item
};

class CObjectListWnd : public QObject {
    Q_OBJECT
public:
    explicit CObjectListWnd(QWidget* owner);
    ~CObjectListWnd() override;

    // ---- operations derived panels fill, in this order
    // Inserts the item's row (row -1: after the last row).
    virtual void InsertItem(int row, CEntryListCtrl* list, CObjectListItem* item);
    virtual void SetColumns(bool) {}
    virtual int GetSavedSelection() { return 0; }
    virtual void UpdateButtons();
    virtual void SetDocument(CQXObjectList* list);
    // Tips of the three buttons (strings 31729, 31728, 31730).
    virtual void AddToolTips();
    virtual void SaveSelection() {}
    virtual void EnableAll();
    virtual void DisableAll();
    virtual void Modify() { ModifyItem(nullptr); }

    // ---- controls
    QPushButton* GetModifyButton() const { return m_btnModify; }
    QPushButton* GetTrashButton() const { return m_btnTrash; }
    QPushButton* GetNewButton() const { return m_btnNew; }
    CEntryListCtrl* GetListCtrl() const { return m_list; }
    CQXObjectList* GetDocument() const { return m_pDocument; }
    void BindControls(QWidget* modify, QWidget* trash, QWidget* newButton, QWidget* list);
    void SetIconStyle(int style) { m_nIconStyle = style; }

    // ---- rows and items
    void FillList();
    CObjectListItem* GetSelectedItem() const;
    bool CanTrashSelection() const;
    bool CanModifySelection() const;
    // Runs an item dialog; on OK its item's row is inserted (New) or
    // replaces the selected row (Modify) and is selected. The document is
    // the caller's to update.
    void NewItem(CDlgObjectItem* dlg);
    void ModifyItem(CDlgObjectItem* dlg);
    // Asks for each selected item and removes the accepted ones with their
    // files.
    void TrashSelection();
    int SelectItemByName(const CObjectListItem* item);

    // ---- notifications of the list
    void OnClickList() { UpdateButtons(); }
    void OnSelChange() { UpdateButtons(); }
    void OnColumnClick();

    // ---- internal drag of rows onto the Modify and Trash buttons
    void OnBeginDrag();
    void OnDragMouseMove(const QPoint& globalPos);
    bool OnEndDrag();
    void DragMove(bool overTarget, const QPoint& globalPos);
    bool IsDragging() const { return m_bDragging; }
    const CRowDragImage& RowDrag() const { return m_rowDrag; }
    bool IsOverTarget() const { return m_bOverTarget; }
    QPushButton* DropButton() const { return m_pDropButton; }
    // The buttons that take dragged rows: Modify and Trash, and whatever a
    // derived panel adds.
    virtual QList<QPushButton*> DropButtons() const { return {m_btnModify, m_btnTrash}; }

signals:
    // Rows were dropped on one of the drop buttons.
    void droppedOn(QPushButton* button);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Inserts the item's row showing `image` of the list's images.
    void InsertRow(int row, CEntryListCtrl* list, CObjectListItem* item, int image);

    QWidget* m_pOwner;
    QPushButton* m_btnModify;
    QPushButton* m_btnTrash;
    QPushButton* m_btnNew;
    CEntryListCtrl* m_list;
    CQXObjectList* m_pDocument = nullptr;
    int m_nIconStyle = 1;
    bool m_bScrollLayout = false;
    bool m_bDragging = false;
    CRowDragImage m_rowDrag;
    bool m_bOverTarget = false;
    QPushButton* m_pDropButton = nullptr;
};
