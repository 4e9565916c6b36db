#include "dlgmsgdirectory.h"

#include "confirm.h"
#include "deleterun.h"
#include "dlgmessagebox.h"
#include "entrylistctrl.h"
#include "message.h"
#include "pbdatabase.h"
#include "pccharset.h"
#include "qxpbsrcnewlist.h"
#include "uiservices.h"
#include "uiwidgets.h"
#include "utilities.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"
#include "debugtrace.h"
#include "at_defs.h"
#include "mtr_frame.h"
#include "mtr_poll.h"
#include "strutil.h"

#include <QDrag>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>

namespace {

enum {
    IDC_SRC_PC = 1058, IDC_SRC_SIM = 1059, IDC_SRC_PHONE = 1060, IDC_SRC_FDN = 1130, IDC_NEW = 1069,
    IDC_PB_LIST = 1009, IDC_TITLE = 1002, IDC_ROOM = 1110, IDC_ADD_RECIPIENT = 1101,
    IDC_REMOVE_RECIPIENT = 1102, IDC_RECIPIENTS = 1010, IDC_STATIC_1099 = 1099,
};

constexpr int kNoNameString = 31400;
// "No phone was found...", in the words of a dialog that waits for the phone
// by itself (the program's usual words send the user to the refresh button,
// which is out of reach behind a modal dialog).
constexpr int kNoPhoneWaitString = 31886;
// The phone is there but let one request go unanswered; the dialog waits
// for it by itself.
constexpr int kPhoneSilentOnceString = 31960;
// The SIM is busy; the dialog waits for it by itself.
constexpr int kSimBusyWaitString = 31887;
// How long a busy SIM is left alone before it is asked again.
constexpr qint64 kBusyPauseMs = 1000;
// How often the dialog looks for a phone it has lost, when nothing else
// does (no link test is set): a test of a silent phone takes a few seconds
// of its own, the dialog stays live meanwhile.
constexpr qint64 kLookForPhoneMs = 2000;
// How long a look waits for the phone's answer. The user's input to the
// dialog waits as long, and as long again for the port to open; a phone
// that is there answers in a few milliseconds, and only then does the full
// link test run. A look that missed a slow answer is followed by another.
constexpr int kProbeMs = 300;
constexpr int kHiddenRecipientString = 31312;
// The longest number the phone dials.
constexpr int kMaxDialDigits = 20;
// What a drag of phonebook rows inside the directory carries.
const char* const kRowsMime = "application/x-zorq-directory-rows";

}  // namespace

CDlgMsgDirectory::CDlgMsgDirectory(CMessage* msg, QWidget* parentView, CZorqMMIDoc* doc)
    : CDialog(kTemplateId, parentView),
      m_pPane(std::make_unique<CQXPBSrcNewList>(this)),
      m_pParentView(parentView),
      m_pDoc(doc ? doc : CZorqMMIDoc::Instance()),
      m_pMsg(msg)
{
}

CDlgMsgDirectory::~CDlgMsgDirectory()
{
    // The pane's recordset lets go of the document's database first.
    if (m_pPane)
        m_pPane->Data().CloseRecordset();
}

