// The panel of the security-code screen: the phone's facilities in a list,
// with the change-code and switch-lock buttons above it.
#pragma once

#include "securitylist.h"

#include <QObject>

#include <memory>

class CEntryListCtrl;
class QAbstractButton;
class QWidget;

class CSecurityListWnd : public QObject {
    Q_OBJECT
public:
    // `owner` is the screen: it receives the engine's facility messages and
    // hands them to OnLockFacility / OnPasswordFacility.
    explicit CSecurityListWnd(QWidget* owner);
    ~CSecurityListWnd() override;

    // Takes over the screen's controls: list, change-code and switch-lock
    // buttons (a plain widget in place of the list is replaced by the list).
    void Attach(QWidget* list, QAbstractButton* changeCode, QAbstractButton* switchLock);

    // Without a list, builds a new one from the phone; a failed read leaves
    // the panel without a list, emptied and disabled.
    void SetDocument(CSecurityList* list);
    CSecurityList* GetDocument() const { return m_pList.get(); }
    // After the phone's parameters changed: rebuilt from the phone, or
    // emptied; the selected facility stays selected when it is still there.
    void Refresh(bool rebuild);

    void OnLockFacility(int facility);
    void OnPasswordFacility(int facility, int maxLength);

    // Command 1093: the code of the selected facility.
    void ModifyCode();
    // Command 1092: switches the selected facility's lock.
    void EnableCode();

    void FillList();
    void UpdateButtons();
    void EnableAll();
    void DisableAll();
    void SaveSelection();
    int GetSavedSelection() const;
    CSecurityCode* GetSelectedItem() const;
    // 0 none or unknown, 1 locked, 2 unlocked (the first selected row).
    int SelectionLockState() const;

    // Rows dragged from the list: dropped on the change-code or switch-lock
    // button they run that button's command (droppedOn).
    bool IsDragging() const { return m_bDragging; }
    QAbstractButton* DropButton() const { return m_pDropButton; }

    CEntryListCtrl* GetListCtrl() const { return m_pListCtrl; }
    QAbstractButton* GetChangeButton() const { return m_pChange; }
    QAbstractButton* GetSwitchButton() const { return m_pSwitch; }

signals:
    void droppedOn(QAbstractButton* button);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateSwitchButton();
    void OnBeginDrag();
    void OnDragMove(const QPoint& globalPos);
    void OnEndDrag();

    QWidget* m_pOwner;
    std::unique_ptr<CSecurityList> m_pList;
    CEntryListCtrl* m_pListCtrl = nullptr;
    QAbstractButton* m_pChange = nullptr;
    QAbstractButton* m_pSwitch = nullptr;
    bool m_bDragging = false;
    QAbstractButton* m_pDropButton = nullptr;
};
