// The code prompt of the engine's set-up: the code dialog when the phone
// lets codes be typed in the program, otherwise a message asking the user
// to act on the phone.
#include "zorqapp.h"

#include "debugtrace.h"
#include "dialog.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QWidget>

namespace {

// The phone needs a moment after a SIM code before it answers again. The
// loop keeps running (without user input) meanwhile.
void PauseAfterCode(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents,
                                            static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        else
            break;
    }
}

}  // namespace

int CZorqMMIApp::RunSecurCodeDialog(QWidget*, int, int, int) { return IDCANCEL; }

int CZorqMMIApp::WaitSecurityCode(int kind, int value)
{
    // The set-up that asks is under way: no idle work may slip in between
    // its requests while the dialog stands.
    EnterWorkerRequest();
    int answer = IDCANCEL;
    if (IsCodeEntrySupported()) {
        const int newCodeForm = (kind == 4 || kind == 5) ? 1 : 0;
        if (m_pSplashWnd && m_pSplashWnd->isVisible())
            m_pSplashWnd->hide();
        answer = RunSecurCodeDialog(m_pMainWnd, kind, newCodeForm, value);
        WriteDebugInt("CZorqMMIApp::WaitSecurityCode -> the code dialog answered ", answer);
        if (answer == IDOK && (kind == 2 || kind == 0 || kind == 4))
            PauseAfterCode(m_nCodePauseMs);
    } else {
        // Kind 0 (phone code) has no message of its own: the title of the
        // phone-code dialog tells the user what the phone waits for.
        const int id = kind == 4 ? 31439 : kind == 2 ? 31431 : 31779;
        answer = ShowMessageBox(id, MB_OKCANCEL);
    }
    LeaveWorkerRequest();
    return answer;
}
