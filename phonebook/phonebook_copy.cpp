// The phonebook screen's copies between storages and its drops.
#include "phonebook.h"

#include "debugtrace.h"
#include "dragdrop.h"
#include "entrylistctrl.h"
#include "mtr_frame.h"
#include "mtr_gen.h"
#include "mtr_pb.h"
#include "pbtransfer.h"
#include "pccharset.h"
#include "profile.h"
#include "qxpbsrcnewlist.h"
#include "strutil.h"
#include "uiservices.h"
#include "vcard.h"
#include "zorqmmidoc.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QMimeData>

namespace {

constexpr int kDone = -35;
// "No phone was found...": what the program says of a phone that does not answer.
constexpr int kNoPhoneString = 31885;

enum {
    IDC_SRC_PC = 1001, IDC_SRC_SIM = 1003, IDC_SRC_PHONE = 1004, IDC_SRC_FDN = 1006, IDC_LIST = 1009,
    IDC_PRINT = 1024, IDC_OK = 1025, IDC_DELETE = 1027, IDC_COPYTO = 1131, IDC_NEW = 1069,
};

}  // namespace

class CopyRunning {
public:
    explicit CopyRunning(CPhoneBook* screen) : m_pScreen(screen) { m_pScreen->BeginCopy(); }
    ~CopyRunning() { m_pScreen->EndCopy(); }
    CopyRunning(const CopyRunning&) = delete;
    CopyRunning& operator=(const CopyRunning&) = delete;

private:
    CPhoneBook* m_pScreen;
};

void CPhoneBook::BeginCopy()
{
    if (m_nCopying++ > 0)
        return;
    QWidget* fresh = m_pPane->GetFourthButton();
    m_bNewWasEnabled = fresh && fresh->isEnabled();
    if (fresh)
        fresh->setEnabled(false);
    if (QWidget* ok = GetDlgItem(IDC_OK))
        ok->setEnabled(false);
}

void CPhoneBook::EndCopy()
{
    if (--m_nCopying > 0)
        return;
    if (QWidget* fresh = m_pPane->GetFourthButton(); fresh && m_bNewWasEnabled)
        fresh->setEnabled(true);
    if (QWidget* ok = GetDlgItem(IDC_OK); ok && ok->isVisible())
        ok->setEnabled(true);
}

int CPhoneBook::AskMirror()
{
    CDlgDstMirrorDatabase dlg(this, this);
    dlg.SetOwnerKind(1);
    return dlg.DoModal() == IDOK ? 1 : 0;
}

void CPhoneBook::RunPCMenu()
{
    if (GetIniProfileInt("ConditionnalImplementation", "RightClickOnPC", 0) != 0)
        return;
    m_nPCMenuContext = 4;
    QMenu menu(this);
    QAction* fresh = menu.addAction(UiLoadString(31801));
    QAction* existing = menu.addAction(UiLoadString(31802));
    QAction* chosen = menu.exec(mapToGlobal(QPoint(161, 389)));
    m_nPCMenuContext = 8;
    if (chosen == fresh)
        CopyToNewPCFile();
    else if (chosen == existing)
        CopyToExistingPCFile();
}

void CPhoneBook::CopyToPC()
{
    if (!SettlePendingEdit())
        return;
    if (m_pPane->Data().IsSrcPC()) {
        RunPCMenu();
        return;
    }
    CopyToPCDatabase(true, nullptr);
}

void CPhoneBook::CopyToPCDatabase(bool menu, const std::vector<CVCard>* cards)
{
    CZorqMMIDoc* doc = GetDocument();
    const std::string path = CPBSourceData::GetPCDatabasePath();
    if (!doc || !FileExists(path) || doc->OpenPBDatabaseByName(4, path) != 0) {
        if (menu || cards)
            RunPCMenu();
        return;
    }
    if (cards)
        DropVCards(4, *cards);
    else
        CopyIntoPCFile(path, true);
}

void CPhoneBook::CopyToNewPCFile()
{
    CQXPBSrcNewList chooser(this);
    chooser.AttachDocument(GetDocument());
    QString path;
    if (chooser.NewDatabaseFile(&path, false))
        CopyIntoPCFile(QStringToPc(path), false);
}

