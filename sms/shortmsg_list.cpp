// The message screen's folders, list, message pane and button states.
//
// The list is filled from one bound query on the source database. Sender
// and recipient names come from the PC phonebook while the rows are shown;
// nothing is written back, so a phonebook or language change shows at the
// next fill and the stored addresses stay as the phone gave them.
#include "shortmsg.h"

#include "at_defs.h"
#include "debugtrace.h"
#include "entrylistctrl.h"
#include "jetdatabase.h"
#include "message.h"
#include "pccharset.h"
#include "profile.h"
#include "smsdatabase.h"
#include "smsquery.h"
#include "uiservices.h"
#include "utilities.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>
#include <cctype>

namespace {

struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

bool SameNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

QString DateText(double days) { return PcToQString(FormatDateTimeText(days, ProgramLangId())); }

QString OneLine(const std::string& text)
{
    QString s = PcToQString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    return s;
}

std::string PhonebookPath() { return CZorqMMIApp::GetDatabaseSetting("Phonebook", "defpb.mdb"); }

}  // namespace

// ---- Helpers shared with printing and find --------------------------------------------------

SMSRowLook SMSRowLookOf(int t)
{
    switch (t) {
    case 0: case 7: return {0, 1};
    case 1: case 10: return {1, 0};
    case 2: case 13: return {2, 0};
    case 3: case 16: return {3, 0};
    case 5: case 6: case 8: case 9: return {0, 2};
    case 11: case 12: return {2, 2};
    case 14: case 15: return {3, 2};
    default: return {0, 0};
    }
}

std::string FormatAddressColumn(const CAddressList& list)
{
    std::string out;
    for (int i = 0; i < list.GetCount(); ++i) {
        const CAddress* a = list.GetAt(i);
        if (i)
            out += "; ";
        out += a->GetName().empty() ? a->GetNumber() : a->GetName();
    }
    return out;
}

std::string FormatAddressDetails(const CAddressList& list)
{
    std::string out;
    for (int i = 0; i < list.GetCount(); ++i) {
        const CAddress* a = list.GetAt(i);
        if (i)
            out += "; ";
        if (a->GetName().empty() || SameNoCase(a->GetName(), a->GetNumber()))
            out += a->GetNumber();
        else
            out += a->GetName() + " (" + a->GetNumber() + ")";
    }
    return out;
}

// ---- Folders ------------------------------------------------------------------------------------

void CShortMsg::SmsReceivedInit()
{
    WriteDebug("SmsReceivedInit: BEGIN:");
    if (mc_s_title)
        mc_s_title->setText(UiLoadString(31279));
    WriteDebug("SmsReceivedInit: mc_s_title.SetWindowText :");
    m_nFolder = 0;
    if (m_comboSort) {
        m_comboSort->clear();
        for (int id : {31259, 31260, 31261})
            m_comboSort->addItem(UiLoadString(id));
        m_comboSort->setCurrentIndex(GetComboSort("SMSMT", m_comboSort->count(), 1));
    }
    UpdateStateTips();
    WriteDebug("SmsReceivedInit: END:");
}

void CShortMsg::SmsSentInit()
{
    WriteDebug("SmsSentInit: BEGIN:");
    if (mc_s_title)
        mc_s_title->setText(UiLoadString(31280));
    WriteDebug("SmsSentInit: mc_s_title.SetWindowText :");
    m_nFolder = 1;
    if (m_comboSort) {
        m_comboSort->clear();
        for (int id : {31290, 31291, 31292, 31293})
            m_comboSort->addItem(UiLoadString(id));
        m_comboSort->setCurrentIndex(GetComboSort("SMSMO", m_comboSort->count(), 1));
    }
    UpdateStateTips();
    WriteDebug("SmsSentInit: END:");
}

void CShortMsg::OnBRecv()
{
    if (!m_bRecv || !m_bRecv->isChecked() || m_nFolder == 0) {
        if (m_bRecv && m_nFolder == 0)
            m_bRecv->setChecked(true);
        return;
    }
    if (m_bSent)
        m_bSent->setChecked(false);
    SmsReceivedInit();
    if (m_nSrcStorage != SMS_NOSELECT && !ClickRbSms(0)) {
        m_bRecv->setChecked(false);
        if (m_bSent) {
            m_bSent->setChecked(true);
            m_bSent->setFocus();
        }
        SmsSentInit();
    }
}

