// The message screen's printing of the selected messages and its find by
// sender or recipient name or number, stepping through the hits.
#include "shortmsg.h"

#include "entrylistctrl.h"
#include "jetdatabase.h"
#include "message.h"
#include "pccharset.h"
#include "print.h"
#include "smsdatabase.h"
#include "smsquery.h"
#include "strutil.h"
#include "uiservices.h"
#include "utilities.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"

#include <QFileInfo>
#include <QPushButton>

namespace {

struct PrintLabels {
    int status = 0, address = 0, date = 0;  // 0: empty label
};

PrintLabels PrintLabelsOf(int msgType)
{
    switch (msgType) {
    case 0: case 5: case 6: case 7: return {31394, 31388, 31390};
    case 1: case 8: case 9: case 10: return {31393, 31388, 31390};
    case 2: case 3: case 11: case 12: case 13: case 14: case 15: case 16: return {31395, 31387, 31389};
    default: return {};
    }
}

QString Label(int id) { return id ? UiLoadString(id) : QString(); }

}  // namespace

// ---- Printing -----------------------------------------------------------------------------------

QString CShortMsg::PrintTitle()
{
    QString title;
    if (m_nSrcStorage == SMS_SRC_PC) {
        if (CJetDatabase* db = SourceDatabase()) {
            const QString base = QFileInfo(QString::fromStdString(db->GetName())).completeBaseName();
            if ((base + QStringLiteral(".mdb")).compare(QLatin1String("defsms.mdb"), Qt::CaseInsensitive) == 0)
                title = UiLoadString(31396);
            else
                title = UiFormatString(31397, {base});
        }
    } else if (m_nSrcStorage == SMS_SRC_SIM) {
        title = UiLoadString(31398);
    }
    std::string text = title.toStdString();
    ReplaceAppName(text);
    return QString::fromStdString(text);
}

void CShortMsg::OnBPrint()
{
    if (!m_list)
        return;
    const QString title = PrintTitle();
    QPrinter* target = PrintTarget();
    const bool started = target ? PrintBeginOn(target, title, this) : PrintBegin(title, this);
    if (started) {
        // The addresses print as the list shows them, phonebook names
        // looked up now.
        OpenPhonebookLookup();
        for (int row = 0; row < m_list->GetRowCount(); ++row)
            if (m_list->IsRowSelected(row))
                PrintMessage(m_list->GetLocation(row));
        ClosePhonebookLookup();
        PrintEnd(true);
    }
    NotifyControlChanged(m_list);
}

int CShortMsg::CountPrintLines(int32_t location)
{
    if (!SeekListRow(location))
        return 2;
    const CEntrySMSRecordset& rs = *m_pListRecordset;
    CAddressList list;
    rs.GetAddrList(list);
    ResolveSenderNames(list);
    return 2 + PrintCountLines(PcToQString(FormatAddressColumn(list))) +
           PrintCountLines(PcToQString(FormatDateTimeText(rs.Date, ProgramLangId()))) + PrintCountLines(PcToQString(rs.Text));
}

void CShortMsg::PrintMessage(int32_t location)
{
    if (!m_pListRecordset)
        return;
    if (PrintIsPageFull(CountPrintLines(location)))
        PrintNewPage();
    if (SeekListRow(location)) {
        const CEntrySMSRecordset& rs = *m_pListRecordset;
        const PrintLabels labels = PrintLabelsOf(rs.msgType);
        CAddressList list;
        rs.GetAddrList(list);
        ResolveSenderNames(list);
        PrintText(UiLoadString(31386), Label(labels.status));
        PrintText(Label(labels.address), PcToQString(FormatAddressColumn(list)));
        PrintText(Label(labels.date), PcToQString(FormatDateTimeText(rs.Date, ProgramLangId())));
        PrintText(UiLoadString(31391), PcToQString(rs.Text));
    }
    PrintSeparatorSpaced();
}

// ---- Find ---------------------------------------------------------------------------------------

int CShortMsg::RunFindDialog()
{
    CDlgFindSMS dlg(this, this);
    dlg.SetPosition(182, 105);
    dlg.SetFindText(UiLoadString(m_nFolder == 0 ? 31435 : 31434));
    return dlg.DoModal();
}

void CShortMsg::OnBFind()
{
    if (!m_list)
        return;
    if (!m_bFindActive) {
        if (RunFindDialog() != 1)
            return;
        // The dialog's OK found hits and showed the first (FindNext).
        if (m_findResult < 0)
            return;
    } else if (!m_findList.isEmpty()) {
        FindNext();
    } else {
        EndFind();
        return;
    }
    ShowFindHit();
}

void CShortMsg::ShowFindHit()
{
    if (m_findList.isEmpty()) {
        if (m_bFind)
            m_bFind->setIcon(LoadAppIcon(164));
        m_bFindActive = 0;
    } else {
        if (m_bFind)
            m_bFind->setIcon(LoadAppIcon(169));
        m_bFindActive = 1;
    }
    UpdateStateTips();
    if (m_findResult >= 0 && m_findResult < m_list->GetRowCount()) {
        m_list->SelectRow(m_findResult);
        m_list->FocusRow(m_findResult);
    }
    if (m_list->GetSelectedCount() == 1 && SourceDatabase()) {
        ShowMessage(m_list->GetLocation(m_list->GetSingleSelectedRow()));
    } else {
        ClearMessagePane();
        UpdateButtons();
    }
    NotifyControlChanged(m_list);
}

bool CShortMsg::FindMsg(const QString& text, bool exact)
{
    m_findList.clear();
    m_findResult = -1;
    CJetDatabase* db = SourceDatabase();
    if (!db || !m_list)
        return false;
    const std::string needle = QStringToPc(text);
    CSMSQuery q(db, BuildFolderQuery().c_str());
    BindFolderQuery(q);
    // Names are matched as the list shows them, phonebook names included.
    OpenPhonebookLookup();
    while (q.Step()) {
        CAddressList list;
        CEntrySMSRecordset::ParseAddrList(q.Text(3), list);
        ResolveSenderNames(list);
        const int hit = exact ? list.FindByText(needle) : list.FindContaining(needle);
        if (hit < 0)
            continue;
        const int row = m_list->FindRowByLocation(static_cast<int32_t>(q.Int(0)));
        if (row >= 0)
            m_findList.append(row);
    }
    ClosePhonebookLookup();
    return !m_findList.isEmpty();
}

void CShortMsg::FindNext()
{
    if (!m_findList.isEmpty())
        m_findResult = m_findList.takeFirst();
}

void CShortMsg::ClearFindSelection()
{
    if (m_list && m_list->GetSelectedCount() > 0)
        m_list->DeselectAll();
}
