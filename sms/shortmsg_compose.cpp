// The compose, open and send sequences of the message screen: the modal
// dialogs behind the compose, open and read-new commands, and what is done
// after the send dialog (send, store in the SIM or a PC database, or both).
#include "shortmsg.h"

#include "debugtrace.h"
#include "dlgmsgdirectory.h"
#include "dlgmsgsend.h"
#include "dlgmsgtext.h"
#include "dlgprogress.h"
#include "entrylistctrl.h"
#include "jetdatabase.h"
#include "message.h"
#include "mtr_sms.h"
#include "phonechange.h"
#include "pccharset.h"
#include "sendmark.h"
#include "sendoptions.h"
#include "smsdatabase.h"
#include "uiservices.h"
#include "zorqmmidoc.h"

#include "at_defs.h"
#include "utilities.h"

#include <QDateTime>

#include <memory>

namespace {

enum { IDC_BACK = 1138 };

constexpr int kProgressSingle = 280;  // one recipient, one message
constexpr int kProgressMany = 299;    // several recipients or blocks

// Kinds of FillInfoInMessage.
enum { FILL_FORWARD = 0, FILL_SENT = 1, FILL_ANSWER = 3 };

// The progress of one send: a step per block and recipient, and the two
// steps before and after.
int SendRange(const CMessage& msg)
{
    const int blocks = std::max(1, CDlgMsgSend::SentBlockCount(msg));
    return msg.CountUnsentRecipients() * blocks + 2;
}

// Now, as a day count.
double CurrentDateTime()
{
    const QDateTime now = QDateTime::currentDateTime();
    return MakeDateTime(now.date().year(), now.date().month(), now.date().day(), now.time().hour(),
                        now.time().minute(), now.time().second());
}

}  // namespace

// ---- Sequences -----------------------------------------------------------------------------

void CShortMsg::InitSendOptions(SMS_SEND_OPTIONS* opt)
{
    if (!opt)
        return;
    CZorqMMIDoc* doc = GetDocument();
    opt->storeOnly = 0;
    opt->mode = SEND_MODE_SEND;
    opt->destination = doc && doc->IsSMSDestAvailable(SMS_DST_SIM) && doc->GetSMSParamState() ? SMS_DST_SIM
                                                                                                : SMS_DST_PC;
    opt->databaseFile = doc ? doc->GetPCSMSDatabasePath() : std::string();
    opt->offerOwnCentre = 1;
}

namespace {

// Shows the send dialog for the message: IDOK, IDCANCEL or the back button.
int RunSendStep(CShortMsg* view, CMessage& msg, SMS_SEND_OPTIONS& opt)
{
    const bool noPhone = gv_SPIO_com_status == 0 || gv_SPIO_com_status == 1;
    opt.storeOnly = msg.CountUnsentRecipients() == 0 || noPhone;
    opt.noPhone = noPhone && msg.CountUnsentRecipients() > 0;
    CZorqMMIDoc* doc = view->GetDocument();
    const int tmpl = doc && doc->IsMultiBlockSMSAvailable() ? CDlgMsgSend::kTemplateMulti
                                                            : CDlgMsgSend::kTemplateSingle;
    CDlgMsgSend dlg(&msg, &opt, view, tmpl);
    return dlg.DoModal();
}

// A long message that went out only in part is kept, whatever the user
// answers next: when its sequence ends without the message reaching every
// recipient or being stored, it goes into the PC database unsent.
class CutShortKeeper {
public:
    CutShortKeeper(CShortMsg* view, CMessage& msg, SMS_SEND_OPTIONS& opt) : m_pView(view), m_msg(msg), m_opt(opt) {}
    ~CutShortKeeper()
    {
        if (!m_bPending || m_msg.CountUnsentRecipients() == 0)
            return;
        WriteDebug("CShortMsg -> ", "A message sent only in part is kept unsent in the PC database");
        if (!m_pView->StoreInPCDatabase(&m_msg, &m_opt, 2))
            UiMessageBoxId(31309);
    }
    // After each treatment: sent or stored, nothing is left to keep.
    void Treated(int result)
    {
        if (m_msg.GetPartsSent() > 0)
            m_bPending = true;
        if (result == TREATMENT_DONE)
            m_bPending = false;
    }

private:
    CShortMsg* m_pView;
    CMessage& m_msg;
    SMS_SEND_OPTIONS& m_opt;
    bool m_bPending = false;
};

}  // namespace