bool CDlgMsgDirectory::OnInitDialog()
{
    CDialog::OnInitDialog();
    if (!m_bBound) {
        m_bBound = true;
        m_pPane->BindPaneControls(GetDlgItem(IDC_SRC_PC), GetDlgItem(IDC_SRC_SIM), GetDlgItem(IDC_SRC_PHONE),
                                  GetDlgItem(IDC_SRC_FDN), GetDlgItem(IDC_NEW), GetDlgItem(IDC_PB_LIST),
                                  GetDlgItem(IDC_TITLE), GetDlgItem(IDC_ROOM));
        m_listRecipients = new CEntryListCtrl(this);
        if (!UiReplaceWidget(GetDlgItem(IDC_RECIPIENTS), m_listRecipients))
            m_listRecipients->hide();
        m_bAddRecipient = qobject_cast<QPushButton*>(GetDlgItem(IDC_ADD_RECIPIENT));
        m_bRemoveRecipient = qobject_cast<QPushButton*>(GetDlgItem(IDC_REMOVE_RECIPIENT));
        m_static1099 = GetDlgItem(IDC_STATIC_1099);

        CEntryListCtrl* pbList = m_pPane->GetListCtrl();
        connect(pbList, &QAbstractItemView::doubleClicked, this, [this] { AddSelectedEntries(); });
        connect(pbList, &CEntryListCtrl::selectionChangedRows, this, [this] { UpdateButtons(); });
        connect(pbList, &CEntryListCtrl::columnClicked, this, [this, pbList] {
            pbList->DeselectAll();
            UpdateButtons();
        });
        connect(m_listRecipients, &CEntryListCtrl::selectionChangedRows, this, [this] { UpdateButtons(); });
        // Phonebook rows dragged onto the recipients are added.
        connect(pbList, &CEntryListCtrl::dragStarted, this, [this, pbList] {
            if (pbList->GetSelectedCount() == 0)
                return;
            auto* drag = new QDrag(pbList);
            auto* data = new QMimeData;
            data->setData(QString::fromLatin1(kRowsMime), QByteArray::number(pbList->GetSelectedCount()));
            drag->setMimeData(data);
            drag->exec(Qt::CopyAction);
        });
        m_listRecipients->setAcceptDrops(true);
        m_listRecipients->viewport()->setAcceptDrops(true);
        m_listRecipients->viewport()->installEventFilter(this);
        connect(m_listRecipients, &CEntryListCtrl::columnClicked, this, [this] { SelectAllRecipients(); });
        // The pane handles its source buttons itself; the directory follows.
        connect(m_pPane.get(), &CQXPBSrcNewList::listFilled, this, [this] { UpdateButtons(); });
        connect(m_pPane->GetFourthButton(), &QPushButton::clicked, this, [this] { OnBAdd(); });
    }
    m_pPane->AttachDocument(m_pDoc);
    m_pPane->SetPaneKind(3);
    m_pPane->SetPosition(73, 82);
    m_pPane->Data().SetSortColumn("Name");
    m_pPane->Data().SetListKind(4);
    m_pPane->InitPane(false);
    m_pPane->AddPaneToolTips();
    m_pPane->GetListCtrl()->setToolTip(UiLoadString(31407));
    m_listRecipients->setToolTip(UiLoadString(31750));
    m_bFirstTimer = true;
    m_bLinkedAtOpen = gv_SPIO_com_status == SPIO_com_available;
    SetTimer(2, 100);
    return true;
}

bool CDlgMsgDirectory::PhoneFree() const
{
    return !CZorqMMIApp::RequestWaiting() && !InMessagePause() && isEnabled();
}

void CDlgMsgDirectory::OnTimer(int id)
{
    // The first load talks to the phone: inside another request's wait (the
    // background phonebook reading goes on while the dialog stands) its
    // requests would be refused and the list stay empty; inside an operation
    // of the screen (a new message being read, polling off) a phone falling
    // silent would go unnoticed until that operation ends, and the list
    // would be filled under its progress, in a dialog it disables. It waits
    // for a tick when the phone is free.
    if (id == 2 && PhoneFree()) {
        if (m_bFirstTimer)
            FirstLoad();
        else if (m_bLoadPending)
            LoadAgainWhenLinked();
    }
    CDialog::OnTimer(id);
}

void CDlgMsgDirectory::FirstLoad()
{
    if (!m_bFirstTimer)
        return;
    m_bFirstTimer = false;
    update();
    m_pPane->SetMenuPosition(73, 82);
    // The pane's own words for a silent phone send the user to the refresh
    // button, which this modal dialog hides: the dialog says it itself.
    // A phonebook the user chooses in the pane later on may meet the
    // silence too: said at once, as the dialog's own load says it, and
    // listed once the phone answers.
    m_pPane->Data().SetOwnerTellsSilence(true, [this] {
        if (m_bLoading)
            return;  // the load tells it itself
        m_bLoadPending = true;
        TellOnce(SetUp::Silent);
    });
    // A phone already away when the dialog opened has been told of.
    if (!m_bLinkedAtOpen)
        m_told = SetUp::Silent;
    LoadPhonebooks(true);
    FillRecipients();
    m_pPane->UpdateButtons();
    UpdateButtons();
}

