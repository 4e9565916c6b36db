// The About box: the product name with the version and edition of the
// version file.
#pragma once

#include "dialog.h"

class CDlgAbout : public CDialog {
    Q_OBJECT
public:
    explicit CDlgAbout(QWidget* parent = nullptr);
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

    QString m_strVersionText;  // control 1008
    QString m_strEditionText;  // control 1007
    QString m_strProductName;  // control 1135
};

// Runs the About box (the frame's about command).
void RunAboutBox(QWidget* parent);