void CShortMsg::OnBSent()
{
    if (!m_bSent || !m_bSent->isChecked() || m_nFolder == 1) {
        if (m_bSent && m_nFolder == 1)
            m_bSent->setChecked(true);
        return;
    }
    if (m_bRecv)
        m_bRecv->setChecked(false);
    SmsSentInit();
    if (m_nSrcStorage != SMS_NOSELECT && !ClickRbSms(1)) {
        m_bSent->setChecked(false);
        if (m_bRecv) {
            m_bRecv->setChecked(true);
            m_bRecv->setFocus();
        }
        SmsReceivedInit();
    }
}

// The folder's rows in the chosen order. Only the ORDER BY column is part
// of the text, picked from a fixed set; the status values are bound.
std::string CShortMsg::BuildFolderQuery() const
{
    const int sort = m_comboSort ? m_comboSort->currentIndex() : 1;
    const char* const columns = "SELECT Location, msgType, Date, AddrList, Text FROM EntrySMS ";
    if (m_nFolder == 1 && (sort == 2 || sort == 3))
        return std::string(columns) + "WHERE msgType = ?1 ORDER BY Date";
    if (m_nFolder != 0 && m_nFolder != 1)
        return std::string();
    const char* order = sort == 0 ? "SortAddr" : (sort == 2 && m_nFolder == 0) ? "msgType" : "Date";
    return std::string(columns) + "WHERE msgType = ?1 OR msgType = ?2 OR msgType BETWEEN ?3 AND ?4 ORDER BY " +
           order + ", Date";
}

void CShortMsg::BindFolderQuery(CSMSQuery& q) const
{
    const int sort = m_comboSort ? m_comboSort->currentIndex() : 1;
    if (m_nFolder == 1 && (sort == 2 || sort == 3)) {
        q.Bind(1, static_cast<int64_t>(sort == 2 ? 3 : 2));
        return;
    }
    const int64_t v[4] = {m_nFolder == 0 ? 0 : 2, m_nFolder == 0 ? 1 : 3, m_nFolder == 0 ? 5 : 11,
                          m_nFolder == 0 ? 10 : 16};
    for (int i = 0; i < 4; ++i)
        q.Bind(i + 1, v[i]);
}

// ---- Names from the phonebook ------------------------------------------------------------------

void CShortMsg::OpenPhonebookLookup()
{
    m_nameCache.clear();
    m_pPhonebook = std::make_unique<CReadOnlyDatabase>(PhonebookPath());
    m_pPhoneQuery.reset();
    if (m_pPhonebook->IsOpen())
        m_pPhoneQuery = std::make_unique<CSMSFileQuery>(
            *m_pPhonebook, "SELECT Name, Phone, ShortPhone FROM EntryPhone WHERE Phone = ?1 OR ShortPhone = ?1");
}

void CShortMsg::ClosePhonebookLookup()
{
    m_pPhoneQuery.reset();
    m_pPhonebook.reset();
    m_nameCache.clear();
}

bool CShortMsg::FindNameInPhonebook(const std::string& number, std::string& name)
{
    if (!m_pPhoneQuery || !m_pPhoneQuery->IsValid() || number.empty())
        return false;
    if (auto it = m_nameCache.find(number); it != m_nameCache.end()) {
        name = it->second;
        return !name.empty();
    }
    std::string found;
    m_pPhoneQuery->Reset();
    m_pPhoneQuery->Bind(1, number);
    while (found.empty() && m_pPhoneQuery->Step()) {
        const std::string n = m_pPhoneQuery->Text(0);
        if (!n.empty() && (SameNoCase(m_pPhoneQuery->Text(2), number) || SameNoCase(m_pPhoneQuery->Text(1), number)))
            found = n;
    }
    m_pPhoneQuery->Reset();
    m_nameCache.emplace(number, found);
    name = found;
    return !found.empty();
}