void CDlgMsgDirectory::LoadAgainWhenLinked()
{
    if (!m_pDoc)
        return;
    if (gv_SPIO_com_status != SPIO_com_available) {
        // The phone was lost: with the settings of a new user no link test
        // would ever find it again, and the refresh button lies behind this
        // dialog. The dialog looks for the phone itself, as the link test
        // does; the phone found is detected as usual, then loaded.
        if (gv_SPIO_com_status == 0 || (m_lastLook.isValid() && !m_lastLook.hasExpired(kLookForPhoneMs)))
            return;
        WriteDebug("CDlgMsgDirectory::LoadAgainWhenLinked -> ", "looking for the phone");
        if (mtr_probe_phone(kProbeMs) == MTR_DONE)
            mtr_test_link_now();
        m_lastLook.start();
        return;
    }
    // The detection of a phone found again comes first: it makes its
    // phonebook mirrors afresh.
    if (m_pDoc->LinkChangePending())
        return;
    // A busy SIM is not asked at every tick.
    if (m_told == SetUp::SimBusy && m_lastTry.isValid() && !m_lastTry.hasExpired(kBusyPauseMs))
        return;
    WriteDebug("CDlgMsgDirectory::LoadAgainWhenLinked -> ", "the phonebooks are set up again");
    LoadPhonebooks(false);
    m_pPane->UpdateButtons();
    UpdateButtons();
}

void CDlgMsgDirectory::LoadPhonebooks(bool first)
{
    m_bLoading = true;
    struct Done {
        bool& loading;
        ~Done() { loading = false; }
    } done{m_bLoading};
    m_lastTry.start();
    SetUp outcome = SetUp::Silent;
    if (m_pDoc && gv_SPIO_com_status == SPIO_com_available)
        outcome = SetUpPhonebooks();
    m_bLoadPending = m_pDoc && (outcome == SetUp::Silent || outcome == SetUp::SimBusy);
    m_pPane->UpdateButtons();
    // A source the user chose meanwhile stays; the PC shown for want of the
    // phone gives way to the phonebook the pane opens on.
    const int shown = m_pPane->Data().Current();
    if (first || (!m_bLoadPending && (shown == 0 || shown == 8 || m_pPane->GetListCtrl()->GetRowCount() == 0))) {
        m_pPane->Data().ResetSource();
        m_pPane->Data().ForgetLastSelection();
        m_pPane->SelectInitialSource();
        // The set-up went through but the pane's own selection met the
        // phone's silence: the load is still to be done.
        if (!m_bLoadPending && mtr_failed_unanswered(m_pPane->Data().LastSelection())) {
            outcome = SetUp::Silent;
            m_bLoadPending = true;
        }
    }
    if (m_bLoadPending)
        TellOnce(outcome);
    else
        m_told = SetUp::Done;
}

void CDlgMsgDirectory::TellOnce(SetUp why)
{
    if (m_told == why)
        return;
    m_told = why;
    int text = 0;
    if (why == SetUp::Silent) {
        // A phone that answers a quick question now only let one answer go:
        // that is no cable to check.
        const bool answersNow = mtr_probe_phone(kProbeMs) == MTR_DONE;
        WriteDebug("CDlgMsgDirectory::LoadPhonebooks -> ",
                   answersNow ? "The phone did not answer once" : "The phone does not answer");
        text = answersNow ? kPhoneSilentOnceString : kNoPhoneWaitString;
    } else if (why == SetUp::SimBusy) {
        WriteDebug("CDlgMsgDirectory::LoadPhonebooks -> ", "The SIM is busy");
        text = kSimBusyWaitString;
    }
    if (!text)
        return;
    // The box stands while the dialog goes on looking for the phone and
    // lists its phonebooks as soon as it answers: a box that waited for its
    // OK here would hold the looks back until the user came to it. One box
    // at a time: what is wrong now replaces what was.
    if (m_notice)
        m_notice->close();
    m_notice = ShowNoticeBox(this, UiLoadString(text));
}

