#include "pbtransfer.h"

#include "debugtrace.h"
#include "dlgprogress.h"
#include "mtr_pb.h"
#include "mtr_poll.h"
#include "pbdatabase.h"
#include "pbsourcedata.h"
#include "pccharset.h"
#include "profile.h"
#include "uiservices.h"
#include "vcard.h"
#include "zorqmmidoc.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <memory>

namespace {

constexpr int kNoFreeLocation = 65534;

void ShowFormatted(int id, const QStringList& inserts) { UiMessageBox(UiFormatString(id, inserts)); }

// Polling stays off for the length of a transfer.
struct PollingOff {
    PollingOff() { mtr_set_poll_state(0); }
    ~PollingOff() { mtr_set_poll_state(1); }
};

// The progress window of a transfer (template 179).
class Progress {
public:
    Progress(QWidget* owner, int titleId, int range) : dlg_(owner, 179)
    {
        dlg_.SetTitleText(UiLoadString(titleId));
        if (dlg_.Create())
            dlg_.SetRange(range < 2 ? 2 : range);
        single_ = range < 2;
    }
    ~Progress() { Done(); }
    void Step() { dlg_.StepIt(); }
    bool Cancelled() const { return dlg_.IsCancelled(); }
    void Done()
    {
        if (done_)
            return;
        done_ = true;
        if (single_)
            dlg_.SetPos(2);
        dlg_.Finish(true);
    }

private:
    CDlgProgressText dlg_;
    bool single_ = false;
    bool done_ = false;
};

bool PhoneDestination(int d) { return d >= 5 && d <= 7; }

}  // namespace

void CPBTransfer::RollBack(CJetDatabase* db)
{
    try {
        if (db->InTransaction())
            db->Rollback();
    } catch (const CDaoException& e) {
        WriteDebug("CPhoneBook::CopySelection -> rollback: ", e.what());
    }
}

void CPBTransfer::ReportWriteFailure(const std::string& path, int total, bool unchanged)
{
    const QString file = QString::fromStdString(path);
    if (unchanged)
        ShowFormatted(31941, {file});
    else
        ShowFormatted(31940, {QString::number(m_nCopied), QString::number(total), file});
}

std::string CPBTransfer::PCDestination() const
{
    return m_strPCDestination.empty() ? CPBSourceData::GetPCDatabasePath() : m_strPCDestination;
}

CJetDatabase* CPBTransfer::OpenDestination(int d)
{
    if (!m_pDoc)
        return nullptr;
    CJetDatabase* db = nullptr;
    if (m_pDoc->OpenPBDatabase(&db, d, d == 4 ? PCDestination() : std::string()) != 0 || !db ||
        !db->IsOpen())
        return nullptr;
    return db;
}

PhoneChangeResult CPBTransfer::CopyRecordsetInMobile(int d, CEntryPhoneRecordset& row)
{
    if (row.ShortPhone.empty()) {
        UiMessageBoxId(31475);
        return PhoneChangeResult();
    }
    const QString title = PcToQString(row.Name.empty() ? row.Phone : row.Name);
    PhoneEntryText held;
    // The row goes to a place the mirror counts free.
    const PhoneChangeResult r = WritePhoneEntry(row.Location, row.ShortPhone, row.Name, row.NumberType,
                                                "CPhoneBook::CopyRecordsetInMobile", &held, true);
    if (held.read) {
        // The mirror shows the entry as the phone stores it.
        row.Phone = held.number;
        row.Name = held.name;
        row.ShortPhone = held.number;
        row.NumberType = held.type;
    }
    if (r.Unanswered()) {
        TellSilentWrite(r, title, true);
        return r;
    }
    if (r.Done())
        return r;
    const int maxNumber = m_pDoc ? m_pDoc->GetPBMaxNumberLength(d) : 250;
    if (DialDigitCount(row.ShortPhone) > maxNumber && gv_SPIO_com_status == 2)
        ShowFormatted(31477, {PcToQString(row.Phone), QString::number(maxNumber)});
    else
        ShowFormatted(31463, {title});
    return r;
}

