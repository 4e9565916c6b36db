// The drag-and-drop number settings: which numbers of a dropped card become
// entries (home, work, cell) and the one-character suffix each such entry's
// name receives.
#pragma once

#include "dialog.h"

#include <QString>

class CDlgDragAndDrop : public CDialog {
    Q_OBJECT
public:
    explicit CDlgDragAndDrop(QWidget* parent = nullptr);

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;

    int m_bHome = 1, m_bWork = 1, m_bCell = 1;
    QString m_strHomeExt, m_strWorkExt, m_strCellExt;
};