void CShortMsg::ResolveSenderNames(CAddressList& list)
{
    const bool phonebook = m_pPhoneQuery && m_pPhoneQuery->IsValid();
    for (int i = 0; i < list.GetCount(); ++i) {
        CAddress* a = list.GetAt(i);
        if (!phonebook) {
            if (a->GetName().empty())
                a->SetName(a->GetNumber());
            continue;
        }
        if (a->GetNumber().empty()) {
            a->SetName(QStringToPc(UiLoadString(31312)));
            continue;
        }
        if (a->GetName().empty() || a->GetName() == a->GetNumber()) {
            std::string name;
            a->SetName(FindNameInPhonebook(a->GetNumber(), name) ? name : a->GetNumber());
        }
    }
}

void CShortMsg::NameFromPhonebook(CAddressList& list)
{
    // Only names found are set: the addresses may be stored again (a reply
    // is kept with its recipients), and a number is no name.
    OpenPhonebookLookup();
    for (int i = 0; i < list.GetCount(); ++i) {
        CAddress* a = list.GetAt(i);
        std::string name;
        if ((a->GetName().empty() || a->GetName() == a->GetNumber()) && FindNameInPhonebook(a->GetNumber(), name))
            a->SetName(name);
    }
    ClosePhonebookLookup();
}

// ---- The list -----------------------------------------------------------------------------------

void CShortMsg::InsertListColumns(bool scrollBar)
{
    if (!m_list)
        return;
    m_list->InsertColumn(UiLoadString(m_nFolder == 1 ? 31290 : 31259), 0, 3, scrollBar);
    m_list->InsertColumn(UiLoadString(31291), 1, 3, scrollBar);
    m_list->InsertColumn(UiLoadString(31454), 2, 3, scrollBar);
    // A full international number and the widest date and time.
    m_list->SetColumnSample(0, QStringLiteral("+33612345678"));
    m_list->SetColumnSample(1, DateText(46384.99930555555));  // 28 December 2026, 23:59
}

void CShortMsg::FillList(CDaoDatabase* db, bool reset)
{
    if (!m_list)
        return;
    WaitCursor wait;
    struct RowData {
        int32_t location;
        int type;
        double date;
        std::string addr, text;
    };
    std::vector<RowData> rows;
    bool damaged = false;
    if (db && db->IsOpen()) {
        CSMSQuery q(db, BuildFolderQuery().c_str());
        BindFolderQuery(q);
        while (q.Step())
            rows.push_back({static_cast<int32_t>(q.Int(0)), static_cast<int>(q.Int(1)), q.Real(2), q.Text(3), q.Text(4)});
        damaged = q.Failed();
    }
    const int count = static_cast<int>(rows.size());
    m_list->setUpdatesEnabled(false);
    m_list->DeleteAllRows();
    m_list->DeleteAllColumns();
    InsertListColumns(count > m_list->RowsPerPage());
    m_list->AllocLocations(count, reset);
    ClearMessagePane();
    OpenPhonebookLookup();
    const QString noAddress = UiLoadString(31312);
    for (int r = 0; r < count; ++r) {
        const RowData& d = rows[static_cast<size_t>(r)];
        CAddressList list;
        CEntrySMSRecordset::ParseAddrList(d.addr, list);
        ResolveSenderNames(list);
        const SMSRowLook look = SMSRowLookOf(d.type);
        const QString who = d.addr.empty() ? noAddress : PcToQString(FormatAddressColumn(list));
        m_list->SetRowText(r, 0, who, look.image, look.param);
        if (reset)
            m_list->SetLocation(r, d.location);
        m_list->SetRowText(r, 1, DateText(d.date), look.image);
        m_list->SetRowText(r, 2, OneLine(d.text), look.image);
        SetRowParam(r, look.param);
    }
    ClosePhonebookLookup();
    UpdateCountText(count);
    if (count == 0)
        UpdateSortComboState(db);
    m_list->setUpdatesEnabled(true);
    // A damaged file must not pass for an empty store; it is only read here,
    // so it stays as it is for the user to repair or restore.
    if (damaged) {
        WriteDebug("CShortMsg::FillList -> the database cannot be read: ", db->GetName());
        ReportDatabaseNotOpened(db->GetName());
    }
}