void CPhoneBook::CopyToExistingPCFile()
{
    CQXPBSrcNewList chooser(this);
    chooser.AttachDocument(GetDocument());
    QString path;
    if (chooser.OpenDatabaseFile(&path, false))
        CopyIntoPCFile(QStringToPc(path), true);
}

void CPhoneBook::CopyIntoPCFile(const std::string& path, bool ask)
{
    CopyRunning copying(this);
    CZorqMMIDoc* doc = GetDocument();
    if (!doc || doc->OpenPBDatabaseByName(4, path) != 0)
        return;
    CEntryListCtrl* list = m_pPane->GetListCtrl();
    if (ask && list && list->GetRowCount() > 0 && list->GetSelectedCount() == list->GetRowCount() &&
        AskMirror() != 1)
        return;
    std::vector<int> locations;
    if (list)
        for (int row : list->GetSelectedRows())
            locations.push_back(list->GetLocation(row));
    if (m_pPane->Data().OpenSourceDatabase() != 0)
        return;
    CJetDatabase* source = nullptr;
    doc->OpenPBDatabase(&source, m_pPane->Data().Current(), m_pPane->Data().IsSrcPC() ? CPBSourceData::GetPCDatabasePath() : "");
    CPBTransfer transfer(doc, this);
    transfer.SetPCDestination(path);
    transfer.CopySelection(4, source, locations, m_bEraseDst);
    if (m_pPane->Data().IsSrcPC() && path == CPBSourceData::GetPCDatabasePath())
        m_pPane->FillList();
}

void CPhoneBook::AskMirrorAndCopy(int destination)
{
    CopyRunning copying(this);
    CEntryListCtrl* list = m_pPane->GetListCtrl();
    if (list && list->GetRowCount() > 0 && list->GetSelectedCount() == list->GetRowCount() && AskMirror() != 1)
        return;
    std::vector<int> locations;
    if (list)
        for (int row : list->GetSelectedRows())
            locations.push_back(list->GetLocation(row));
    CZorqMMIDoc* doc = GetDocument();
    if (!doc || m_pPane->Data().OpenSourceDatabase() != 0)
        return;
    CJetDatabase* source = nullptr;
    doc->OpenPBDatabase(&source, m_pPane->Data().Current(), m_pPane->Data().IsSrcPC() ? CPBSourceData::GetPCDatabasePath() : "");
    CPBTransfer transfer(doc, this);
    transfer.CopySelection(destination, source, locations, m_bEraseDst);
    m_pPane->Data().RefreshIfShowing(destination - 4);
}

void CPhoneBook::ClickDstMirrorDatabase(int d, const std::vector<CVCard>* cards)
{
    CopyRunning copying(this);
    CZorqMMIDoc* doc = GetDocument();
    if (!doc || d < 5 || d > 7)
        return;
    if (d == 6 && !CPBSourceData::VerifyPin2(doc))
        return;
    // No background step between the storage's selection and its writes.
    PBUploadPause pause(doc);
    const int failureText = d == 7 ? 31365 : 31364;
    if (!SettlePendingEdit())
        return;
    WriteDebugInt("CPhoneBook::ClickDstMirrorDatabase -> Select the Phonebook storage ", d);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const MTR_RESULT r = mtr_PB_select_storage(d);
    QApplication::restoreOverrideCursor();
    if (r == kDone) {
        if (!doc->IsPBStorageRead(d)) {
            const QPoint at = mapToGlobal(QPoint(73, 82));
            if (!doc->UpLoadPB(d, this, at.x(), at.y()))
                return;
            doc->SetPBStorageRead(d);
            // The reading selected the storage; writes go there again.
            if (mtr_PB_select_storage(d) != kDone)
                return;
        }
        if (cards)
            DropVCards(d, *cards);
        else
            AskMirrorAndCopy(d);
    } else {
        WriteDebug("CPhoneBook::ClickDstMirrorDatabase -> The storage could not be selected");
        if (mtr_failed_unanswered(r))
            UiMessageBoxId(kNoPhoneString);
        else if (mtr_GEN_translate_error(r) == -36)
            UiMessageBox(UiFormatString(failureText, {QString::number(r)}));
    }
    // The pane's own storage is selected again for its next phone work.
    if (m_pPane->Data().IsPhoneStorage())
        m_pPane->Data().SelectCurrSrcInMobile();
}