void CShortMsg::OnBCompose()
{
    CMessage msg;
    SMS_SEND_OPTIONS opt;
    InitSendOptions(&opt);
    FillInfoInMessage(&msg, FILL_ANSWER);
    CutShortKeeper keeper(this, msg, opt);
    enum { WRITE, SEND, TREAT, END } step = WRITE;
    while (step != END) {
        switch (step) {
        case WRITE: {
            CDlgMsgWrite dlg(&msg, this);
            step = dlg.DoModal() == IDOK ? SEND : END;
            break;
        }
        case SEND: {
            const int r = RunSendStep(this, msg, opt);
            step = r == IDOK ? TREAT : r == IDC_BACK ? WRITE : END;
            break;
        }
        case TREAT: {
            update();
            const int r = SendStoreMsgTreatment(&msg, &opt);
            keeper.Treated(r);
            // There is no directory here: a message not sent to everyone
            // comes back to the send dialog with the recipients not reached.
            if (r == TREATMENT_SEND_AGAIN || r == TREATMENT_PREVIOUS) {
                msg.RemoveSentRecipients();
                step = SEND;
            } else {
                step = END;
            }
            break;
        }
        case END: break;
        }
    }
    NotifyControlChanged(m_list);
}

void CShortMsg::OnBOpen()
{
    OpenMsgSequence(m_nFolder == 0 ? 0 : 1);
    NotifyControlChanged(m_list);
}

void CShortMsg::OnBReadNew()
{
    OpenMsgSequence(2);
    NotifyControlChanged(m_list);
}

void CShortMsg::OpenMsgSequence(int kind)
{
    CMessage msg;
    SMS_SEND_OPTIONS opt;
    InitSendOptions(&opt);
    int title = 31322;
    if (kind == 0) {
        title = 31306;
        FillInfoInMessage(&msg, FILL_FORWARD);
    } else if (kind == 1) {
        title = 31399;
        m_openedMark.marked = false;
        FillInfoInMessage(&msg, FILL_SENT);
    }
    CutShortKeeper keeper(this, msg, opt);
    enum { EDIT, DIRECTORY, SEND, TREAT, END } step = EDIT;
    while (step != END) {
        switch (step) {
        case EDIT: {
            CDlgMsgEdit dlg(&msg, this);
            dlg.SetTitle(UiLoadString(title));
            step = dlg.DoModal() == IDOK ? DIRECTORY : END;
            break;
        }
        case DIRECTORY: {
            CDlgMsgDirectory dlg(&msg, this, GetDocument());
            const int r = dlg.DoModal();
            step = r == IDOK ? SEND : r == IDC_BACK ? EDIT : END;
            break;
        }
        case SEND: {
            const int r = RunSendStep(this, msg, opt);
            step = r == IDOK ? TREAT : r == IDC_BACK ? DIRECTORY : END;
            break;
        }
        case TREAT: {
            update();
            const int r = SendStoreMsgTreatment(&msg, &opt);
            keeper.Treated(r);
            // Its last send now confirmed, the stored message asks no more.
            if (kind == 1 && r == TREATMENT_DONE && opt.mode != SEND_MODE_STORE &&
                msg.CountUnsentRecipients() == 0 && msg.CountUnconfirmedRecipients() == 0)
                ForgetSendMark();
            if (r == TREATMENT_PREVIOUS || r == TREATMENT_SEND_AGAIN) {
                msg.RemoveSentRecipients();
                step = r == TREATMENT_PREVIOUS ? DIRECTORY : SEND;
            } else {
                step = END;
            }
            break;
        }
        case END: break;
        }
    }
}

// ---- Filling from the selected row ---------------------------------------------------------

