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

// The width of a box that tells `text` under the window title `title`: the
// text on lines of at most about 460 pixels (the longest word whole), and
// room in the title bar for the title beside the window's own buttons. A
// box with a kind's symbol is wider by the symbol's column. The program's
// notice (from the text before it shortens the program folder) and the
// desktop's box are both given this width, so a notice is as wide
// whichever shows it.
int NoticeWidth(const QWidget* box, const QString& title, const QString& text, bool withSymbol);
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
    QString m_strGivenText;  // as given, for the width
};

// The program's information box left standing over `owner`: the caller goes
// on and the event loop runs as usual while it stands (a dialog that waits
// for the phone by itself goes on looking). It goes with its OK, or with
// its owner. Without a running program or its template the text is told as
// an ordinary box, waited for, and null returned.
CDlgMessageBox* ShowNoticeBox(QWidget* owner, const QString& text);
