// The program's own information message: one text and an OK button
// (template 142: button 1, multi-line text 166).
#pragma once

#include "dialog.h"

#include <QString>

class QPushButton;

class CDlgMessageBox : public CDialog {
    Q_OBJECT
public:
    explicit CDlgMessageBox(QWidget* parent = nullptr);

    // Shortens paths inside the program folder and moves short texts one
    // line down.
    void ComposeText(const QString& caption, const QString& text);
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;

    QPushButton* m_btnOK = nullptr;
    QString m_strFolder;
    QString m_strText;
    QString m_strCaption;
};
