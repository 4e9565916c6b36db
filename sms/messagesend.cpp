// Sending a message to its recipients, block by block when it is long, and
// storing it in the phone. Every engine request of a send runs on a worker
// thread while the user-interface thread keeps the engine's tick going and
// pumps window messages, so that the windows stay alive during the seconds
// a send takes.
#include "message.h"

#include "debugtrace.h"
#include "dlgprogress.h"
#include "krn.h"
#include "mtr_frame.h"
#include "mtr_poll.h"
#include "mtr_sms.h"
#include "pccharset.h"
#include "phonechange.h"
#include "serial.h"
#include "profile.h"
#include "strutil.h"
#include "zorqapp.h"

#include <QTimer>

#include <thread>

namespace {

int g_nResultPauseMs = 1000;

// The result stays readable for a moment before the next recipient. The
// window is kept alive meanwhile, or the new text would never be drawn.
void PauseAfterResult()
{
    // The send counts as a request under way: the screens take no input
    // meanwhile, the progress window's Cancel does.
    PumpMessagesFor(g_nResultPauseMs, true);
}

// Who a recipient is in the progress text: its name, else its number.
QString ShownName(const CAddress& a)
{
    return PcToQString(a.GetName().empty() ? a.GetDialNumber() : a.GetName());
}

QString LoadText(int id)
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    return app ? app->LoadString(id) : QString();
}

}  // namespace

void CMessage::SetResultPause(int ms) { g_nResultPauseMs = ms; }

// ---- One engine request on the worker thread ---------------------------------------------

int CMessage::RunOnWorker(const std::string& number, const std::string* block, uint16_t total, uint16_t seq,
                          int noReport)
{
    // While the worker owns the engine this thread must neither read the
    // port nor start idle work or another request: the worker counts as a
    // waiting request, and engine callbacks wait until it is done.
    const int pollState = gv_bCallMtrPoll;
    gv_bCallMtrPoll = 0;
    CZorqMMIApp::EnterWorkerRequest();
    CZorqMMIApp::SetEngineOnWorker(true);
    m_Send.done.store(0);
    m_Send.result = static_cast<int16_t>(MTR_FAILED);
    m_Send.unanswered = false;
    // Only a command that went out to a phone still there may have been
    // carried out: one refused for a link already down sent nothing, and a
    // port that hung up under it (the cable pulled) took it nowhere.
    uint64_t in0 = 0, out0 = 0;
    serial_byte_counts(&in0, &out0);
    std::thread worker([this, &number, block, total, seq, noReport, out0] {
        MTR_RESULT r;
        if (block)
            r = mtr_SMS_send_part(number.c_str(), block->c_str(), this, total, seq, noReport);
        else
            r = mtr_SMS_send(number.c_str(), this);
        m_Send.result = static_cast<int16_t>(r);
        m_Send.unanswered = mtr_failed_unanswered(r);
        if (m_Send.unanswered) {
            uint64_t in1 = 0, out1 = 0;
            serial_byte_counts(&in1, &out1);
            m_Send.unanswered = out1 != out0 && !serial_hung_up();
        }
        m_Send.done.store(1, std::memory_order_release);
        WakeMessagePump();
    });
    // This thread runs its event loop until the worker is done, sleeping
    // while nothing is due; it keeps the engine's tick going meanwhile,
    // with or without the program's loop watching it.
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [] { RearmTickTimer(); });
    tick.start(10);
    PumpMessagesUntil([this] { return m_Send.done.load(std::memory_order_acquire) != 0; }, -1, true);
    worker.join();
    m_Send.done.store(0);
    CZorqMMIApp::SetEngineOnWorker(false);
    CZorqMMIApp::LeaveWorkerRequest();
    // What the phone reported meanwhile is handled here, on this thread.
    gv_bCallMtrPoll = pollState;
    if (pollState)
        mtr_poll();
    return m_Send.result;
}

// ---- Send ---------------------------------------------------------------------------------

int CMessage::Send()
{
    m_nStatus = 2;
    m_Send.partsSent = m_Send.partsTotal = 0;
    AdaptCoding();
    if (m_Addresses.IsEmpty())
        return -1;
    // No idle work may slip in between the requests of a send (the window
    // is pumped between them).
    CZorqMMIApp::EnterWorkerRequest();
    const int result = SendToRecipients();
    CZorqMMIApp::LeaveWorkerRequest();
    return result;
}