void CShortMsg::SetRowParam(int row, int param)
{
    if (m_list && row >= 0 && row < m_list->GetRowCount())
        m_list->Model()->SetParam(row, param);
}

void CShortMsg::EnsureLastRowVisible()
{
    if (m_list && m_list->GetRowCount() > 0)
        m_list->scrollTo(m_list->Model()->index(m_list->GetRowCount() - 1, 0));
}

void CShortMsg::UpdateCountText(int n)
{
    QString source;
    CZorqMMIDoc* doc = GetDocument();
    if (CJetDatabase* db = SourceDatabase()) {
        const QFileInfo info(QString::fromStdString(db->GetName()));
        const QString file = info.fileName();
        if (file.compare(QLatin1String("defsms.mdb"), Qt::CaseInsensitive) != 0 &&
            file.compare(QLatin1String("SMSimSIM.mdb"), Qt::CaseInsensitive) != 0) {
            QString base = info.completeBaseName();
            if (base.size() > 16)
                base = base.left(15) + QStringLiteral("...");
            source = UiFormatString(31478, {base});
        }
    }
    QString countText;
    if (n <= 0) {
        countText = UiLoadString(31303);
        if (m_bFind)
            m_bFind->setEnabled(false);
    } else {
        countText = n == 1 ? UiFormatString(31295, {QString::number(n)}) : UiFormatString(31296, {QString::number(n)});
        if (m_comboSort)
            m_comboSort->setEnabled(true);
        if (m_bFind)
            m_bFind->setEnabled(true);
    }
    QString room;
    if (m_nSrcStorage == SMS_SRC_PC) {
        room = UiLoadString(31840);
    } else if (doc) {
        int free = 0;
        doc->CheckSMSRoom(m_nSrcStorage, 0, &free);
        room = free <= 0 ? UiLoadString(31850) : UiFormatString(31839, {QString::number(free)});
    }
    if (m_static1061)
        m_static1061->setText(countText + source + QStringLiteral(". ") + room);
}

// ---- The message pane ---------------------------------------------------------------------------

void CShortMsg::ClearMessagePane()
{
    for (QLabel* l : {m_static1127, m_static1128, m_static1129, m_static1063, m_static1141, m_static1140})
        if (l)
            l->clear();
    if (m_edit1065)
        m_edit1065->clear();
    for (QWidget* w : std::initializer_list<QWidget*>{m_edit1102, m_static1098, m_static1096, m_checkRecv, m_checkSent})
        if (w)
            w->hide();
}

bool CShortMsg::SeekListRow(int32_t location)
{
    if (!m_pListRecordset)
        return false;
    try {
        if (!m_pListRecordset->IsOpen()) {
            m_pListRecordset->Open(dbOpenTable);
            m_pListRecordset->SetCurrentIndex("indLoc");
        }
        return m_pListRecordset->Seek("=", CVariant::Text(std::to_string(location)));
    } catch (const CDaoException& e) {
        WriteDebug("CShortMsg::SeekListRow -> ", e.what());
        return false;
    }
}

void CShortMsg::ShowSelectedMessage()
{
    if (!m_list)
        return;
    const QList<int> selected = m_list->GetSelectedRows();
    if (selected.isEmpty())
        return;
    const int row = selected.first();
    if (m_list->GetRowParam(row) == 1) {
        m_list->SetRowMarked(row);
        MarkRowRead(row);
    } else if (m_list->GetRowParam(row) == 2) {
        // An incomplete long message is read too; it stays marked incomplete.
        MarkRowRead(row);
    }
    if (SourceDatabase())
        ShowMessage(m_list->GetLocation(row));
}

