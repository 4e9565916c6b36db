// Dialogs built from the language bundle's templates.
//
// A CDialog is constructed with a template number; the template
// ("dialogs/<id>.ui" in the current resource module) is loaded with QUiLoader
// when the dialog is first shown or asked for a control. Controls are found
// by their control id through the object name "id" + number. Values move
// between members and controls in DoDataExchange, in both directions
// (UpdateData). Buttons id1 (OK) and id2 (Cancel) end the dialog through
// OnOK / OnCancel; any other button reports its id through OnCommand.
#pragma once

#include <functional>

#include <QDialog>
#include <QMap>
#include <QPointer>
#include <QPushButton>
#include <QRect>
#include <QString>

class QAbstractButton;
class QIcon;
class QStyle;

// Dialog results and button ids of the system.
enum {
    IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7,
    IDYESTOALL = 1078,
};

// The picture of the button that gives answer `id` (IDOK, IDCANCEL, IDYES,
// IDNO, IDABORT, IDRETRY, IDIGNORE): the style's picture for that answer;
// null for an answer the style has none for, and for any other id. Every
// button that gives one of these answers carries it, in the message boxes
// and the dialogs alike, so that an answer looks the same wherever it is
// asked.
QIcon DialogButtonPicture(int id, const QStyle* style);

// Positions given in dialog units map to pixels with this fixed ratio.
QRect DluToPixels(const QRect& dlu);

class CDialog;

class CDataExchange {
public:
    CDataExchange(CDialog* dlg, bool save) : m_pDlgWnd(dlg), m_bSaveAndValidate(save) {}
    CDialog* m_pDlgWnd;
    bool m_bSaveAndValidate;  // true: controls -> members
    bool m_bFailed = false;   // a control was missing or held a bad value
    int m_idLastControl = 0;
};

class CDialog : public QDialog {
    Q_OBJECT
public:
    explicit CDialog(int templateId, QWidget* parent = nullptr);
    ~CDialog() override;

    int TemplateId() const { return templateId_; }

    // Loads the template (once). False when the resource module has no such
    // template; the dialog then stays empty.
    bool CreateFromTemplate();
    // Replaces the controls by those of another template while the dialog
    // stays (a modal run goes on with the new form). False when the new
    // template cannot be loaded; the dialog is then empty.
    bool ReplaceTemplate(int templateId);
    // Runs the dialog modally: template, OnInitDialog, then the modal loop.
    // Returns the value given to EndDialog (IDCANCEL when closed otherwise).
    int DoModal();
    void EndDialog(int result);

    virtual bool OnInitDialog();
    virtual void DoDataExchange(CDataExchange*) {}
    // save = true: controls to members; false: members to controls.
    bool UpdateData(bool save = true);
    virtual void OnOK();
    virtual void OnCancel();
    // A button other than OK and Cancel was pressed.
    virtual void OnCommand(int) {}
    virtual void OnTimer(int) {}

    QWidget* GetDlgItem(int id) const;
    void SetDlgItemText(int id, const QString& text);
    QString GetDlgItemText(int id) const;
    void CenterWindow();

    // Timers by id; a second SetTimer with the same id restarts it.
    void SetTimer(int id, int milliseconds);
    void KillTimer(int id);
    bool HasTimer(int id) const { return timers_.contains(id); }
    // The button the template names as the one Enter presses; null when it
    // names none.
    QPushButton* DefaultButton() const { return defaultButton_.data(); }
    void setVisible(bool visible) override;

protected:
    void reject() override;  // Escape and the close box
    bool eventFilter(QObject* watched, QEvent* event) override;
    void accept() override;
    void timerEvent(QTimerEvent* e) override;

private:
    int templateId_;
    bool created_ = false;
    QWidget* form_ = nullptr;
    QPointer<QPushButton> defaultButton_;
    QMap<int, int> timers_;  // our id -> Qt timer id
};

// Data exchange with one control. A missing control marks the exchange
// failed and leaves the member as it was.
void DDX_Text(CDataExchange* pDX, int id, QString& value);
void DDX_Text(CDataExchange* pDX, int id, int& value);
void DDX_Check(CDataExchange* pDX, int id, int& value);

template <class T>
void DDX_Control(CDataExchange* pDX, int id, T*& control)
{
    pDX->m_idLastControl = id;
    T* c = qobject_cast<T*>(pDX->m_pDlgWnd->GetDlgItem(id));
    if (!c)
        pDX->m_bFailed = true;
    control = c;
}

// Deletes `window` once no dialog of its own is open and every dialog run
// that stood when this was called has returned, whoever owns that dialog:
// at once (deferred to the loop, as deleteLater) when none stands, else
// after the last. A dialog owned by the window goes with it, and one still
// running its modal loop would be deleted under that loop; a box owned by
// the main window that the window's own code runs would return into a
// deleted window. `busy`, when given, holds the deletion back while it
// answers true (an operation whose code may be the window's is under way).
void DeleteWindowWhenNoDialogRuns(QWidget* window, std::function<bool()> busy = {});
