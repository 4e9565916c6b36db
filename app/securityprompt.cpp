// The code prompt of the engine's set-up: the code dialog when the phone
// lets codes be typed in the program, otherwise a message asking the user
// to act on the phone. Also the PIN2 check before the SIM's fixed-dialling
// phonebook is written: asked once per connection.
#include "zorqapp.h"

#include "debugtrace.h"
#include "mtr_setup.h"
#include "splashwnd.h"
#include "strutil.h"
#include "dialog.h"
#include "zorqmmidoc.h"

#include <QApplication>
#include <QCoreApplication>
#include <QWidget>

int CZorqMMIApp::RunSecurCodeDialog(QWidget*, int, int, int) { return IDCANCEL; }

int CZorqMMIApp::WaitSecurityCode(int kind, int value)
{
    // The set-up that asks is under way: no idle work may slip in between
    // its requests while the dialog stands.
    EnterWorkerRequest();
    int answer = IDCANCEL;
    if (IsCodeEntrySupported()) {
        const int newCodeForm = (kind == 4 || kind == 5) ? 1 : 0;
        if (m_pSplashWnd) {
            CSplashWnd::HideSplash();
            m_pSplashWnd = nullptr;
        }
        answer = RunSecurCodeDialog(m_pMainWnd, kind, newCodeForm, value);
        WriteDebugInt("CZorqMMIApp::WaitSecurityCode -> the code dialog answered ", answer);
        // The phone needs a moment after a SIM code before it answers
        // again. The loop keeps running (without user input) meanwhile.
        if (answer == IDOK && (kind == 2 || kind == 0 || kind == 4))
            PumpMessagesFor(m_nCodePauseMs, false);
    } else {
        // Kind 0 (phone code) has no message of its own: the title of the
        // phone-code dialog tells the user what the phone waits for.
        const int id = kind == 4 ? 31439 : kind == 2 ? 31431 : 31779;
        answer = ShowMessageBox(id, MB_OKCANCEL);
    }
    LeaveWorkerRequest();
    return answer;
}

bool CZorqMMIDoc::VerifyPin2Code()
{
    // Code kinds are the phone's +CPIN states.
    constexpr int kReady = 1, kSimPin2 = 3, kSimPuk2 = 5;
    int state = kReady;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const MTR_RESULT r = mtr_GEN_req_pin_status(&state);
    QApplication::restoreOverrideCursor();
    WriteDebugInt("CZorqMMIDoc::VerifyPin2Code -> Password returned = ", state);
    if (r != MTR_DONE)
        return false;
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    if (IsCodeEntrySupported()) {
        if (state == kReady && m_bPin2Verified)
            return true;
        // A ready phone is asked for PIN2; any other wait (PIN2, PUK2 or
        // another code) is asked for as the phone says.
        const int kind = state == kReady ? kSimPin2 : state;
        if (!app || app->WaitSecurityCode(kind, -1) != IDOK) {
            ClearPin2Verified();
            return false;
        }
        if (kind == kSimPin2 || kind == kSimPuk2)
            SetPin2Verified();
        return true;
    }
    // Codes cannot be typed here: the user is told to give them on the phone.
    if (state == kSimPin2 || state == kSimPuk2) {
        if (app)
            app->ShowMessageBox(state == kSimPin2 ? 31433 : 31440, MB_OK);
        return false;
    }
    return true;
}
