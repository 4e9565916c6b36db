// The phonebook screen's print, find and copy-to commands.
#include "phonebook.h"

#include "entrylistctrl.h"
#include "pbdatabase.h"
#include "pccharset.h"
#include "print.h"
#include "qxpbsrcnewlist.h"
#include "uiservices.h"
#include "utilities.h"
#include "zorqmmidoc.h"

namespace {

enum { IDC_PRINT = 1024, IDC_FIND = 1032, IDC_COPYTO = 1131, ID_PRINT = 32776 };

}  // namespace

void CPhoneBook::OnOtherCommand(int id)
{
    switch (id) {
    case IDC_PRINT:
    case ID_PRINT:
        OnPrint();
        return;
    case IDC_FIND:
        OnFind();
        return;
    case IDC_COPYTO:
        OnCopyTo();
        return;
    default:
        return;
    }
}

QString CPhoneBook::PrintTitle() const
{
    QString title;
    switch (m_pPane->Data().Current()) {
    case 0: {
        const std::string path = CPBSourceData::GetPCDatabasePath();
        const std::string file = GetFileNamePart(path);
        title = file == "defpb.mdb" ? UiLoadString(31372)
                                    : UiFormatString(31373, {PcToQString(GetBaseName(path))});
        break;
    }
    case 1: title = UiLoadString(31374); break;
    case 2: title = UiLoadString(31843); break;
    case 3: title = UiLoadString(31375); break;
    default: break;
    }
    title.replace(QStringLiteral("[APP_NAME]"), QString::fromLatin1(kProductName));
    return title;
}

void CPhoneBook::OnPrint()
{
    CEntryListCtrl* list = m_pPane->GetListCtrl();
    if (!list || list->GetSelectedCount() == 0)
        return;
    const QString title = PrintTitle();
    QPrinter* printer = PrintTarget();
    if (!(printer ? PrintBeginOn(printer, title, this) : PrintBegin(title, this)))
        return;
    for (int row : list->GetSelectedRows()) {
        PBEntry e;
        if (!m_pPane->Data().GetEntryAt(list->GetLocation(row), e))
            continue;
        const std::string* values[] = {&e.Name, &e.Phone, &e.Address, &e.Otherphone,
                                       &e.Fax, &e.Email, &e.Company, &e.Notes};
        int lines = 6;
        for (const std::string* v : values)
            lines += PrintCountLines(PcToQString(*v));
        if (PrintIsPageFull(lines) && !PrintNewPage()) {
            PrintEnd(false);
            return;
        }
        PrintBullet(PcToQString(e.Name.empty() ? e.Phone : e.Name));
        PrintSeparator();
        for (int i = 0; i < 8; ++i)
            PrintText(UiLoadString(31377 + i), PcToQString(*values[i]));
        PrintSeparatorSpaced();
    }
    PrintEnd(true);
}

void CPhoneBook::OnFind()
{
    if (!SettlePendingEdit())
        return;
    CDlgFindPB dlg(this, this);
    const QPoint at = mapToGlobal(QPoint(34, 151));
    dlg.SetPosition(at.x(), at.y());
    if (dlg.DoModal() == IDOK)
        EnableCtrl(IDC_FIND, true);
}

void CPhoneBook::OnCopyTo()
{
    CZorqMMIDoc* doc = GetDocument();
    CDlgDstChoicePB dlg(m_pPane->Data().Current(), this);
    dlg.SetDstSIMEnabled(doc && doc->IsPBStorageAvailable(1));
    dlg.SetDstSIMFDNEnabled(doc && doc->IsPBStorageAvailable(2));
    dlg.SetDstPhoneEnabled(doc && doc->IsPBStorageAvailable(3));
    if (dlg.DoModal() != IDOK)
        return;
    if (dlg.GetChoice() == CDlgDstChoice::DST_EXISTING_PC_FILE) {
        CopyToExistingPCFile();
        return;
    }
    if (dlg.GetChoice() == CDlgDstChoice::DST_NEW_PC_FILE) {
        CopyToNewPCFile();
        return;
    }
    switch (dlg.GetDst()) {
    case 4: CopyToPC(); break;
    case 5: m_nCopyDst = 5; ClickDstMirrorDatabase(5, nullptr); break;
    case 6: m_nCopyDst = 6; ClickDstMirrorDatabase(6, nullptr); break;
    case 7: m_nCopyDst = 7; ClickDstMirrorDatabase(7, nullptr); break;
    default: break;
    }
}