// The phonebook set-up marks every phone phonebook it could not set up
// missing, and the pane then offers what is left (the PC phonebook at
// least). One answer lost or garbled on the line is got over by a second
// try; a lasting refusal is told with its number, so that a SIM phonebook
// greyed out is never a mystery (going back and forward tries again).
CDlgMsgDirectory::SetUp CDlgMsgDirectory::SetUpPhonebooks()
{
    MTR_RESULT r = m_pDoc->SetupPB(false);
    if (r != MTR_DONE && !mtr_failed_sim_busy(r) && gv_SPIO_com_status == SPIO_com_available) {
        WriteDebug("CDlgMsgDirectory::SetUpPhonebooks -> ", "The phonebook set-up failed, tried again");
        r = m_pDoc->SetupPB(false);
    }
    if (r == MTR_DONE)
        return SetUp::Done;
    if (mtr_failed_sim_busy(r))
        return SetUp::SimBusy;
    if (mtr_failed_unanswered(r))
        return SetUp::Silent;
    UiMessageBox(UiFormatString(31254, {QString::number(r)}));
    return SetUp::Refused;
}

const CAddress* CDlgMsgDirectory::AddressOfRow(int row) const
{
    if (!m_listRecipients || row < 0 || row >= m_listRecipients->GetRowCount())
        return nullptr;
    const int32_t key = m_listRecipients->GetLocation(row);
    if (key < 0 || key >= static_cast<int32_t>(m_rowAddress.size()))
        return nullptr;
    return m_rowAddress[static_cast<size_t>(key)];
}

void CDlgMsgDirectory::AppendRecipientRow(const CAddress* address)
{
    if (!m_listRecipients || !address)
        return;
    const QString name = PcToQString(address->GetName());
    if (name == UiLoadString(kHiddenRecipientString))
        return;
    const bool noName = address->GetName().empty() || address->GetName() == address->GetNumber();
    const int row = m_listRecipients->GetRowCount();
    m_listRecipients->SetRowText(row, 0, noName ? UiLoadString(kNoNameString) : name);
    m_listRecipients->SetRowText(row, 1, PcToQString(address->GetNumber()));
    m_listRecipients->SetLocation(row, static_cast<int32_t>(m_rowAddress.size()));
    m_rowAddress.push_back(address);
}

void CDlgMsgDirectory::FillRecipients()
{
    if (!m_listRecipients)
        return;
    m_listRecipients->setUpdatesEnabled(false);
    m_listRecipients->DeleteAllRows();
    m_listRecipients->DeleteAllColumns();
    m_rowAddress.clear();
    // Name and number share the list; the number column is wide enough for
    // the longest number the phone dials.
    m_listRecipients->InsertColumn(UiLoadString(31220), 0, 1, false);
    m_listRecipients->InsertColumn(UiLoadString(31221), 1, 1, false);
    m_listRecipients->SetColumnSample(1, QStringLiteral("12345678901234567890"));
    if (m_pMsg) {
        const CAddressList& list = m_pMsg->GetAddressList();
        for (int i = 0; i < list.GetCount(); ++i)
            if (!list.GetAt(i)->IsSent())
                AppendRecipientRow(list.GetAt(i));
    }
    m_listRecipients->setUpdatesEnabled(true);
}

