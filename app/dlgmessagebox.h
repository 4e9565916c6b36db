// The program's own information message: one text and an OK button
// (template 142: button 1, multi-line text 166).
#pragma once

#include "dialog.h"

#include <QIcon>
#include <QString>

class QPushButton;
class QStyle;

// The picture on a message box's button that answers `id` (IDOK, IDCANCEL,
// IDYES, IDNO, IDABORT, IDRETRY, IDIGNORE): the style's picture for that
// button, else the program's own. Every box carries it, the program's own
// notice and the questions alike, whether or not the desktop puts pictures
// on dialog buttons.
QIcon MessageButtonPicture(int id, const QStyle* style);

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

// The program's information box left standing over `owner`: the caller goes
// on and the event loop runs as usual while it stands (a dialog that waits
// for the phone by itself goes on looking). It goes with its OK, or with
// its owner. Without a running program or its template the text is told as
// an ordinary box, waited for, and null returned.
CDlgMessageBox* ShowNoticeBox(QWidget* owner, const QString& text);