void CShortMsg::FillInfoInMessage(CMessage* msg, int kind)
{
    if (!msg || !m_pListRecordset || !m_list)
        return;
    const QList<int> rows = m_list->GetSelectedRows();
    if (rows.isEmpty())
        return;
    try {
        if (!SeekListRow(m_list->GetLocation(rows.first())))
            return;
        const CEntrySMSRecordset& rs = *m_pListRecordset;
        switch (kind) {
        case FILL_FORWARD: {
            CAddressList from;
            rs.GetAddrList(from);
            NameFromPhonebook(from);
            std::string sender;
            if (from.GetCount() == 1)
                sender = from.GetAt(0)->GetName().empty() ? from.GetAt(0)->GetNumber() : from.GetAt(0)->GetName();
            else
                WriteDebug("CShortMsg::FillInfoInMessage -> ", "There is more than one sender");
            std::string text = QStringToPc(UiLoadString(31474));
            if (!sender.empty())
                text += "(" + sender + ")\r\n";
            msg->SetText(text + rs.Text);
            // Forwarded in the coding it came in.
            msg->SetDcs(rs.GetCoding());
            break;
        }
        case FILL_SENT:
            msg->SetDate(rs.Date);
            rs.GetAddrList(msg->GetAddressList());
            msg->SetText(rs.Text);
            msg->SetServiceCentre(rs.ServiceCentre);
            msg->SetFormat(rs.Format);
            msg->SetValidity(rs.Validity);
            msg->SetStatusReport(rs.StatusReport);
            msg->SetReplyPath(rs.ReplyPath);
            msg->SetDcs(rs.GetCoding());
            // The phone did not confirm the last send of this stored
            // message: sending it again asks first.
            if (StoredSendMark(rs.Location, rs.AddrList, rs.Text)) {
                for (int i = 0; i < msg->GetAddressList().GetCount(); ++i)
                    msg->GetAddressList().GetAt(i)->SetUnconfirmed(true);
                m_openedMark.marked = true;
                m_openedMark.store = m_nSrcStorage;
                m_openedMark.location = rs.Location;
                m_openedMark.addrList = rs.AddrList;
                m_openedMark.text = rs.Text;
            }
            break;
        case FILL_ANSWER:
            msg->SetDate(rs.Date);
            rs.GetAddrList(msg->GetAddressList());
            // The header and the recipient show the sender by name.
            NameFromPhonebook(msg->GetAddressList());
            msg->SetSpareText(rs.Text);
            if (rs.ReplyPath == 1) {
                msg->SetSpareNumber(1);
                msg->SetServiceCentre(rs.ServiceCentre);
                msg->SetFormat(rs.Format);
            }
            break;
        default: break;
        }
    } catch (const CDaoException& e) {
        WriteDebug("CShortMsg::FillInfoInMessage -> ", e.what());
    }
}

// ---- Treatment -----------------------------------------------------------------------------

namespace {

// The phone did not answer a send: neither sent nor refused, the message
// may have gone (31922); sending it again asks first (31923).
constexpr int kUnconfirmedString = 31922;
constexpr int kSendAgainString = 31923;
// The phone was gone when the send dialog came: the message was stored,
// not sent.
constexpr int kStoredInsteadString = 31952;

// Sends to a recipient the phone did not confirm are asked for: the
// message may already be there. No leaves the send dialog up, nothing sent.
bool SendAgainAllowed(CMessage& msg)
{
    if (msg.CountUnconfirmedRecipients() == 0)
        return true;
    if (UiMessageBoxId(kSendAgainString, 0x24) != IDYES)
        return false;
    msg.ClearUnconfirmed();
    return true;
}

// No recipient has the whole message. When one got some of its parts (a
// long message cut short by the link or the phone) the user learns how
// many: the message is still offered unsent, and sending it again sends it
// whole.
void NotSentBox(const CMessage& msg)
{
    if (msg.CountUnconfirmedRecipients() > 0)
        UiMessageBoxId(kUnconfirmedString);
    else if (msg.GetPartsSent() > 0)
        UiMessageBox(UiFormatString(31762, {QString::number(msg.GetPartsSent()), QString::number(msg.GetPartsTotal())}));
    else
        UiMessageBoxId(31758);
}

}  // namespace