void CDlgMsgDirectory::AddSelectedEntries()
{
    CEntryListCtrl* pbList = m_pPane->GetListCtrl();
    if (!pbList || !m_pMsg)
        return;
    const QString noName = UiLoadString(kNoNameString);
    for (int row : pbList->GetSelectedRows()) {
        // The entry itself gives name and number; the row's texts only when
        // it cannot be read (the no-name text is not a name).
        std::string name, number;
        PBEntry entry;
        if (m_pPane->Data().GetEntryAt(pbList->GetLocation(row), entry)) {
            name = entry.Name;
            number = entry.Phone;
        } else {
            const QString shown = pbList->GetRowText(row, 0);
            name = shown == noName ? std::string() : QStringToPc(shown);
            number = QStringToPc(pbList->GetRowText(row, 1));
        }
        if (number.empty()) {
            UiMessageBoxId(31732);
            continue;
        }
        std::string dial;
        FilterDialChars(number, dial);
        if (static_cast<int>(dial.size()) > kMaxDialDigits) {
            UiMessageBox(UiFormatString(31693, {QString::number(kMaxDialDigits)}));
            continue;
        }
        if (m_pMsg->AddAddress(name, number) == 0) {
            pbList->DeselectRow(row);
            const CAddressList& list = m_pMsg->GetAddressList();
            AppendRecipientRow(list.GetAt(list.GetCount() - 1));
        } else {
            UiMessageBox(UiFormatString(31747, {PcToQString(name.empty() ? number : name)}));
        }
    }
    UpdateButtons();
}

void CDlgMsgDirectory::OnBRemoveRecipient()
{
    if (!m_listRecipients || !m_pMsg)
        return;
    // The selected rows' addresses, kept by identity: rows shift as they go.
    std::vector<const CAddress*> chosen;
    QStringList names;
    for (int row : m_listRecipients->GetSelectedRows()) {
        if (const CAddress* a = AddressOfRow(row)) {
            chosen.push_back(a);
            names << m_listRecipients->GetRowText(row, 0);
        }
    }
    if (chosen.empty())
        return;
    const QPoint at = m_listRecipients->mapToGlobal(QPoint(0, 0));
    RunConfirmedDeletion(this, at, CONFIRM_DIRECTORY_ENTRY, names, [this, &chosen](int i) {
        const CAddress* address = chosen[static_cast<size_t>(i)];
        CAddressList& list = m_pMsg->GetAddressList();
        int index = -1;
        for (int k = 0; k < list.GetCount(); ++k)
            if (list.GetAt(k) == address)
                index = k;
        if (index < 0)
            return DeleteOutcome::Gone;
        for (int row = 0; row < m_listRecipients->GetRowCount(); ++row)
            if (AddressOfRow(row) == address) {
                m_listRecipients->DeleteRow(row);
                break;
            }
        for (auto& slot : m_rowAddress)
            if (slot == address)
                slot = nullptr;
        list.RemoveAt(index);
        return DeleteOutcome::Deleted;
    });
    UpdateButtons();
}

void CDlgMsgDirectory::OnBAdd()
{
    if (!m_pPane->VerifyAccess() || !m_pPane->CheckRoom())
        return;
    PBEntry entry;
    CDlgNewEntry dlg(&entry, m_pPane.get(), this);
    if (dlg.DoModal() != IDOK)
        return;
    CPBSourceData& data = m_pPane->Data();
    if (!data.SaveInDB(entry))
        return;
    // A silence is told over the list as the phone holds it.
    PhoneChangeResult written;
    const bool kept = data.SaveInMobile(&written);
    const QString silence =
        SilentWriteText(written, PcToQString(entry.Name.empty() ? entry.Phone : entry.Name), false);
    if (!kept) {
        data.CancelRow();
        if (!silence.isEmpty())
            UiMessageBox(silence);
        return;
    }
    if (data.UpdateAndReselect(true)) {
        if (m_bAddRecipient)
            m_bAddRecipient->setEnabled(true);
        if (!silence.isEmpty())
            UiMessageBox(silence);
    } else {
        WriteDebug("CDlgMsgDirectory::OnBAdd -> ", "The writing failed");
        UiMessageBoxId(31363);
    }
}

