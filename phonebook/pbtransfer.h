// Copying entries between phonebook storages, erasing a storage and turning
// a dropped vCard into entries. A destination is the PC database (4) or a
// phone storage (5 SIM, 6 SIM fixed dialling, 7 phone memory) through its
// mirror; every phone write goes to the phone first, reaches the mirror only
// when the phone holds it (or may hold it, after a silence it did not answer
// again: the place is then not written over), and is read back so that the
// mirror holds the entry as the phone stores it.
#pragma once

#include "phonechange.h"

#include <string>
#include <vector>

class CEntryPhoneRecordset;
class CJetDatabase;
class CVCard;
class CZorqMMIDoc;
class QWidget;

class CPBTransfer {
public:
    CPBTransfer(CZorqMMIDoc* doc, QWidget* owner) : m_pDoc(doc), m_pOwner(owner) {}

    // The PC file a copy to the PC writes into (empty: the profile's).
    void SetPCDestination(const std::string& path) { m_strPCDestination = path; }

    // Copies the entries at `locations` of the open source database into
    // destination `d`. With `eraseFirst` the destination is emptied first
    // (the room check then counts only the copied entries); the flag is
    // cleared. For the PC the erase and the copy are one transaction: the
    // book ends old or new. False when nothing could be done (no room, erase
    // failed, a database would not open) or the destination could not be
    // written (reported with the count copied); entries the phone refused
    // are skipped.
    bool CopySelection(int d, CJetDatabase* source, const std::vector<int>& locations,
                       bool& eraseFirst);
    // Erases every entry of destination `d` (phone first for phone storages);
    // stops at the first failure. True when all went.
    bool Erase(int d);
    // Entries from a dropped card into destination `d`, one per kind of
    // number chosen in the drag-and-drop settings.
    bool DropCopyVCard(int d, const CVCard& card);
    // The same for every card of a drop, under one progress window whose
    // Cancel stops after the card in hand (what was copied stays). True
    // when at least one entry was made.
    bool DropCopyVCards(int d, const std::vector<CVCard>& cards);
    // Writes the row to the selected phone storage and reads it back into
    // the row; the message when the phone refused or did not answer.
    PhoneChangeResult CopyRecordsetInMobile(int d, CEntryPhoneRecordset& row);

    // Counts of the last run (for the caller's refresh and for tests).
    int Copied() const { return m_nCopied; }
    int NamesCut() const { return m_nCut; }
    bool WasCancelled() const { return m_bCancelled; }

private:
    CJetDatabase* OpenDestination(int d);
    static void RollBack(CJetDatabase* db);
    // The destination could not be written (a full disk, a damaged or
    // read-only file): how many entries went, or that the book was left as
    // it was.
    void ReportWriteFailure(const std::string& path, int total, bool unchanged);
    std::string PCDestination() const;

    CZorqMMIDoc* m_pDoc;
    QWidget* m_pOwner;
    std::string m_strPCDestination;
    int m_nCopied = 0;
    int m_nCut = 0;
    bool m_bCancelled = false;
};
