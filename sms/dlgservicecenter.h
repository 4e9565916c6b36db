// The panel that lists the service-centre profiles (embedded by the set-up
// screen and the send dialog) and the dialog that edits one profile.
#pragma once

#include "objectlistwnd.h"
#include "servicecenter.h"

// The list panel of the profiles: one column titled string 31731; the
// remembered selection is the profile key Pellard/Model.
class CServiceCenterListWnd : public CObjectListWnd {
    Q_OBJECT
public:
    explicit CServiceCenterListWnd(QWidget* owner);

    void SetColumns(bool) override;
    int GetSavedSelection() override;
    void SaveSelection() override;
    // The owner opens the profile dialog itself.
    void Modify() override {}

    CServiceCenterList* GetList() const { return static_cast<CServiceCenterList*>(GetDocument()); }
    CServiceCenter* GetSelectedProfile() const { return static_cast<CServiceCenter*>(GetSelectedItem()); }
    // Selects the remembered profile (or the first with a number, or row 0).
    void SelectSavedProfile();
    // Runs the profile dialog for a new profile, or for the selected one;
    // the list and the rows follow. True on OK.
    bool NewProfile();
    bool ModifySelectedProfile();
    // Removes the selected PC profiles (asking for each) with their files.
    void TrashSelectedProfiles() { TrashSelection(); }
};

// Dialog 295: a profile's name, number, text format and validity period.
class CDlgServiceCenter : public CDlgObjectItem {
    Q_OBJECT
public:
    // profile null: a new PC profile, owned by the dialog until the list
    // takes it. list may be null (nothing is added or checked).
    CDlgServiceCenter(QWidget* parent, CServiceCenter* profile, CServiceCenterList* list);
    ~CDlgServiceCenter() override;

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    void OnCommand(int id) override;
    CObjectListItem* GetItem() override { return m_pProfile; }
    CServiceCenter* GetProfile() const { return m_pProfile; }

    QString m_strName;
    QString m_strNumber;

private:
    CServiceCenter* m_pProfile = nullptr;
    CServiceCenterList* m_pList = nullptr;
    bool m_bModify = false;
    bool m_bOwnsProfile = false;
};
