#include "objectlistwnd.h"

#include "deleterun.h"
#include "uiservices.h"
#include "uiwidgets.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>

CObjectListWnd::CObjectListWnd(QWidget* owner)
    : QObject(owner),
      m_pOwner(owner),
      m_btnModify(new QPushButton(owner)),
      m_btnTrash(new QPushButton(owner)),
      m_btnNew(new QPushButton(owner)),
      m_list(new CEntryListCtrl(owner))
{
    m_list->SetImageList({UiLoadIcon("136"), UiLoadIcon("138"), UiLoadIcon("136"), UiLoadIcon("227")});
    connect(m_list, &CEntryListCtrl::rowClicked, this, [this] { OnClickList(); });
    connect(m_list, &CEntryListCtrl::selectionChangedRows, this, [this] { OnSelChange(); });
    connect(m_list, &CEntryListCtrl::columnClicked, this, [this] { OnColumnClick(); });
    connect(m_list, &CEntryListCtrl::dragStarted, this, [this] { OnBeginDrag(); });
    m_list->viewport()->installEventFilter(this);
    m_list->installEventFilter(this);
}

CObjectListWnd::~CObjectListWnd() = default;

void CObjectListWnd::BindControls(QWidget* modify, QWidget* trash, QWidget* newButton, QWidget* list)
{
    UiReplaceWidget(modify, m_btnModify);
    UiReplaceWidget(trash, m_btnTrash);
    UiReplaceWidget(newButton, m_btnNew);
    UiReplaceWidget(list, m_list);
}

void CObjectListWnd::InsertItem(int row, CEntryListCtrl* list, CObjectListItem* item)
{
    if (item)
        InsertRow(row, list, item, item->GetImage());
}

void CObjectListWnd::InsertRow(int row, CEntryListCtrl* list, CObjectListItem* item, int image)
{
    if (!list || !item)
        return;
    if (row < 0)
        row = list->GetRowCount();
    list->SetRowText(row, 0, item->GetName(), image, 0);
    if (!m_bScrollLayout && list->GetRowCount() > list->RowsPerPage()) {
        // Room for the vertical scroll bar, once.
        const int width = list->columnWidth(0);
        if (width > 0)
            list->setColumnWidth(0, width - 1);
        m_bScrollLayout = true;
    }
}

void CObjectListWnd::SetDocument(CQXObjectList* list)
{
    m_pDocument = list;
    EnableAll();
    if (m_nIconStyle == 1) {
        m_btnTrash->setIcon(UiLoadIcon("IDI_SMALL_TRASH"));
        m_btnModify->setIcon(UiLoadIcon("IDI_SMALL_MODIFY"));
        m_btnNew->setIcon(UiLoadIcon("IDI_SMALL_NEW"));
    } else {
        m_btnTrash->setIcon(UiLoadIcon("211"));
        m_btnModify->setIcon(UiLoadIcon("296"));
        m_btnNew->setIcon(UiLoadIcon("295"));
    }
    FillList();
    UpdateButtons();
}

void CObjectListWnd::AddToolTips()
{
    m_btnModify->setToolTip(UiLoadString(31729));
    m_btnTrash->setToolTip(UiLoadString(31728));
    m_btnNew->setToolTip(UiLoadString(31730));
}

void CObjectListWnd::EnableAll()
{
    for (QWidget* w : {static_cast<QWidget*>(m_list), static_cast<QWidget*>(m_btnModify),
                       static_cast<QWidget*>(m_btnTrash), static_cast<QWidget*>(m_btnNew)})
        w->setEnabled(true);
}

void CObjectListWnd::DisableAll()
{
    for (QWidget* w : {static_cast<QWidget*>(m_list), static_cast<QWidget*>(m_btnModify),
                       static_cast<QWidget*>(m_btnTrash), static_cast<QWidget*>(m_btnNew)})
        w->setEnabled(false);
}

void CObjectListWnd::FillList()
{
    if (!m_pDocument)
        return;
    m_list->setUpdatesEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_list->DeleteAllRows();
    m_list->DeleteAllColumns();
    m_bScrollLayout = false;
    SetColumns(m_pDocument->GetCount() > m_list->RowsPerPage());
    int row = 0;
    for (CObjectListItem* item : m_pDocument->GetItems())
        InsertItem(row++, m_list, item);
    if (m_pDocument->GetCount() > 0)
        m_list->SelectRow(GetSavedSelection());
    m_list->setUpdatesEnabled(true);
    QApplication::restoreOverrideCursor();
}

CObjectListItem* CObjectListWnd::GetSelectedItem() const
{
    const int row = m_list->GetSingleSelectedRow();
    return row < 0 || !m_pDocument ? nullptr : m_pDocument->GetAt(row);
}

bool CObjectListWnd::CanTrashSelection() const
{
    const QList<int> rows = m_list->GetSelectedRows();
    if (rows.isEmpty() || !m_pDocument)
        return false;
    for (int row : rows) {
        const CObjectListItem* item = m_pDocument->GetAt(row);
        if (!item || !item->CanTrash())
            return false;
    }
    return true;
}

