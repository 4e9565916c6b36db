// The modeless progress window shown over the screen while a long phone or
// database operation runs in the user-interface thread, the variant with a
// text line, and the connection-status window of a dialled call.
//
// While a progress window stands, its owner is disabled and the document
// holds back its new-message and status-report boxes (ProgressNotices);
// they are shown once the window is gone. Cancel only raises a flag: the
// operation tests IsCancelled between its items and ends the window itself.
#pragma once

#include "dialog.h"
#include "focuskeeper.h"

#include <QElapsedTimer>
#include <QPointer>

class QProgressBar;
class CDlgProgress;

// The progress-running flag and the notices held back meanwhile. The
// application's accessors forward here, so that the document and the
// interface components share one state.
struct ProgressNotices {
    static bool running;         // a progress window stands
    static bool smsPending;      // a new message came meanwhile
    static bool reportPending;   // a status report came meanwhile
    static bool smsBoxShown;     // the new-message box is on screen
    static bool reportBoxShown;  // the status-report box is on screen

    // Shows the held-back notices, the new-message one first, each once.
    // Nothing while a progress window stands (its end shows them), and a
    // notice whose box is already on screen stays pending.
    static void ShowHeldBack();
    // Queues ShowHeldBack for when the current event has been handled.
    static void PostHeldBack();
    // The progress windows that stand; `running` is set while there is one,
    // so the end of one window does not release the notices while another
    // (the one it ran inside) still stands.
    static void Stand(CDlgProgress* dlg);
    static void Leave(CDlgProgress* dlg);
    // While a notice box stands, a progress window that comes up (the
    // reading of a message that arrived meanwhile) waits hidden: the box and
    // a progress window never stand together. Once the box is answered the
    // windows that still stand are shown.
    static bool NoticeBoxStands() { return smsBoxShown || reportBoxShown; }
    static void ShowWaitingWindows();

    // The strings of the two notices.
    static constexpr int kNewMessageString = 31313;
    static constexpr int kReportString = 31743;
};

class CDlgProgress : public CDialog {
    Q_OBJECT
public:
    // `owner` is disabled while the window stands (may be null).
    CDlgProgress(QWidget* owner, int templateId);
    ~CDlgProgress() override;

    void SetTitleText(const QString& title) { m_strTitle = title; }
    // Top-left screen position of the window; without it, it is centred.
    void SetPosition(int x, int y);
    void InitCounters(int x, int y) { SetPosition(x, y); }

    // Creates and shows the window from the template; false (nothing done)
    // when it already stands or the template cannot be loaded. While a
    // notice box stands the window waits hidden (its owner greyed all the
    // same) and shows once the box is answered.
    bool Create();
    bool IsWindowCreated() const { return m_bWindow; }
    // Shows the window that waited hidden for a notice box, if it still stands.
    void ShowIfWaiting();
    bool IsWaitingHidden() const { return m_bWaitingHidden; }

    void SetRange(int n);
    void SetPos(int n);
    void StepIt() { SetPos(m_nPos + 1); }
    int GetRange() const { return m_nRange; }
    int GetPos() const { return m_nPos; }

    // Title from the language bundle, window, range (at least 2), position.
    void Start(int titleStringId, int range, int position);
    // Success: the bar shows full, then the window goes once it has stood
    // ClosePauseMs in all (and shown the full bar a fifth of that at least).
    void Finish(bool success);
    // How long a finished window still stands so that its full bar is seen:
    // what is left of `pauseMs` since the window was shown, but never less
    // than a fifth of it. An operation the user watched for seconds is not
    // held up by a further fixed pause; a short one does not flicker.
    int RemainingPause(int pauseMs) const;
    // What is left of `pauseMs` once `stood` ms have passed, never less than
    // a fifth of it (0 for no pause).
    static int PauseLeft(int pauseMs, qint64 stood);
    // The pause Finish keeps (500 ms; tests that click through many
    // operations set it to 0).
    static inline int ClosePauseMs = 500;
    // Waits `ms` with the event loop running: the windows repaint, this
    // one's Cancel stays live, other user input is held back.
    void Pause(int ms) const;
    // Ends the window (its end handling runs once).
    void Close();

    // True once the user asked to cancel; the window stays until the
    // operation ends it.
    bool IsCancelled() const { return m_bCancelled; }
    // Every standing window is cancelled as its Cancel button cancels it
    // (the program is asked to end): each operation finishes the item under
    // way and starts no other. How many were cancelled.
    static int CancelStanding();

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override {}
    void OnCancel() override;

    QWidget* Owner() const { return m_pOwner; }
    // A standing progress window has disabled `w` or a widget around it,
    // within `w`'s window or any window that `w`'s window belongs to (the
    // window is disabled for the time of an operation).
    static bool DisablesOwnerOf(const QWidget* w);
    bool IsCentred() const { return m_bCentred; }
    const QString& TitleText() const { return m_strTitle; }

protected:
    // Runs when the window ends, whatever the path.
    virtual void OnDestroyWindow();
    void EnableOwner();
    // Shows the window and waits until it has painted.
    void ShowNow();
    // The owner's top-level window becomes this window's transient parent.
    void SetTransientParent();
    // The owner's window paints at once where this window, now hidden, stood.
    void RepaintUnder();

    QProgressBar* m_pBar = nullptr;

private:
    QWidget* m_pOwner;
    QString m_strTitle;
    int m_x = 0, m_y = 0;
    int m_nPos = 0;
    int m_nRange = 100;
    bool m_bCentred = true;
    bool m_bWindow = false;
    bool m_bCancelled = false;
    bool m_bOwnerDisabled = false;
    bool m_bWaitingHidden = false;  // created while a notice box stood
    QElapsedTimer m_shown;
    CFocusKeeper m_focus;  // where the focus was when the owner was disabled
};

// The progress window with one line of text (control 1109).
class CDlgProgressText : public CDlgProgress {
    Q_OBJECT
public:
    CDlgProgressText(QWidget* owner, int templateId = 179) : CDlgProgress(owner, templateId) {}

    // The text line becomes string 31751, 31766 or 31767 with the text.
    void ShowText1(const QString& text) { ShowText(31751, text); }
    void ShowText2(const QString& text) { ShowText(31766, text); }
    void ShowText3(const QString& text) { ShowText(31767, text); }
    // The phone did not confirm the send to `text` (31921).
    void ShowTextUnconfirmed(const QString& text) { ShowText(31921, text); }
    void SetText(const QString& text);
    QString Text() const { return m_strText; }

    void DoDataExchange(CDataExchange* pDX) override;

private:
    void ShowText(int stringId, const QString& text);
    QString m_strText;
};

// The state of a voice call dialled from the phonebook (template 306).
class CDlgConnectionStatus : public CDlgProgress {
    Q_OBJECT
public:
    CDlgConnectionStatus(const QString& name, QWidget* owner);

    // Calling (31866), no phonebook read yet (31492), connected (31867),
    // ended (31868), not answered (31869): each gives the owner back.
    void ShowStatus1() { ShowStatus(31866, true); }
    void ShowStatus2() { ShowStatus(31492, false); }
    void ShowStatus3() { ShowStatus(31867, true); }
    void ShowStatus4() { ShowStatus(31868, true); }
    void ShowStatus5() { ShowStatus(31869, true); }
    QString StatusText() const { return m_strStatus; }

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    // Hangs the call up, then gives the owner back.
    void OnCancel() override;

private:
    void ShowStatus(int stringId, bool withName);
    QString m_strName;
    QString m_strStatus;
};