int CMessage::SendToRecipients()
{
    int result = 1;
    auto cancelled = [this] { return m_Send.dlg && m_Send.dlg->IsCancelled(); };
    for (int i = 0; i < m_Addresses.GetCount(); ++i) {
        CAddress* a = m_Addresses.GetAt(i);
        // A cancelled send keeps the recipients not served yet: they stay
        // in the message, unsent, for the next attempt.
        if (cancelled()) {
            result = -1;
            break;
        }
        const QString shown = ShownName(*a);
        const std::string number = a->GetDialNumber();
        if (m_Send.dlg)
            m_Send.dlg->ShowText1(shown);
        bool failed = false;
        // Failed for want of an answer: the phone may have sent it.
        bool unconfirmed = false;
        // What one request of the send came to. After a silence the phone
        // is looked for again (one lost answer need not lose it for the
        // next recipient or a send asked for again); what it did cannot be
        // asked, so the send stays unconfirmed.
        auto decide = [&](const char* what, int r) {
            // Unanswered only when the command went out to a phone still
            // there: one that reached no phone sent nothing.
            const MTR_RESULT result = m_Send.unanswered ? MTR_RESULT::Unanswered() : MTR_RESULT(r);
            const PhoneChangeResult change = DecidePhoneChange(what, result, nullptr);
            failed = !change.Done();
            unconfirmed = change.Unanswered();
        };
        if (!IsLong()) {
            WriteDebug("CMessage::Send() -> Send message ", m_strText);
            WriteDebug("CMessage::Send() -> to phone number ", number);
            const int r = RunOnWorker(number, nullptr, 0, 0, 0);
            if (m_Send.dlg)
                m_Send.dlg->StepIt();
            decide("a message sent", r);
            if (unconfirmed)
                WriteDebug("CMessage::Send() -> The phone did not answer: the message may have been sent");
            else if (failed)
                WriteDebug("CMessage::Send() -> The message could not be sent");
        } else {
            m_nTextPos = 0;
            mtr_SMS_set_msg_parameters_of(this);
            const int n = ComputeNbBlocks();
            const uint8_t ref = static_cast<uint8_t>(GetIniProfileInt("SMSMO", "ConcRef", 0));
            m_nConcatRef = ref;
            int partsOut = 0;
            // A status report, when asked for, comes for the last block
            // only: every block before it goes with noReport set.
            auto sendNextBlock = [&](int s, int noReport) {
                const std::string block = GetNextBlock();
                if (!block.empty()) {
                    WriteDebug("CMessage::Send() -> Send block ", block);
                    WriteDebug("CMessage::Send() -> to phone number ", number);
                    decide("a block of a long message sent",
                           RunOnWorker(number, &block, static_cast<uint16_t>(n), static_cast<uint16_t>(s), noReport));
                    if (!failed)
                        ++partsOut;
                }
                if (m_Send.dlg)
                    m_Send.dlg->StepIt();
            };
            for (int s = 1; s < n && !failed; ++s) {
                if (cancelled())
                    break;
                sendNextBlock(s, 1);
            }
            WriteIniProfileInt("SMSMO", "ConcRef", static_cast<uint8_t>(ref + 1));
            if (cancelled()) {
                result = -1;
                break;
            }
            if (!failed) {
                // In text mode the parameters travel apart from the blocks:
                // the last block's may ask for the status report.
                if (mtr_SMS_mode() == 1)
                    mtr_SMS_set_msg_parameters(this, 0);
                sendNextBlock(n, 0);
            }
            if (failed) {
                WriteDebug("CMessage::Send() -> One or more blocks could not be sent.");
                // The recipient has part of the message: the user is told
                // how much, the recipient stays unsent.
                if (partsOut > 0) {
                    m_Send.partsSent = partsOut;
                    m_Send.partsTotal = n;
                }
            }
        }
        a->SetUnconfirmed(unconfirmed);
        if (failed) {
            if (m_Send.dlg) {
                if (unconfirmed)
                    m_Send.dlg->ShowTextUnconfirmed(shown);
                else
                    m_Send.dlg->ShowText3(shown);
            }
            PauseAfterResult();
            result = -1;
        } else {
            if (m_Send.dlg)
                m_Send.dlg->ShowText2(shown);
            PauseAfterResult();
            a->SetSent(true);
            m_nStatus = 3;
        }
    }
    return result;
}

bool CMessage::Store()
{
    AdaptCoding();
    uint8_t index = 0;
    if (!mtr_SMS_store_in_mem(this, &index))
        return false;
    m_nLocation = index;
    return true;
}

// ---- Progress wrappers ----------------------------------------------------------------------

int CMessage::RunProgress(QWidget* parent, int templateId, int titleId, int range, int x, int y)
{
    m_Send.parent = parent;
    m_Send.dlg = new CDlgProgressText(parent, templateId);
    if (x != -1 || y != -1)
        m_Send.dlg->InitCounters(x, y);
    m_Send.dlg->Start(titleId, range, 2);
    if (x == -1 && y == -1) {
        m_Send.dlg->raise();
        m_Send.dlg->activateWindow();
    }
    return Send();
}

void CMessage::EndProgress(bool success)
{
    if (!m_Send.dlg)
        return;
    m_Send.dlg->Finish(success);
    delete m_Send.dlg;
    m_Send.dlg = nullptr;
}

int CMessage::SendWithProgress(QWidget* parent, int templateId, int titleId, int range, int x, int y)
{
    const int result = RunProgress(parent, templateId, titleId, range, x, y);
    EndProgress(result == 1);
    return result;
}

int CMessage::SendWithProgressEnd(QWidget* parent, int templateId, int titleId, int textId, int range, int x,
                                  int y)
{
    const int result = RunProgress(parent, templateId, titleId, range, x, y);
    if (m_Send.dlg) {
        m_Send.dlg->SetPos(range - 1);
        m_Send.dlg->SetText(LoadText(textId));
    }
    EndProgress(result == 1);
    return result;
}

int CMessage::SendAndStore(QWidget* parent, int templateId, int titleId, int textId, int range, int x, int y)
{
    const int sent = RunProgress(parent, templateId, titleId, range, x, y);
    if (m_Send.dlg) {
        m_Send.dlg->SetPos(3);
        m_Send.dlg->SetText(LoadText(textId));
    }
    const bool stored = Store();
    if (stored && m_Send.dlg)
        m_Send.dlg->SetPos(4);
    const int result = sent == 1 ? (stored ? 1 : -2) : (stored ? -1 : -3);
    EndProgress(result == 1);
    return result;
}