bool CPBTransfer::Erase(int d)
{
    CJetDatabase* db = OpenDestination(d);
    if (!db)
        return false;
    bool ok = true;
    try {
        CEntryPhoneRecordset rs(db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntryPhone");
        const int count = static_cast<int>(rs.GetRecordCount());
        Progress progress(m_pOwner, 31334, count);
        while (!rs.IsEOF()) {
            if (PhoneDestination(d)) {
                const QString title = PcToQString(rs.Name.empty() ? rs.Phone : rs.Name);
                const PhoneChangeResult r = ErasePhoneEntry(rs.Location, "CPhoneBook::Erase");
                // A place the phone may still hold stays in the mirror, and
                // the copy does not start.
                if (!r.Landed()) {
                    if (r.Unanswered())
                        TellSilentErase(r, title, true);
                    else
                        ShowFormatted(31463, {title});
                    ok = false;
                    break;
                }
                // Erased after a silence: said, and the erase goes on.
                TellSilentErase(r, title, true);
            }
            rs.Delete();
            rs.MoveNext();
            progress.Step();
        }
    } catch (const CDaoException& e) {
        WriteDebug("CPhoneBook::Erase -> ", e.what());
        ok = false;
    }
    return ok;
}

bool CPBTransfer::CopySelection(int d, CJetDatabase* source, const std::vector<int>& locations,
                                bool& eraseFirst)
{
    m_nCopied = m_nCut = 0;
    m_bCancelled = false;
    if (!m_pDoc || !source || !source->IsOpen())
        return false;
    PollingOff polling;
    const bool replace = eraseFirst;
    CJetDatabase* dst = OpenDestination(d);
    if (!dst)
        return false;
    const int n = static_cast<int>(locations.size());
    const size_t maxName = static_cast<size_t>(m_pDoc->GetPBMaxTextLength(d));
    int room = 0;
    // A copy that replaces the destination needs room for its own entries only.
    if (!m_pDoc->CheckPBRoom(d, n, &room, replace)) {
        eraseFirst = false;
        ShowFormatted(31249, {QString::number(room)});
        m_pDoc->ClosePBDatabases(1);
        return false;
    }
    // The PC book that is replaced is emptied and filled in one transaction:
    // a failure, a cancel or a crash on the way leaves it as it was, never
    // half erased. (A phone storage is erased on the phone entry by entry;
    // its mirror follows the phone.)
    const bool atomic = d == 4 && eraseFirst;
    if (atomic) {
        try {
            dst->BeginTrans();
        } catch (const CDaoException& e) {
            WriteDebug("CPhoneBook::CopySelection -> ", e.what());
            eraseFirst = false;
            ReportWriteFailure(dst->GetName(), n, true);
            m_pDoc->ClosePBDatabases(1);
            return false;
        }
    }
    if (eraseFirst) {
        eraseFirst = false;
        if (!Erase(d)) {
            if (atomic) {
                RollBack(dst);
                ReportWriteFailure(dst->GetName(), n, true);
            }
            m_pDoc->ClosePBDatabases(1);
            return false;
        }
    }
    bool ok = true;
    bool filled = false;  // the destination had no free place left for a row
    CJetDatabase* failing = dst;  // the database in use when an error came
    {
        Progress progress(m_pOwner, 31335, n);
        try {
            failing = source;
            CEntryPhoneRecordset from(source);
            from.Open(dbOpenTable, "EntryPhone");
            from.SetCurrentIndex("indLoc");
            failing = dst;
            CEntryPhoneRecordset to(dst);
            to.Open(dbOpenTable, "EntryPhone");
            to.SetCurrentIndex("indLoc");
            for (int location : locations) {
                if (progress.Cancelled()) {
                    m_bCancelled = true;
                    break;
                }
                progress.Step();
                failing = source;
                if (!from.Seek("=", CVariant::Long(location)))
                    continue;
                failing = dst;
                const int32_t free = m_pDoc->GetFreePBLocation(d);
                if (free == kNoFreeLocation || free < 1) {
                    // Room was checked before; a destination that fills
                    // all the same (a place the mirror does not know of)
                    // takes no more rows.
                    filled = true;
                    break;
                }
                to.AddNewAtLocation(free);
                to.Location = free;
                to.Name = from.Name;
                if (to.Name.size() > maxName) {
                    to.Name.resize(maxName);
                    ++m_nCut;
                }
                to.Phone = from.Phone;
                to.ShortPhone = from.ShortPhone;
                to.NumberType = from.NumberType;
                if (d == 4) {
                    to.Address = from.Address;
                    to.Otherphone = from.Otherphone;
                    to.Fax = from.Fax;
                    to.Email = from.Email;
                    to.Company = from.Company;
                    to.Notes = from.Notes;
                }
                if (d == 4) {
                    to.Update();
                    ++m_nCopied;
                    continue;
                }
                const PhoneChangeResult r = CopyRecordsetInMobile(d, to);
                // A place the phone may have filled stays taken in the
                // mirror, so that no later write of the run goes there.
                if (r.MayHaveLanded()) {
                    to.Update();
                    if (r.Landed())
                        ++m_nCopied;
                } else {
                    to.CancelUpdate();
                }
                // What the phone holds is unknown: the copy stops here.
                if (!r.Known())
                    break;
            }
            if (atomic && !m_bCancelled)
                dst->CommitTrans();
        } catch (const CDaoException& e) {
            WriteDebug("CPhoneBook::CopySelection -> ", e.what());
            ok = false;
        }
    }
    if (atomic && (!ok || m_bCancelled)) {
        RollBack(dst);
        m_nCopied = 0;
        m_nCut = 0;
    }
    if (!ok)
        ReportWriteFailure(failing->GetName(), n, atomic);
    else if (filled && !m_bCancelled)
        UiMessageBoxId(CPBSourceData::FullStringOf(d));
    if (m_nCut == 1)
        UiMessageBoxId(31255);
    else if (m_nCut > 1)
        ShowFormatted(31256, {QString::number(m_nCut)});
    m_pDoc->ClosePBDatabases(1);
    return ok;
}

bool CPBTransfer::DropCopyVCard(int d, const CVCard& card)
{
    return DropCopyVCards(d, std::vector<CVCard>{card});
}

namespace {

// Free locations of a destination handed out in order, from one reading of
// the locations in use: a drop of thousands of cards must not scan the
// table once per entry.
class FreeLocations {
public:
    FreeLocations(CJetDatabase* db, long max) : max_(max)
    {
        CDaoRecordset rs(db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntryPhone ORDER BY Location");
        while (!rs.IsEOF()) {
            used_.push_back(rs.GetFieldValue("Location").AsInt());
            rs.MoveNext();
        }
        rs.Close();
    }
    long InUse() const { return static_cast<long>(used_.size()) + taken_; }
    // The location last handed out was not used after all.
    void GiveBack(int32_t location)
    {
        if (location == next_ - 1) {
            --next_;
            --taken_;
        }
    }
    // The lowest location not in use, or 0 when there is none.
    int32_t Next()
    {
        while (next_ <= max_) {
            while (pos_ < used_.size() && used_[pos_] < next_)
                ++pos_;
            const int32_t candidate = static_cast<int32_t>(next_++);
            if (pos_ < used_.size() && used_[pos_] == candidate)
                continue;
            ++taken_;
            return candidate;
        }
        return 0;
    }

private:
    std::vector<int64_t> used_;
    size_t pos_ = 0;
    long next_ = 1;
    long max_;
    long taken_ = 0;
};

}  // namespace

bool CPBTransfer::DropCopyVCards(int d, const std::vector<CVCard>& cards)
{
    m_nCopied = 0;
    m_bCancelled = false;
    if (!m_pDoc || cards.empty())
        return false;
    const bool home = GetIniProfileInt("DragAndDrop", "HomeVoiceNumber", 1) != 0;
    const bool work = GetIniProfileInt("DragAndDrop", "WorkVoiceNumber", 1) != 0;
    const bool cellChosen = GetIniProfileInt("DragAndDrop", "CellVoiceNumber", 1) != 0;
    const bool cell = cellChosen && (PhoneDestination(d) || (!home && !work));
    PollingOff polling;
    const int maxName = m_pDoc->GetPBMaxTextLength(d);
    CJetDatabase* dst = OpenDestination(d);
    if (!dst)
        return false;
    const long max = m_pDoc->GetPBMaxLocation(d);
    bool rowFailed = false;
    int cardsWithoutEntry = 0;
    {
        std::unique_ptr<FreeLocations> locations;
        try {
            locations = std::make_unique<FreeLocations>(dst, max);
        } catch (const CDaoException& e) {
            WriteDebug("CPhoneBook::DropCopyVCard -> ", e.what());
            m_pDoc->ClosePBDatabases(1);
            return false;
        }
        if (locations->InUse() >= max) {
            ShowFormatted(31249, {QString::number(0)});
            m_pDoc->ClosePBDatabases(1);
            return false;
        }
        Progress progress(m_pOwner, 31335, static_cast<int>(cards.size()));
        // One transaction for the PC file: a row a commit would make a drop
        // of thousands of cards take minutes. What was copied before a
        // cancel or a failure stays.
        const bool batch = !PhoneDestination(d);
        QElapsedTimer sincePump;
        sincePump.start();
        try {
            if (batch)
                dst->BeginTrans();
            CEntryPhoneRecordset rs(dst);
            rs.Open(dbOpenTable, "EntryPhone");
            rs.SetCurrentIndex("indLoc");
            enum Kind { kHome, kWork, kCell };
            bool full = false;
            bool silent = false;  // the phone stopped answering
            size_t index = 0;
            for (const CVCard& card : cards) {
                // The window answers (Cancel included) while a long drop
                // runs: events are handled before the first card, then every
                // 50 ms or 256 cards, whichever comes first.
                if (index++ % 256 == 0 || sincePump.elapsed() >= 50) {
                    QCoreApplication::processEvents();
                    sincePump.restart();
                }
                if (progress.Cancelled()) {
                    m_bCancelled = true;
                    break;
                }
                const int before = m_nCopied;
                bool cardFailed = false;
                for (Kind kind : {kHome, kWork, kCell}) {
                    if ((kind == kHome && !home) || (kind == kWork && !work) || (kind == kCell && !cell))
                        continue;
                    const int32_t free = locations->Next();
                    if (free < 1) {
                        // The destination filled: it is the one named.
                        UiMessageBoxId(CPBSourceData::FullStringOf(d));
                        full = true;
                        break;
                    }
                    rs.AddNewAtLocation(free);
                    bool made;
                    if (!PhoneDestination(d))
                        made = kind == kHome ? rs.ImportHomeFromVCard(&card)
                             : kind == kWork ? rs.ImportWorkFromVCard(&card)
                                             : rs.ImportCellVoiceFromVCard(&card, maxName);
                    else
                        made = kind == kHome ? rs.ImportHomeVoiceFromVCard(&card, maxName)
                             : kind == kWork ? rs.ImportWorkVoiceFromVCard(&card, maxName)
                                             : rs.ImportCellVoiceFromVCard(&card, maxName);
                    rs.Location = free;
                    // The mirror takes the entry once the phone has it, or
                    // may have it: such a place is not handed out again.
                    PhoneChangeResult r;
                    if (made && PhoneDestination(d))
                        r = CopyRecordsetInMobile(d, rs);
                    else if (made)
                        r = DecidePhoneChange("PC phonebook row", MTR_DONE, nullptr);
                    if (r.MayHaveLanded()) {
                        rs.Update();
                        if (r.Landed())
                            ++m_nCopied;
                    } else {
                        rs.CancelUpdate();
                        locations->GiveBack(free);
                    }
                    // The phone refused or did not answer: already told.
                    cardFailed = cardFailed || (made && !r.Landed());
                    if (!r.Known()) {
                        // What the phone holds is unknown: the drop stops.
                        silent = true;
                        break;
                    }
                }
                rowFailed = rowFailed || cardFailed;
                if (full || silent) {
                    rowFailed = true;
                    break;
                }
                if (m_nCopied == before && !cardFailed)
                    ++cardsWithoutEntry;
                progress.Step();
            }
            if (batch)
                dst->CommitTrans();
        } catch (const CDaoException& e) {
            WriteDebug("CPhoneBook::DropCopyVCard -> ", e.what());
            if (batch && dst->InTransaction()) {
                // Keep what was copied; a commit that fails loses the lot.
                try {
                    dst->CommitTrans();
                } catch (const CDaoException&) {
                    m_nCopied = 0;
                }
            }
            rowFailed = true;
        }
    }
    if (!home && !work && !cellChosen)
        UiMessageBoxId(31876);
    else if (!rowFailed && !m_bCancelled && cardsWithoutEntry > 0)
        UiMessageBoxId(31877);
    m_pDoc->ClosePBDatabases(1);
    return m_nCopied > 0;
}