int CShortMsg::SendStoreMsgTreatment(CMessage* msg, SMS_SEND_OPTIONS* opt)
{
    if (!msg || !opt)
        return TREATMENT_DONE;
    BusyScope busy(this);
    CZorqMMIDoc* doc = GetDocument();
    const QPoint at = m_progressPos;
    const bool single = msg->CountUnsentRecipients() == 1 && !msg->IsLong();
    const int tmpl = single ? kProgressSingle : kProgressMany;
    const int x = single ? at.x() : -1, y = single ? at.y() : -1;
    int result = TREATMENT_DONE;

    if ((opt->mode == SEND_MODE_SEND || opt->mode == SEND_MODE_SEND_AND_STORE) && !SendAgainAllowed(*msg))
        return TREATMENT_SEND_AGAIN;

    if (opt->mode == SEND_MODE_SEND) {
        if (msg->SendWithProgress(this, tmpl, 31476, SendRange(*msg), x, y) == 1)
            return TREATMENT_DONE;
        if (msg->CountSentRecipients() == 0 || msg->CountUnconfirmedRecipients() > 0)
            NotSentBox(*msg);
        else
            UiMessageBoxId(31752);
        return single ? TREATMENT_SEND_AGAIN : TREATMENT_PREVIOUS;
    }

    if (opt->mode == SEND_MODE_STORE) {
        if (opt->destination == SMS_DST_SIM) {
            if (!doc || !doc->CheckSMSRoom(SMS_DST_SIM, 1)) {
                UiMessageBoxId(31428);
                if (doc)
                    doc->CloseSMSDatabases(1);
                return TREATMENT_SEND_AGAIN;
            }
            auto progress = std::make_unique<CDlgProgressText>(this, kProgressSingle);
            progress->SetPosition(at.x(), at.y());
            progress->Start(31337, 3, 2);
            msg->AdaptCoding();
            const std::string text = msg->GetText();
            uint8_t index = 0;
            int32_t found = kNoLocation;
            // After a silence the copy is looked for among the places the
            // SIM mirror counts free; without the mirror it cannot be.
            const PhoneChangeResult stored = RunPhoneChange(
                "a message stored", [&] { return mtr_SMS_store(msg, &index); },
                [&] {
                    return doc->IsSIMSMSRead(SMS_SRC_SIM) ? FindStoredCopy(SMS_DST_SIM, text, &found)
                                                          : PhoneHolds::Unknown;
                });
            progress->Finish(stored.Landed());
            progress.reset();
            if (stored.Refused()) {
                UiMessageBoxId(31308);
                return TREATMENT_SEND_AGAIN;
            }
            if (!stored.Landed()) {
                // Not in the SIM: the send dialog comes back. Perhaps in it:
                // not offered again, so that it is not stored twice.
                const bool before = stored.holds == PhoneHolds::Before;
                UiMessageBox(UiFormatString(before ? 31938 : 31939, {MessageExcerpt(text)}));
                return before ? TREATMENT_SEND_AGAIN : TREATMENT_DONE;
            }
            msg->SetLocation(stored.Done() ? index : found);
            MirrorSIMMessage(msg, opt, 2);
            if (stored.Unanswered())
                UiMessageBox(UiFormatString(31930, {MessageExcerpt(text)}));
            return TREATMENT_DONE;
        }
        if (opt->destination == SMS_DST_PC) {
            auto progress = std::make_unique<CDlgProgressText>(this, kProgressSingle);
            progress->SetPosition(at.x(), at.y());
            progress->Start(31336, 3, 2);
            const int stored = StoreInPCDatabase(msg, opt, 2);
            progress->Finish(stored != 0);
            progress.reset();
            if (!stored) {
                // Nothing is lost: the send dialog comes back.
                UiMessageBoxId(31309);
                return TREATMENT_SEND_AGAIN;
            }
            // The phone went away before the send dialog came: the user
            // meant to send it, and learns that it was stored instead.
            if (opt->noPhone)
                UiMessageBoxId(kStoredInsteadString);
            return TREATMENT_DONE;
        }
        return result;
    }

    if (opt->mode == SEND_MODE_SEND_AND_STORE) {
        if (opt->destination == SMS_DST_SIM) {
            if (msg->CountUnsentRecipients() != 1 || msg->IsLong()) {
                WriteDebug("CShortMsg::SendStoreMsgTreatment -> ",
                           "More than one recipient and Send & Store in SIM card.");
                UiMessageBoxId(31308);
                return TREATMENT_SEND_AGAIN;
            }
            if (!doc || !doc->CheckSMSRoom(SMS_DST_SIM, 1)) {
                UiMessageBoxId(31428);
                if (doc)
                    doc->CloseSMSDatabases(1);
                return TREATMENT_SEND_AGAIN;
            }
            const int r = msg->SendAndStore(this, kProgressSingle, 31476, 31337, SendRange(*msg) + 1, at.x(), at.y());
            if (r == 1 || r == -1)
                MirrorSIMMessage(msg, opt, r == 1 ? 3 : 2);
            switch (r) {
            case 1: return TREATMENT_DONE;
            case -1: UiMessageBoxId(msg->CountUnconfirmedRecipients() > 0 ? kUnconfirmedString : 31755); return TREATMENT_DONE;
            case -2: UiMessageBoxId(31308); return TREATMENT_SEND_AGAIN;
            default: UiMessageBoxId(31756); return TREATMENT_SEND_AGAIN;
            }
        }
        if (opt->destination == SMS_DST_PC) {
            const int range = SendRange(*msg) + 1;
            if (msg->SendWithProgressEnd(this, tmpl, 31476, 31336, range, x, y) == 1) {
                if (!StoreInPCDatabase(msg, opt, 3))
                    UiMessageBoxId(31309);
                return TREATMENT_DONE;
            }
            if (msg->CountSentRecipients() == 0 && msg->CountUnconfirmedRecipients() > 0) {
                // Perhaps sent: stored as asked, unsent and marked, so that
                // sending it again asks first, as the SIM keeps it.
                if (!StoreInPCDatabase(msg, opt, 2)) {
                    UiMessageBoxId(31756);
                    return TREATMENT_SEND_AGAIN;
                }
                UiMessageBoxId(kUnconfirmedString);
                return TREATMENT_DONE;
            }
            if (msg->CountSentRecipients() == 0) {
                NotSentBox(*msg);
                return TREATMENT_SEND_AGAIN;
            }
            if (msg->CountUnconfirmedRecipients() > 0)
                UiMessageBoxId(kUnconfirmedString);
            UiMessageBoxId(StoreInPCDatabase(msg, opt, 3) ? 31753 : 31754);
            return TREATMENT_PREVIOUS;
        }
    }
    return result;
}