void CShortMsg::ShowMessage(int32_t location)
{
    if (!SeekListRow(location))
        return;
    const CEntrySMSRecordset& rs = *m_pListRecordset;
    if (m_edit1065)
        m_edit1065->setPlainText(PcToQString(rs.Text));
    int addrLabel = 31298, dateLabel = 31299;
    switch (rs.msgType) {
    case 2: case 11: case 12: case 13: addrLabel = 31300; dateLabel = 31302; break;
    case 3: case 14: case 15: case 16: addrLabel = 31300; dateLabel = 31301; break;
    default: break;
    }
    CAddressList list;
    rs.GetAddrList(list);
    OpenPhonebookLookup();
    ResolveSenderNames(list);
    ClosePhonebookLookup();
    auto setText = [](QLabel* l, const QString& t) {
        if (l)
            l->setText(t);
    };
    if (list.IsEmpty()) {
        for (QLabel* l : {m_static1129, m_static1127, m_static1141, m_static1140})
            setText(l, QString());
        if (m_edit1102)
            m_edit1102->hide();
    } else if (list.GetCount() == 1) {
        const CAddress* a = list.GetAt(0);
        setText(m_static1129, QString());
        if (m_edit1102)
            m_edit1102->hide();
        setText(m_static1127, UiLoadString(addrLabel));
        if (a->GetNumber().empty() || SameNoCase(a->GetName(), a->GetNumber())) {
            setText(m_static1140, QString());
            setText(m_static1141, PcToQString(a->GetNumber()));
        } else {
            setText(m_static1141, PcToQString(a->GetName()));
            setText(m_static1140, PcToQString(a->GetNumber()));
        }
    } else {
        setText(m_static1129, UiLoadString(addrLabel));
        for (QLabel* l : {m_static1127, m_static1141, m_static1140})
            setText(l, QString());
        if (m_edit1102) {
            m_edit1102->setText(PcToQString(FormatAddressDetails(list)));
            // A long list is read from its first recipient: the field shows
            // its start, not the end where setting the text leaves the caret.
            m_edit1102->setCursorPosition(0);
            m_edit1102->show();
        }
    }
    setText(m_static1128, UiLoadString(dateLabel));
    setText(m_static1063, DateText(rs.Date));
    CZorqMMIDoc* doc = GetDocument();
    const bool report = doc && doc->IsStatusReportAvailable() && rs.StatusReport == 1;
    for (QWidget* w : std::initializer_list<QWidget*>{m_checkRecv, m_static1098})
        if (w)
            w->setVisible(report);
    for (QWidget* w : std::initializer_list<QWidget*>{m_static1096, m_checkSent})
        if (w)
            w->setVisible(rs.ReplyPath == 1);
    UpdateButtons();
}

void CShortMsg::MarkRowRead(int row)
{
    if (!m_list || !SeekListRow(m_list->GetLocation(row)))
        return;
    try {
        CEntrySMSRecordset& rs = *m_pListRecordset;
        if (CZorqMMIDoc* doc = GetDocument())
            doc->MarkConcatMessageRead(&rs, m_nSrcStorage);
        // Unread parts become read parts: a message whose parts are not all
        // here stays incomplete (5 -> 8, 6 -> 9); only a complete one (7)
        // becomes a complete read message.
        int16_t next = rs.msgType;
        switch (rs.msgType) {
        case 0: next = 1; break;
        case 5: next = 8; break;
        case 6: next = 9; break;
        case 7: next = 10; break;
        default: break;
        }
        if (next != rs.msgType) {
            rs.Edit();
            rs.msgType = next;
            rs.Update();
            const SMSRowLook look = SMSRowLookOf(next);
            m_list->Model()->SetImage(row, look.image);
            SetRowParam(row, look.param);
        }
    } catch (const CDaoException& e) {
        WriteDebug("CShortMsg::MarkRowRead -> ", e.what());
    }
}

// ---- Selection and buttons ----------------------------------------------------------------------

void CShortMsg::OnSelectionChanged()
{
    if (!m_list)
        return;
    const int selected = m_list->GetSelectedCount();
    m_bAllSelected = selected == m_list->GetRowCount() && selected > 0 ? 1 : 0;
    if (selected == 0) {
        if (m_list->GetRowCount() > 0) {
            ClearMessagePane();
            DisableButtons();
        }
    } else if (selected == 1) {
        ShowSelectedMessage();
    } else {
        ClearMessagePane();
        UpdateButtons();
    }
}

