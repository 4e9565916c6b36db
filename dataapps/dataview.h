// The data-applications screen: the registered data applications in a list
// panel with New, Modify, Trash and Run; running one hands the phone's port
// to it until it ends.
#pragma once

#include "dataobj.h"
#include "mainview.h"
#include "objectlistwnd.h"

#include <memory>

class CDataObjListWnd : public CObjectListWnd {
    Q_OBJECT
public:
    explicit CDataObjListWnd(QWidget* owner);

    void InsertItem(int row, CEntryListCtrl* list, CObjectListItem* item) override;
    void SetColumns(bool scrollBar) override;
    void SetDocument(CQXObjectList* list) override;
    void AddToolTips() override;
    int GetSavedSelection() override;
    void SaveSelection() override;
    void UpdateButtons() override;
    // A double click runs the entry instead.
    void Modify() override {}
    // Rows dropped on Run run the entry, as on Modify and Trash.
    QList<QPushButton*> DropButtons() const override;

    QPushButton* GetRunButton() const { return m_btnRun; }
    CDataObj* GetSelectedDataObj() const;
    // Whether Run may run the selection: exactly one entry, whose program
    // is available (none while another data application runs).
    bool CanRunSelected() const;
    // Runs the single selected entry; true when its program started.
    bool RunSelected();

private:
    QPushButton* m_btnRun;
};

class CData : public CMainView {
    Q_OBJECT
public:
    explicit CData(QWidget* parent = nullptr);
    ~CData() override;

    void OnInitialUpdate() override;
    std::intptr_t DefWindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void OnCommand(int id) override;
    void OnUpdateMSParam(int flag) override;

    void LoadDataObjList();
    void OnBNew();
    void OnBModify();
    void OnBTrash();
    void OnBRun();

    CDataObjListWnd* GetPanel() const { return m_pPanel.get(); }
    CDataObjList& GetList() { return m_list; }

private:
    CDataObjList m_list{0};
    std::unique_ptr<CDataObjListWnd> m_pPanel;
};

// Enters the screen into the frame's screen registry.
void RegisterDataScreen();