// ---- Storing -------------------------------------------------------------------------------

int CShortMsg::StoreInPCDatabase(CMessage* msg, SMS_SEND_OPTIONS* opt, int status)
{
    CZorqMMIDoc* doc = GetDocument();
    if (!msg || !opt || !doc)
        return 0;
    CJetDatabase* db = nullptr;
    if (doc->OpenSMSDatabase(&db, SMS_DST_PC, opt->databaseFile) != 0 || !db)
        if (doc->OpenSMSDatabase(&db, SMS_DST_PC, std::string()) != 0)
            db = nullptr;
    if (!db)
        return 0;
    int stored = 0;
    if (doc->CheckSMSRoom(SMS_DST_PC, 1)) {
        const int32_t location = doc->GetFreeSMSLocation(SMS_DST_PC);
        if (location != kNoLocation) {
            msg->SetLocation(location);
            std::string addrList;
            stored = WriteMessageRow(db, msg, status, &addrList) ? 1 : 0;
            // An unsent copy of a message whose send the phone did not
            // confirm keeps that mark in the file beside it.
            if (stored)
                KeepSendMark(*db, SMS_SRC_PC, location, addrList, msg->GetText(),
                             status == 2 && msg->CountUnconfirmedRecipients() > 0);
        }
        doc->CloseSMSDatabases(1);
    } else {
        UiMessageBoxId(31429);
        doc->CloseSMSDatabases(1);
    }
    if (stored && (m_nSrcStorage == SMS_SRC_PC || m_nSrcStorage == SMS_SRC_SIM)) {
        if (CJetDatabase* source = SourceDatabase()) {
            DisableButtons();
            FillList(source, true);
            const int row = m_list ? m_list->FindRowByLocation(msg->GetLocation()) : -1;
            if (row >= 0 && m_nSrcStorage == SMS_SRC_PC)
                m_list->SelectRow(row);
        }
    }
    return stored;
}

