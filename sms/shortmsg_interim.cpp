// Interim source and command handlers of the message screen, in use until
// the store-reading, transfer and compose files define the full ones. Each
// of those files removes its functions from here when it lands.
#include "shortmsg.h"

#include "jetdatabase.h"
#include "smsdatabase.h"
#include "srclist.h"
#include "zorqmmidoc.h"

#include <QPushButton>

// ---- Sources (store reading) ---------------------------------------------------------------------

void CShortMsg::OnBSrcPC()
{
    if (!m_bSrcPC || !m_bSrcPC->isChecked() || m_nSrcStorage == SMS_SRC_PC)
        return;
    const int previous = m_nSrcStorage;
    ChangeSource(SMS_SRC_PC);
    CZorqMMIDoc* doc = GetDocument();
    if (!doc || doc->OpenSMSDatabaseByName(doc->GetPCSMSDatabasePath(), SMS_SRC_PC) != 0 || !LoadPCSource())
        ChangeSource(previous);
}

int CShortMsg::LoadPCSource()
{
    CJetDatabase* db = SourceDatabase();
    if (!db)
        return 0;
    m_pListRecordset = std::make_unique<CEntrySMSRecordset>(db);
    DisableButtons();
    FillList(db, true);
    return 1;
}

void CShortMsg::OnBSrcSIM()
{
    if (!m_bSrcSIM || !m_bSrcSIM->isChecked())
        return;
    const int previous = m_nSrcStorage;
    ChangeSource(SMS_SRC_SIM);
    if (previous != SMS_SRC_SIM && !DisplaySrcMirrorDatabase())
        ChangeSource(previous);
}

int CShortMsg::DisplaySrcMirrorDatabase()
{
    CJetDatabase* db = SourceDatabase();
    if (!db)
        return 0;
    m_pListRecordset = std::make_unique<CEntrySMSRecordset>(db);
    DisableButtons();
    FillList(db, true);
    return 1;
}

int CShortMsg::ClickRbSms(int)
{
    CJetDatabase* db = SourceDatabase();
    if (!db)
        return 0;
    DisableButtons();
    FillList(db, true);
    return 1;
}

void CShortMsg::OnNewPCSource() {}
void CShortMsg::OnOtherPCSource() {}

// ---- Transfers and deletion ----------------------------------------------------------------------

void CShortMsg::OnBDst() {}
void CShortMsg::OnCopyToPC() {}
void CShortMsg::OnCopyToSIM() {}
void CShortMsg::OnCopyToNewPCDatabase() {}
void CShortMsg::OnCopyToOtherPCDatabase() {}
void CShortMsg::OnBDelete() {}

