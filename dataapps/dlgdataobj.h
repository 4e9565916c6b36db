// Dialog 323: creates a data-application entry or modifies one, with a
// browse button for the program.
#pragma once

#include "dataobj.h"
#include "objectlistwnd.h"

#include <functional>

class CDlgDataObj : public CDlgObjectItem {
    Q_OBJECT
public:
    // entry null: a new entry, owned by the dialog until the list takes it.
    CDlgDataObj(QWidget* parent, CDataObj* entry, CDataObjList* list);
    ~CDlgDataObj() override;

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    void OnCancel() override;
    void OnCommand(int id) override;
    CObjectListItem* GetItem() override { return m_pEntry; }

    void OnBrowse();
    // Stands in for the file-open dialog (tests): returns the chosen path or
    // an empty text for Cancel.
    static std::function<QString(QWidget*)> s_browseHook;

    QString m_strName;
    QString m_strProgram;
    int m_bDisplayHelp = 0;

private:
    void MoveCaretToEnd();
    bool m_bNew = false;
    bool m_bOwnsEntry = false;  // a new entry the list has not taken
    CDataObj* m_pEntry = nullptr;
    CDataObjList* m_pList = nullptr;
};