void CShortMsg::MirrorSIMMessage(CMessage* msg, SMS_SEND_OPTIONS* opt, int status)
{
    CZorqMMIDoc* doc = GetDocument();
    if (!msg || !opt || !doc || !doc->IsSIMSMSRead(SMS_SRC_SIM))
        return;
    const int32_t location = msg->GetLocation();
    bool read = false;
    if (OpenReadRecordset(SMS_DST_SIM)) {
        // The phone's own copy, as it stores it, goes into the mirror.
        read = location >= 0 && location <= 255 && mtr_SMS_read(static_cast<uint8_t>(location), 0) == MTR_DONE;
        CloseReadRecordset();
    }
    CJetDatabase* db = nullptr;
    if (doc->OpenSMSDatabase(&db, SMS_DST_SIM, std::string()) != 0)
        db = nullptr;
    if (!read && db)
        WriteMessageRow(db, msg, status);
    // The SIM cannot carry the "not confirmed" mark: it is kept in the
    // program's PC message database, keyed by the SIM place and by what the
    // mirror holds there (what a later reading of the SIM finds again), else
    // by the message as it was stored.
    std::string addrList, text;
    bool keyed = false;
    if (db && location >= 0) {
        try {
            CEntrySMSRecordset rs(db);
            rs.Open(dbOpenDynaset, "SELECT * FROM EntrySMS WHERE Location = " + std::to_string(location));
            if (!rs.IsEOF()) {
                addrList = rs.AddrList;
                text = rs.Text;
                keyed = true;
            }
            rs.Close();
        } catch (const CDaoException& e) {
            WriteDebug("CShortMsg::MirrorSIMMessage -> ", e.what());
        }
    }
    doc->CloseSMSDatabases(1);
    // Not in the mirror yet: the message as it was stored.
    if (!keyed && location >= 0) {
        const CAddressList& all = msg->GetAddressList();
        for (int i = 0; i < all.GetCount(); ++i)
            if (!all.GetAt(i)->IsSent() || status == 3)
                addrList += all.GetAt(i)->GetName() + "@" + all.GetAt(i)->GetNumber() + "\r\n";
        text = msg->GetText();
        keyed = true;
    }
    if (keyed) {
        const bool marked = status == 2 && msg->CountUnconfirmedRecipients() > 0;
        if (!KeepSendMark(doc->GetPCSMSDatabasePath(), SMS_SRC_SIM, location, addrList, text, marked) && marked)
            WriteDebug("CShortMsg::MirrorSIMMessage -> ", "the not-confirmed mark could not be kept");
    }
    if (m_nSrcStorage == SMS_SRC_SIM) {
        if (CJetDatabase* source = SourceDatabase()) {
            DisableButtons();
            FillList(source, true);
            const int row = m_list ? m_list->FindRowByLocation(location) : -1;
            if (row >= 0)
                m_list->scrollTo(m_list->model()->index(row, 0));
        }
    }
}

bool CShortMsg::StoredSendMark(int32_t location, const std::string& addrList, const std::string& text)
{
    if (m_nSrcStorage == SMS_SRC_PC) {
        CJetDatabase* db = SourceDatabase();
        return db && HasSendMark(*db, SMS_SRC_PC, location, addrList, text);
    }
    CZorqMMIDoc* doc = GetDocument();
    return m_nSrcStorage == SMS_SRC_SIM && doc &&
           HasSendMark(doc->GetPCSMSDatabasePath(), SMS_SRC_SIM, location, addrList, text);
}

void CShortMsg::ForgetSendMark()
{
    if (!m_openedMark.marked)
        return;
    m_openedMark.marked = false;
    bool dropped = false;
    if (m_openedMark.store == SMS_SRC_PC) {
        CJetDatabase* db = m_nSrcStorage == SMS_SRC_PC ? SourceDatabase() : nullptr;
        dropped = db && KeepSendMark(*db, SMS_SRC_PC, m_openedMark.location, m_openedMark.addrList,
                                     m_openedMark.text, false);
    } else if (CZorqMMIDoc* doc = GetDocument()) {
        dropped = KeepSendMark(doc->GetPCSMSDatabasePath(), m_openedMark.store, m_openedMark.location,
                               m_openedMark.addrList, m_openedMark.text, false);
    }
    if (!dropped)
        WriteDebug("CShortMsg::ForgetSendMark -> ", "the not-confirmed mark could not be dropped");
}

bool CShortMsg::WriteMessageRow(CDaoDatabase* db, CMessage* msg, int status, std::string* addrList)
{
    if (!db || !msg || !db->IsOpen())
        return false;
    try {
        CEntrySMSRecordset rs(db);
        rs.Open(dbOpenTable, "EntrySMS");
        rs.SetCurrentIndex("indLoc");
        rs.SeekLocation(msg->GetLocation());
        rs.Location = msg->GetLocation();
        rs.SetFromMessage(*msg, status == 3);
        rs.msgType = static_cast<int16_t>(status);
        rs.Date = CurrentDateTime();
        if (addrList)
            *addrList = rs.AddrList;
        rs.Update();
        rs.Close();
        return true;
    } catch (const CDaoException& e) {
        WriteDebug("CShortMsg::WriteMessageRow -> ", e.what());
        return false;
    }
}
