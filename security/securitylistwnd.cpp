#include "securitylistwnd.h"

#include "entrylistctrl.h"
#include "mtr_sec.h"
#include "waitcursor.h"

#include "profile.h"
#include "uiservices.h"
#include "utilities.h"

#if __has_include("dlgsecurcode.h")
#include "dlgsecurcode.h"
#define ZORQ_HAVE_CODE_DIALOGS 1
#endif

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>

namespace {

// The row icon of each facility index.
int FacilityIcon(int facility)
{
    switch (facility) {
    case 5: case 15: case 17: case 18: case 19: case 20: return 138;
    case 6: case 14: return 299;
    case 16: case 21: return 227;
    default: return 316;
    }
}

}  // namespace

CSecurityListWnd::CSecurityListWnd(QWidget* owner) : QObject(owner), m_pOwner(owner) {}

CSecurityListWnd::~CSecurityListWnd() = default;

void CSecurityListWnd::Attach(QWidget* list, QAbstractButton* changeCode, QAbstractButton* switchLock)
{
    m_pChange = changeCode;
    m_pSwitch = switchLock;
    m_pListCtrl = qobject_cast<CEntryListCtrl*>(list);
    if (!m_pListCtrl && list) {
        // The form holds a place for the list: the list takes it.
        auto* ctrl = new CEntryListCtrl(list->parentWidget());
        ctrl->setObjectName(list->objectName());
        ctrl->setGeometry(list->geometry());
        list->setObjectName(QString());
        list->hide();
        list->deleteLater();
        ctrl->show();
        m_pListCtrl = ctrl;
    }
    if (m_pListCtrl) {
        m_pListCtrl->InsertColumn(QString(), 0, 0, false);
        // One column of names, as wide as the list.
        m_pListCtrl->setHeaderHidden(true);
        m_pListCtrl->header()->setStretchLastSection(true);
        QList<QIcon> icons;
        for (int f = 0; f <= MTR_FAC_SC; ++f)
            icons << LoadAppIcon(FacilityIcon(f));
        m_pListCtrl->SetImageList(icons);
        connect(m_pListCtrl, &CEntryListCtrl::selectionChangedRows, this, [this] { UpdateButtons(); });
        connect(m_pListCtrl, &CEntryListCtrl::rowClicked, this, [this] { UpdateButtons(); });
        // A double click switches the lock, as the switch-lock button does.
        connect(m_pListCtrl, &QAbstractItemView::doubleClicked, this, [this] {
            if (m_pSwitch && m_pSwitch->isEnabled())
                EnableCode();
        });
        connect(m_pListCtrl, &CEntryListCtrl::dragStarted, this, [this] { OnBeginDrag(); });
        m_pListCtrl->viewport()->installEventFilter(this);
    }
    if (m_pChange)
        m_pChange->setToolTip(UiLoadString(31810));
    if (m_pSwitch)
        m_pSwitch->setToolTip(UiLoadString(31811));
    DisableAll();
}

void CSecurityListWnd::SetDocument(CSecurityList* list)
{
    if (list) {
        m_pList.reset(list);
    } else {
        m_pList = std::make_unique<CSecurityList>();
        MTR_RESULT r;
        {
            CWaitCursor wait;
            r = m_pList->AskFacilities(m_pOwner);
        }
        // Only a password list answered with 0 leaves no list; a phone that
        // refuses the password list still shows the locks it reported.
        if (r == 0) {
            m_pList.reset();
            DisableAll();
            return;
        }
    }
    EnableAll();
    FillList();
    if (m_pList->GetCount() == 0)
        DisableAll();
    else
        UpdateButtons();
}

void CSecurityListWnd::OnLockFacility(int facility)
{
    if (m_pList)
        m_pList->AddLockFacility(facility);
}

void CSecurityListWnd::OnPasswordFacility(int facility, int maxLength)
{
    if (m_pList)
        m_pList->AddPasswordFacility(facility, maxLength);
}