void CPhoneBook::DropVCards(int d, const std::vector<CVCard>& cards)
{
    CopyRunning copying(this);
    CPBTransfer transfer(GetDocument(), this);
    transfer.DropCopyVCards(d, cards);
}

// ---- drops --------------------------------------------------------------------------------

Qt::DropAction CPhoneBook::CanDropData(QWidget* target, const QMimeData* data)
{
    QByteArray pellard, vcard;
    QStringList files;
    if (!ReadEntryMimeData(data, &pellard, &vcard, &files))
        return Qt::IgnoreAction;
    const struct { int id; int storage; } buttons[] = {
        {IDC_SRC_PC, 0}, {IDC_SRC_SIM, 1}, {IDC_SRC_FDN, 2}, {IDC_SRC_PHONE, 3}};
    for (const auto& b : buttons)
        if (target == GetDlgItem(b.id))
            return b.storage != m_pPane->Data().Current() && target->isEnabled() ? Qt::CopyAction : Qt::IgnoreAction;
    if (!pellard.isEmpty() &&
        (target == GetDlgItem(IDC_COPYTO) || target == GetDlgItem(IDC_PRINT) || target == GetDlgItem(IDC_DELETE)))
        return Qt::CopyAction;
    if (target == m_pPane->GetListCtrl() && pellard.isEmpty() && (!vcard.isEmpty() || !files.isEmpty()))
        return Qt::CopyAction;
    return Qt::IgnoreAction;
}

bool CPhoneBook::OnDropData(QWidget* target, const QMimeData* data)
{
    QApplication::restoreOverrideCursor();
    QByteArray pellard, vcard;
    QStringList files;
    if (!ReadEntryMimeData(data, &pellard, &vcard, &files))
        return false;
    if (target)
        target->update(target->rect().adjusted(-32, -32, 32, 32));
    if (!pellard.isEmpty()) {
        // The screen's own entries.
        if (target == GetDlgItem(IDC_SRC_PC))
            CopyToPC();
        else if (target == GetDlgItem(IDC_SRC_SIM))
            ClickDstMirrorDatabase(5, nullptr);
        else if (target == GetDlgItem(IDC_SRC_FDN))
            ClickDstMirrorDatabase(6, nullptr);
        else if (target == GetDlgItem(IDC_SRC_PHONE))
            ClickDstMirrorDatabase(7, nullptr);
        else if (target == GetDlgItem(IDC_COPYTO))
            OnOtherCommand(IDC_COPYTO);
        else if (target == GetDlgItem(IDC_PRINT))
            OnOtherCommand(IDC_PRINT);
        else if (target == GetDlgItem(IDC_DELETE))
            OnBTrash();
        else
            return false;
        return true;
    }
    int d;
    if (target == GetDlgItem(IDC_SRC_PC))
        d = 4;
    else if (target == GetDlgItem(IDC_SRC_SIM))
        d = 5;
    else if (target == GetDlgItem(IDC_SRC_FDN))
        d = 6;
    else if (target == GetDlgItem(IDC_SRC_PHONE))
        d = 7;
    else if (target == m_pPane->GetListCtrl() && m_pPane->Data().Current() <= 3)
        d = m_pPane->Data().Current() + 4;
    else
        return false;
    // Every card of the drop is read first, then copied under one progress
    // window.
    std::vector<CVCard> cards;
    if (!vcard.isEmpty()) {
        for (const std::string& piece : SplitVCardText(vcard.toStdString())) {
            CVCard card;
            if (!card.ReadFromMemory(piece.data(), piece.size())) {
                UiMessageBoxId(31879);
                continue;
            }
            cards.push_back(std::move(card));
        }
    } else {
        for (int i = static_cast<int>(files.size()) - 1; i >= 0; --i) {
            std::vector<CVCard> read;
            if (!ReadVCardsFromFile(files[i].toStdString(), read) || read.empty()) {
                // Several files may be dropped at once: say which one failed.
                UiMessageBox(UiFormatString(31875, {files[i]}));
                continue;
            }
            cards.insert(cards.end(), read.begin(), read.end());
        }
    }
    if (!cards.empty()) {
        if (d == 4)
            CopyToPCDatabase(false, &cards);
        else
            ClickDstMirrorDatabase(d, &cards);
    }
    m_pPane->Data().RefreshIfShowing(d - 4);
    return true;
}