bool CObjectListWnd::CanModifySelection() const
{
    const QList<int> rows = m_list->GetSelectedRows();
    if (rows.isEmpty() || !m_pDocument)
        return false;
    for (int row : rows) {
        const CObjectListItem* item = m_pDocument->GetAt(row);
        if (!item || !item->CanModify())
            return false;
    }
    return true;
}

void CObjectListWnd::UpdateButtons()
{
    const int selected = m_list->GetSelectedCount();
    m_btnNew->setEnabled(true);
    m_btnModify->setEnabled(selected == 1 && CanModifySelection());
    m_btnTrash->setEnabled(selected >= 1 && CanTrashSelection());
}

void CObjectListWnd::NewItem(CDlgObjectItem* dlg)
{
    if (!dlg || !m_pDocument || dlg->DoModal() != IDOK)
        return;
    CObjectListItem* item = dlg->GetItem();
    if (!item)
        return;
    m_list->DeselectAll();
    InsertItem(dlg->GetItemIndex(), m_list, item);
    const int row = dlg->GetItemIndex() < 0 ? m_list->GetRowCount() - 1 : dlg->GetItemIndex();
    m_list->SelectRow(row);
    UpdateButtons();
}

void CObjectListWnd::ModifyItem(CDlgObjectItem* dlg)
{
    if (!dlg || !m_pDocument || dlg->DoModal() != IDOK || dlg->GetItemIndex() < 0)
        return;
    const int selected = m_list->GetSingleSelectedRow();
    if (selected >= 0)
        m_list->DeleteRow(selected);
    InsertItem(dlg->GetItemIndex(), m_list, dlg->GetItem());
    m_list->DeselectAll();
    m_list->SelectRow(dlg->GetItemIndex());
    UpdateButtons();
}

void CObjectListWnd::TrashSelection()
{
    if (!m_pDocument || !CanTrashSelection())
        return;
    // The items themselves are collected: rows move as items go.
    QStringList names;
    std::vector<CObjectListItem*> items;
    for (int row : m_list->GetSelectedRows()) {
        items.push_back(m_pDocument->GetAt(row));
        names << m_list->GetRowText(row, 0);
    }
    // The list is painted throughout the run: each row goes as its item does.
    RunConfirmedDeletion(m_pOwner, QPoint(-1, -1), 0, names, [&](int i) {
        const int row = m_pDocument->IndexOf(*items[static_cast<size_t>(i)]);
        if (row < 0)
            return DeleteOutcome::Gone;
        m_pDocument->RemoveItem(items[static_cast<size_t>(i)], true);
        m_list->DeleteRow(row);
        return DeleteOutcome::Deleted;
    });
    UpdateButtons();
}

int CObjectListWnd::SelectItemByName(const CObjectListItem* item)
{
    m_list->DeselectAll();
    const int index = item && m_pDocument ? m_pDocument->IndexOfName(item->GetName()) : -1;
    if (index >= 0)
        m_list->SelectRow(index);
    UpdateButtons();
    return index;
}

void CObjectListWnd::OnColumnClick()
{
    m_list->DeselectAll();
    m_list->SelectAll();
    UpdateButtons();
}

void CObjectListWnd::OnBeginDrag()
{
    m_bDragging = true;
    m_bOverTarget = false;
    m_pDropButton = nullptr;
    m_list->viewport()->grabMouse(Qt::ClosedHandCursor);
    const QList<int> rows = m_list->GetSelectedRows();
    m_rowDrag.Begin(rows.isEmpty() ? QIcon() : m_list->GetRowIcon(rows.first()), QCursor::pos(), m_list);
}

void CObjectListWnd::OnDragMouseMove(const QPoint& globalPos)
{
    if (!m_bDragging)
        return;
    QWidget* under = QApplication::widgetAt(globalPos);
    QPushButton* target = nullptr;
    for (QPushButton* b : DropButtons())
        if (under == b || (b->isVisible() && b->rect().contains(b->mapFromGlobal(globalPos))))
            target = b;
    m_pDropButton = target;
    DragMove(target != nullptr, globalPos);
}

void CObjectListWnd::DragMove(bool overTarget, const QPoint& globalPos)
{
    m_rowDrag.Update(overTarget, globalPos);
    if (overTarget != m_bOverTarget) {
        m_bOverTarget = overTarget;
        m_list->viewport()->grabMouse(overTarget ? Qt::DragCopyCursor : Qt::ClosedHandCursor);
    }
}

bool CObjectListWnd::OnEndDrag()
{
    if (!m_bDragging)
        return false;
    m_list->viewport()->releaseMouse();
    m_rowDrag.End();
    m_bDragging = false;
    const bool accepted = m_bOverTarget && m_pDropButton;
    m_bOverTarget = false;
    if (accepted)
        emit droppedOn(m_pDropButton);
    return accepted;
}

bool CObjectListWnd::eventFilter(QObject* watched, QEvent* event)
{
    if (m_bDragging && event->type() == QEvent::MouseMove) {
        OnDragMouseMove(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        return true;
    }
    if (m_bDragging && event->type() == QEvent::MouseButtonRelease) {
        OnEndDrag();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

// ---------------------------------------------------------------- dialog

CDlgObjectItem::CDlgObjectItem(int templateId, QWidget* parent) : CDlgBase(templateId, parent) {}