void CSecurityListWnd::FillList()
{
    if (!m_pListCtrl || !m_pList)
        return;
    m_pListCtrl->DeleteAllRows();
    for (int i = 0; i < m_pList->GetCount(); ++i) {
        const CSecurityCode* item = m_pList->GetCode(i);
        m_pListCtrl->SetRowText(i, 0, item->GetName(), item->GetImage());
    }
    if (m_pList->GetCount() > 0) {
        const int saved = GetSavedSelection();
        m_pListCtrl->SelectRow(saved >= 0 && saved < m_pList->GetCount() ? saved : 0);
    }
}

CSecurityCode* CSecurityListWnd::GetSelectedItem() const
{
    if (!m_pListCtrl || !m_pList)
        return nullptr;
    const int row = m_pListCtrl->GetSingleSelectedRow();
    return row >= 0 ? m_pList->GetCode(row) : nullptr;
}

int CSecurityListWnd::SelectionLockState() const
{
    if (!m_pListCtrl || !m_pList)
        return 0;
    const QList<int> rows = m_pListCtrl->GetSelectedRows();
    const CSecurityCode* item = rows.isEmpty() ? nullptr : m_pList->GetCode(rows.first());
    if (!item || !item->IsStateKnown())
        return 0;
    return item->GetLockState() ? 1 : 2;
}

void CSecurityListWnd::UpdateSwitchButton()
{
    if (!m_pSwitch)
        return;
    const int state = SelectionLockState();
    m_pSwitch->setEnabled(state != 0);
    if (state == 0)
        return;
    m_pSwitch->setIcon(LoadAppIconByName(state == 1 ? QStringLiteral("IDI_SMALL_CODEDISABLE")
                                                    : QStringLiteral("IDI_SMALL_CODEENABLE")));
    m_pSwitch->setToolTip(UiLoadString(state == 1 ? 31865 : 31864));
}

void CSecurityListWnd::UpdateButtons()
{
    if (!m_pListCtrl || !m_pList)
        return;
    const int selected = m_pListCtrl->GetSelectedCount();
#ifndef ZORQ_HAVE_CODE_DIALOGS
    // Without the code dialogs there is nothing to switch or change with.
    if (m_pChange)
        m_pChange->setEnabled(false);
    if (m_pSwitch)
        m_pSwitch->setEnabled(false);
    return;
#endif
    if (selected == 0) {
        if (m_pChange)
            m_pChange->setEnabled(false);
        if (m_pSwitch)
            m_pSwitch->setEnabled(false);
    } else if (selected == 1) {
        const CSecurityCode* item = GetSelectedItem();
        if (m_pChange)
            m_pChange->setEnabled(item && item->CanModify());
        UpdateSwitchButton();
    } else {
        if (m_pSwitch)
            m_pSwitch->setEnabled(SelectionLockState() != 0);
        if (m_pChange)
            m_pChange->setEnabled(false);
    }
}

void CSecurityListWnd::EnableAll()
{
    for (QWidget* w : {static_cast<QWidget*>(m_pListCtrl), static_cast<QWidget*>(m_pChange),
                       static_cast<QWidget*>(m_pSwitch)})
        if (w)
            w->setEnabled(true);
    if (m_pChange)
        m_pChange->setIcon(LoadAppIconByName(QStringLiteral("IDI_SMALL_CODEMODIFY")));
    if (m_pSwitch)
        m_pSwitch->setIcon(LoadAppIconByName(QStringLiteral("IDI_SMALL_CODEENABLE")));
}

void CSecurityListWnd::DisableAll()
{
    if (m_pListCtrl) {
        m_pListCtrl->DeleteAllRows();
        m_pListCtrl->setEnabled(false);
    }
    if (m_pChange)
        m_pChange->setEnabled(false);
    if (m_pSwitch)
        m_pSwitch->setEnabled(false);
}

int CSecurityListWnd::GetSavedSelection() const { return GetIniProfileInt("Pellard", "Security", 0); }