bool CDlgMsgDirectory::eventFilter(QObject* watched, QEvent* e)
{
    if (m_listRecipients && watched == m_listRecipients->viewport()) {
        switch (e->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* d = static_cast<QDropEvent*>(e);
            if (d->mimeData() && d->mimeData()->hasFormat(QString::fromLatin1(kRowsMime))) {
                d->setDropAction(Qt::CopyAction);
                d->accept();
            } else {
                d->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* d = static_cast<QDropEvent*>(e);
            if (!d->mimeData() || !d->mimeData()->hasFormat(QString::fromLatin1(kRowsMime)))
                return false;
            d->setDropAction(Qt::CopyAction);
            d->accept();
            AddSelectedEntries();
            return true;
        }
        default: break;
        }
    }
    return CDialog::eventFilter(watched, e);
}

void CDlgMsgDirectory::SelectAllRecipients()
{
    m_pPane->GetListCtrl()->DeselectAll();
    m_listRecipients->SelectAll();
    UpdateButtons();
}

void CDlgMsgDirectory::UpdateButtons()
{
    if (m_bAddRecipient)
        m_bAddRecipient->setEnabled(m_pPane->GetListCtrl() && m_pPane->GetListCtrl()->GetSelectedCount() > 0);
    if (m_bRemoveRecipient)
        m_bRemoveRecipient->setEnabled(m_listRecipients && m_listRecipients->GetSelectedCount() > 0);
}

void CDlgMsgDirectory::OnCommand(int id)
{
    switch (id) {
    case IDC_ADD_RECIPIENT: AddSelectedEntries(); break;
    case IDC_REMOVE_RECIPIENT: OnBRemoveRecipient(); break;
    case IDC_BACK: EndDialog(IDC_BACK); break;
    default: break;
    }
}

void CDlgMsgDirectory::OnOK()
{
    if (m_pPane->GetListCtrl() && m_pPane->GetListCtrl()->GetSelectedCount() > 0)
        AddSelectedEntries();
    if (m_pMsg && m_pMsg->CountUnsentRecipients() == 0 && UiMessageBoxId(31325, 0x24) != IDYES)
        return;
    EndDialog(IDOK);
}

// ---- New entry -------------------------------------------------------------------------

CDlgNewEntry::CDlgNewEntry(PBEntry* entry, CQXPBSrcNewList* pane, QWidget* parent)
    : CDialog(kTemplateId, parent), m_pEntry(entry), m_pPane(pane)
{
}

bool CDlgNewEntry::OnInitDialog()
{
    CDialog::OnInitDialog();
    // The hints are placeholders: an edit that shows one is empty.
    if (auto* number = qobject_cast<QLineEdit*>(GetDlgItem(IDC_NUMBER)))
        number->setPlaceholderText(m_pPane ? m_pPane->Data().GetNumberHint() : QString());
    if (auto* name = qobject_cast<QLineEdit*>(GetDlgItem(IDC_NAME))) {
        name->setPlaceholderText(m_pPane ? m_pPane->Data().GetNameHint() : QString());
        if (m_pPane)
            name->setMaxLength(std::max(1, m_pPane->Data().GetMaxNameLength()));
        name->setFocus();
    }
    return true;
}

void CDlgNewEntry::OnOK()
{
    if (!m_pEntry)
        return;
    *m_pEntry = PBEntry();
    m_pEntry->Name = QStringToPc(GetDlgItemText(IDC_NAME).trimmed());
    m_pEntry->Phone = QStringToPc(GetDlgItemText(IDC_NUMBER).trimmed());
    FilterDialChars(m_pEntry->Phone, m_pEntry->ShortPhone);
    if (m_pPane && !m_pPane->Data().CheckEntry(*m_pEntry)) {
        QWidget* back = m_pEntry->Phone.empty() || m_pEntry->ShortPhone.empty() ? GetDlgItem(IDC_NUMBER)
                                                                                : GetDlgItem(IDC_NAME);
        if (back)
            back->setFocus();
        return;
    }
    EndDialog(IDOK);
}
