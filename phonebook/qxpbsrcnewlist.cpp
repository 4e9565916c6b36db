#include "qxpbsrcnewlist.h"

#include "dragdrop.h"
#include "entrylistctrl.h"
#include "pccharset.h"
#include "uimsg.h"
#include "uiservices.h"
#include "vcard.h"
#include "wndmsg.h"
#include "zorqmmidoc.h"

#include <QLabel>
#include <QMimeData>

CQXPBSrcNewList::CQXPBSrcNewList(QWidget* owner) : CSrcList(owner)
{
    SetOwnerWindow(owner);
    m_pFDNTarget = new CEntryDropTarget(this);
}

CQXPBSrcNewList::~CQXPBSrcNewList() = default;

void CQXPBSrcNewList::Init(bool oleDrag)
{
    CSrcList::Init(oleDrag);
    SetListCtrl(m_pList);
    SetStatics(m_pTitle, m_pRoom);
    if (m_pSIMFDN)
        m_pSIMFDN->setCheckable(true);
    if (m_pFourth)
        m_pFourth->setEnabled(false);
    if (oleDrag && m_pSIMFDN)
        m_pFDNTarget->Register(m_pSIMFDN);
}

void CQXPBSrcNewList::AddToolTips()
{
    const struct { QAbstractButton* b; int id; } tips[] = {
        {m_pPC, 31228}, {m_pSIM, 31229}, {m_pSIMFDN, 31769}, {m_pPhone, 31230}, {m_pFourth, 31239}};
    for (const auto& t : tips)
        if (t.b)
            t.b->setToolTip(UiLoadString(t.id));
}

void CQXPBSrcNewList::SetSource(int source)
{
    if (source == 8)
        return;
    CheckSourceButton(source);
    SetStorage(source);
}

void CQXPBSrcNewList::CheckSourceButton(int source)
{
    switch (source) {
    case 0: case 1: case 3:
        if (m_pSIMFDN)
            m_pSIMFDN->setChecked(false);
        if (source == 0)
            CheckSrcPC();
        else if (source == 1)
            CheckSrcSIM();
        else
            CheckSrcPhone();
        break;
    case 2:
        UncheckAllSrc();
        if (m_pSIMFDN) {
            m_pSIMFDN->setChecked(true);
            m_pSIMFDN->setFocus();
        }
        break;
    default:
        break;
    }
}

void CQXPBSrcNewList::SelectSourceSIM()
{
    if (m_pDoc)
        SetStorage(1);
}

void CQXPBSrcNewList::NotifyOwnerSourceChange()
{
    SendMessage(m_pOwner, WM_SRC_CHANGED, 0, 0);
}

bool CQXPBSrcNewList::ClickSrcSIMFDN()
{
    if (!m_pSIMFDN || !m_pSIMFDN->isChecked() || IsSrcSIMFDN())
        return false;
    if (m_pFourth)
        m_pFourth->setEnabled(true);
    NotifyOwnerSourceChange();
    if (m_pDoc)
        SetStorage(2);
    ClearList();
    if (!OpenCurrentSource())
        RestorePreviousSource();
    return true;
}

void CQXPBSrcNewList::SelectInitialSource()
{
    const int source = GetInitialSource(1);
    CheckSourceButton(source);
    switch (source) {
    case 1: ClickSrcSIM(); break;
    case 2: ClickSrcSIMFDN(); break;
    case 3: ClickSrcPhone(); break;
    default: ClickSrcPC(); break;
    }
}

void CQXPBSrcNewList::UpdateButtons()
{
    CSrcList::UpdateButtons();
    EnableSIMFDNButton(m_pDoc && m_pDoc->IsPBStorageAvailable(2));
}

void CQXPBSrcNewList::EnableEntryButton(bool on)
{
    if (m_pFourth && IsPhoneStorage())
        m_pFourth->setEnabled(on);
}

void CQXPBSrcNewList::EnableSIMFDNButton(bool on)
{
    if (m_pSIMFDN)
        m_pSIMFDN->setEnabled(on);
}

bool CQXPBSrcNewList::IsSIMAvailable() { return m_pDoc && m_pDoc->IsPBStorageAvailable(1); }
bool CQXPBSrcNewList::IsPhoneAvailable() { return m_pDoc && m_pDoc->IsPBStorageAvailable(3); }
bool CQXPBSrcNewList::CanShowSIM() const { return m_pDoc && m_pDoc->IsPBStorageAvailable(1) && !IsSrcSIM(); }
bool CQXPBSrcNewList::CanShowSIMFDN() const { return m_pDoc && m_pDoc->IsPBStorageAvailable(2) && !IsSrcSIMFDN(); }
bool CQXPBSrcNewList::CanShowPhone() const { return m_pDoc && m_pDoc->IsPBStorageAvailable(3) && !IsSrcPhone(); }

void CQXPBSrcNewList::RefreshAfterDelete()
{
    UpdateTitle(m_pList ? m_pList->GetRowCount() : 0);
}

void CQXPBSrcNewList::ClearList()
{
    CSrcList::ClearList();
}

int CQXPBSrcNewList::ReadCurrentSource(int* value)
{
    if (value)
        *value = 0;
    if (m_nCurrent == 8)
        return -1;
    // A phone storage is read into its mirror the first time it is shown.
    if (IsPhoneStorage() && !IsStorageRead()) {
        if (!UploadStorage())
            return -1;
        MarkStorageRead();
    }
    return OpenSourceDatabase();
}

bool CQXPBSrcNewList::CreateDatabase(const std::string& path)
{
    if (!CreatePBDatabase(path))
        return false;
    WritePhoneConf(0, path, true);
    return true;
}

bool CQXPBSrcNewList::OpenDatabase(const std::string& path)
{
    return ::OpenPBDatabase(path);
}

bool CQXPBSrcNewList::BuildDragPayload(QStringList& files, QByteArray& vcards)
{
    if (!m_pList || !OpenTable())
        return false;
    for (int row : m_pList->GetSelectedRows()) {
        PBEntry entry;
        if (!GetEntryAt(m_pList->GetLocation(row), entry))
            continue;
        CEntryPhoneRecordset* rs = Recordset();
        CVCard card;
        rs->ExportToVCard(card);
        std::string path;
        if (!card.WriteToFile(path))
            continue;
        files << QString::fromStdString(path);
        vcards += QByteArray::fromStdString(card.ToText());
    }
    return !files.isEmpty();
}

void CQXPBSrcNewList::BeginOleDrag()
{
    QStringList files;
    QByteArray vcards;
    if (!BuildDragPayload(files, vcards))
        return;
    // The program's own form names the files, one path a line.
    QMimeData* data = MakeEntryMimeData(files.join(QLatin1Char('\n')).toUtf8(), vcards);
    QList<QUrl> urls;
    for (const QString& f : files)
        urls << QUrl::fromLocalFile(f);
    data->setUrls(urls);
    DoOleDrag(data);
}