void CSecurityListWnd::SaveSelection()
{
    if (m_pListCtrl && m_pListCtrl->GetSelectedCount() == 1)
        WriteIniProfileInt("Pellard", "Security", m_pListCtrl->GetSingleSelectedRow());
}

void CSecurityListWnd::Refresh(bool rebuild)
{
    const CSecurityCode* selected = GetSelectedItem();
    const QString name = selected ? selected->GetName() : QString();
    if (rebuild) {
        SetDocument(nullptr);
    } else if (m_pList) {
        m_pList->RemoveAll();
        SetDocument(m_pList.release());
    }
    if (!name.isEmpty() && m_pList && m_pListCtrl) {
        const int row = m_pList->IndexOfName(name);
        if (row >= 0) {
            m_pListCtrl->DeselectAll();
            m_pListCtrl->SelectRow(row);
            UpdateButtons();
        }
    }
}

void CSecurityListWnd::EnableCode()
{
    CSecurityCode* item = GetSelectedItem();
    if (!item || !m_pList)
        return;
#ifdef ZORQ_HAVE_CODE_DIALOGS
    for (;;) {
        CDlgSecurCode dlg(m_pOwner, item->GetFacility(), 0, 0, -1);
        if (dlg.DoModal() != IDOK)
            return;
        PhoneChangeResult r;
        {
            CWaitCursor wait;
            r = m_pList->SetLock(item, dlg.GetCode());
        }
        if (r.Refused() && r.result == 16) {
            UiMessageBoxId(31836);
            continue;
        }
        if (r.Done()) {
            UiMessageBoxId(31837);
        } else if (r.Unanswered()) {
            const int words = r.Landed() ? 31947 : r.Known() ? 31948 : 31949;
            UiMessageBox(UiFormatString(words, {item->GetName()}), MB_OK | MB_ICONEXCLAMATION);
        } else {
            UiMessageBoxId(31835);
        }
        UpdateButtons();
        return;
    }
#endif
}

void CSecurityListWnd::ModifyCode()
{
    CSecurityCode* item = GetSelectedItem();
    if (!item)
        return;
    if (!item->CanModify()) {
        UiMessageBoxId(31806);
        return;
    }
#ifdef ZORQ_HAVE_CODE_DIALOGS
    CDlgChangeSecurCode dlg(item->GetFacility(), item->GetMaxLength(), m_pOwner);
    dlg.DoModal();
#endif
}

// ---- rows dragged onto the buttons (the list holds the mouse meanwhile)

void CSecurityListWnd::OnBeginDrag()
{
    if (!m_pListCtrl || !GetSelectedItem())
        return;
    m_bDragging = true;
    m_pDropButton = nullptr;
    m_pListCtrl->viewport()->grabMouse(Qt::ClosedHandCursor);
}

void CSecurityListWnd::OnDragMove(const QPoint& globalPos)
{
    QAbstractButton* target = nullptr;
    for (QAbstractButton* b : {m_pChange, m_pSwitch})
        if (b && b->isVisible() && b->isEnabled() && b->rect().contains(b->mapFromGlobal(globalPos)))
            target = b;
    if (target != m_pDropButton)
        m_pListCtrl->viewport()->grabMouse(target ? Qt::DragCopyCursor : Qt::ClosedHandCursor);
    m_pDropButton = target;
}

void CSecurityListWnd::OnEndDrag()
{
    m_pListCtrl->viewport()->releaseMouse();
    m_bDragging = false;
    QAbstractButton* target = m_pDropButton;
    m_pDropButton = nullptr;
    if (target)
        emit droppedOn(target);
}

bool CSecurityListWnd::eventFilter(QObject* watched, QEvent* event)
{
    if (m_bDragging && event->type() == QEvent::MouseMove) {
        OnDragMove(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        return true;
    }
    if (m_bDragging && event->type() == QEvent::MouseButtonRelease) {
        OnEndDrag();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