void CShortMsg::OnListClick() { OnSelectionChanged(); }

void CShortMsg::OnColumnClick()
{
    if (!m_list)
        return;
    m_list->SelectAll();
    OnSelectionChanged();
}

void CShortMsg::OnSelChangeComboSort()
{
    if (m_nSrcStorage == SMS_NOSELECT)
        return;
    CJetDatabase* db = SourceDatabase();
    if (!db)
        return;
    SaveListSettings();
    const int32_t location = m_list ? m_list->GetSelectedLocation() : -1;
    const bool single = m_list && m_list->GetSelectedCount() == 1;
    DisableButtons();
    FillList(db, true);
    if (!m_list)
        return;
    if (!single) {
        if (m_comboSort && m_comboSort->currentIndex() == 1 && m_list->GetRowCount() > 0) {
            m_list->SelectRow(m_list->GetRowCount() - 1);
            EnsureLastRowVisible();
            ShowSelectedMessage();
        }
    } else {
        const int row = m_list->FindRowByLocation(location);
        if (row >= 0) {
            m_list->SelectRow(row);
            ShowSelectedMessage();
        }
    }
}

void CShortMsg::GetSelectionCaps(SelectionCaps* caps)
{
    if (!caps)
        return;
    *caps = SelectionCaps{};
    if (!m_pListRecordset || !m_list)
        return;
    *caps = {1, 1, 1, 1, 1};
    const QList<int> rows = m_list->GetSelectedRows();
    const bool single = rows.size() == 1;
    for (int row : rows) {
        if (!SeekListRow(m_list->GetLocation(row)))
            continue;
        CMessage msg;
        msg.SetFromRecord(*m_pListRecordset);
        if (msg.CountUnsentRecipients() > 1 || msg.IsLong()) {
            caps->copySIM = 0;
            if (single)
                break;
        }
        if (m_pListRecordset->AddrList.empty()) {
            caps->reply = 0;
            if (single)
                break;
        }
    }
}

void CShortMsg::UpdateButtons()
{
    SelectionCaps caps;
    GetSelectionCaps(&caps);
    if (m_nSrcStorage == SMS_SRC_PC) {
        if (m_bDst)
            m_bDst->setEnabled(caps.copyPC == 1 &&
                               GetIniProfileInt("ConditionnalImplementation", "RightClickOnPC", 0) != 2);
        if (m_bDelete)
            m_bDelete->setEnabled(caps.erase == 1);
    } else if (m_nSrcStorage == SMS_SRC_SIM) {
        if (m_bDst)
            m_bDst->setEnabled(caps.copyPC == 1);
        if (m_bDelete)
            m_bDelete->setEnabled(caps.erase == 1 && gv_SPIO_com_status == 2);
    }
    if (m_bPrint)
        m_bPrint->setEnabled(true);
    const bool single = m_list && m_list->GetSelectedCount() == 1;
    if (m_bCompose)
        m_bCompose->setEnabled(single && m_nFolder == 0 && caps.reply == 1);
    if (m_bOpen)
        m_bOpen->setEnabled(single && caps.open == 1);
}

void CShortMsg::DisableButtons()
{
    for (QPushButton* b : {m_bDst, m_bPrint, m_bDelete, m_bCompose, m_bOpen})
        if (b)
            b->setEnabled(false);
    EndFind();
}

void CShortMsg::EndFind()
{
    m_bFindActive = 0;
    m_findList.clear();
    if (m_bFind)
        m_bFind->setIcon(LoadAppIcon(164));
    UpdateStateTips();
}

void CShortMsg::UpdateStateTips()
{
    // The find button steps through the hits while a find runs; the open
    // button forwards a received message and sends a stored one again.
    if (m_bFind)
        m_bFind->setToolTip(UiLoadString(m_bFindActive ? 31268 : 31267));
    if (m_bOpen)
        m_bOpen->setToolTip(UiLoadString(m_nFolder == 0 ? 31269 : 31270));
}

void CShortMsg::OnMouseMove(const QPoint& point)
{
    UpdateStateTips();
    CMainView::OnMouseMove(point);
}
