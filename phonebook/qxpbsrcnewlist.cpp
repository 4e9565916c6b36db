#include "qxpbsrcnewlist.h"

#include "dragdrop.h"
#include "entrylistctrl.h"
#include "pccharset.h"
#include "uimsg.h"
#include "uiservices.h"
#include "uiwidgets.h"
#include "vcard.h"
#include "wndmsg.h"
#include "zorqmmidoc.h"

#include <QLabel>
#include <QMimeData>
#include <QUrl>

CQXPBSrcNewList::CQXPBSrcNewList(QWidget* owner) : CSrcList(owner), m_btnFDN(new QPushButton(owner))
{
    m_data.SetOwnerWindow(owner);
    m_data.SetListCtrl(GetListCtrl());
    m_data.SetStatics(GetTitleStatic(), GetRoomStatic());
    m_btnFDN->setIcon(UiLoadIcon(QStringLiteral("297")));
    AddSourceButton(m_btnFDN);
    connect(m_btnFDN, &QPushButton::clicked, this, [this] { ClickSrcSIMFDN(); });
    GetListCtrl()->SetImageList({UiLoadIcon("136"), UiLoadIcon("227"), UiLoadIcon("138"), UiLoadIcon("299")});
}

CQXPBSrcNewList::~CQXPBSrcNewList() = default;

void CQXPBSrcNewList::AttachDocument(CZorqMMIDoc* doc)
{
    SetDocument(doc);
    m_data.SetDocument(doc);
    MarkAttached();
}

void CQXPBSrcNewList::BindPaneControls(QWidget* pc, QWidget* sim, QWidget* phone, QWidget* fdn, QWidget* fourth,
                                       QWidget* list, QWidget* title, QWidget* room)
{
    BindControls(pc, sim, phone, fourth, list, title, room);
    UiReplaceWidget(fdn, m_btnFDN);
}

void CQXPBSrcNewList::InitPane(bool oleDrag)
{
    Init(oleDrag);
    GetFourthButton()->setIcon(UiLoadIcon(QStringLiteral("234")));
    GetFourthButton()->setEnabled(false);
    if (oleDrag)
        GetDropTarget()->Register(m_btnFDN);
}

void CQXPBSrcNewList::AddPaneToolTips()
{
    const struct { QAbstractButton* b; int id; } tips[] = {
        {GetPCButton(), 31228}, {GetSIMButton(), 31229}, {m_btnFDN, 31769},
        {GetPhoneButton(), 31230}, {GetFourthButton(), 31239}};
    for (const auto& t : tips)
        if (t.b)
            t.b->setToolTip(UiLoadString(t.id));
    AddToolTips(GetPCButton());
}

void CQXPBSrcNewList::SetSourceSIM()
{
    if (m_data.Document())
        m_data.SetStorage(1);
}

void CQXPBSrcNewList::CheckSourceButton(int source)
{
    switch (source) {
    case 0: CheckSrcPC(); break;
    case 1: CheckSrcSIM(); break;
    case 2:
        m_btnFDN->setChecked(true);
        m_btnFDN->setFocus();
        break;
    case 3: CheckSrcPhone(); break;
    default: break;
    }
}

void CQXPBSrcNewList::SetSource(int source)
{
    if (source == 8)
        return;
    CheckSourceButton(source);
    m_data.SetStorage(source);
}

void CQXPBSrcNewList::SetDatabasePath(const QString& path)
{
    CPBSourceData::SetDatabasePath(QStringToPc(path));
}

void CQXPBSrcNewList::NotifyOwnerSourceChange()
{
    SendMessage(GetOwner(), WM_SRC_CHANGED, 0, 0);
}

bool CQXPBSrcNewList::ClickSrcSIMFDN()
{
    if (!m_btnFDN->isChecked() || m_data.IsSrcSIMFDN())
        return false;
    GetFourthButton()->setEnabled(true);
    NotifyOwnerSourceChange();
    if (m_data.Document())
        m_data.SetStorage(2);
    if (!OpenCurrentSource())
        RestorePreviousSource();
    return true;
}

void CQXPBSrcNewList::SelectInitialSource()
{
    const int source = m_data.GetInitialSource(1);
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
    EnableSIMFDNButton(m_data.Document() && m_data.Document()->IsPBStorageAvailable(2));
}

void CQXPBSrcNewList::EnableEntryButton(bool on)
{
    if (m_data.IsPhoneStorage())
        GetFourthButton()->setEnabled(on);
}

void CQXPBSrcNewList::EnableSIMFDNButton(bool on) { m_btnFDN->setEnabled(on); }

bool CQXPBSrcNewList::IsSIMAvailable()
{
    return m_data.Document() && m_data.Document()->IsPBStorageAvailable(1);
}

bool CQXPBSrcNewList::IsPhoneAvailable()
{
    return m_data.Document() && m_data.Document()->IsPBStorageAvailable(3);
}

bool CQXPBSrcNewList::CanShowSIM() { return IsSIMAvailable() && !m_data.IsSrcSIM(); }
bool CQXPBSrcNewList::CanShowPhone() { return IsPhoneAvailable() && !m_data.IsSrcPhone(); }
bool CQXPBSrcNewList::CanShowSIMFDN()
{
    return m_data.Document() && m_data.Document()->IsPBStorageAvailable(2) && !m_data.IsSrcSIMFDN();
}

int CQXPBSrcNewList::OpenSourceDatabase(CDaoDatabase** database)
{
    if (database)
        *database = nullptr;
    return m_data.OpenSourceDatabase();
}

void CQXPBSrcNewList::FillList()
{
    m_data.FillList();
    emit listFilled();
}

bool CQXPBSrcNewList::OnMenuCommand(unsigned id)
{
    const bool done = CSrcList::OnMenuCommand(id);
    if (done)
        emit sourceMenuDone();
    return done;
}

bool CQXPBSrcNewList::CreateDatabase(const QString& path)
{
    const std::string p = path.toStdString();
    if (!CreatePBDatabase(p))
        return false;
    WritePhoneConf(0, p, true);
    return true;
}

bool CQXPBSrcNewList::OpenDatabase(const QString& path)
{
    return ::OpenPBDatabase(path.toStdString());
}

bool CQXPBSrcNewList::BuildDragPayload(QStringList& files, QByteArray& vcards)
{
    CEntryListCtrl* list = GetListCtrl();
    if (!list || !m_data.OpenTable())
        return false;
    for (int row : list->GetSelectedRows()) {
        PBEntry entry;
        if (!m_data.GetEntryAt(list->GetLocation(row), entry))
            continue;
        CVCard card;
        m_data.Recordset()->ExportToVCard(card);
        std::string path;
        if (!card.WriteToFile(path))
            continue;
        files << QString::fromStdString(path);
        vcards += QByteArray::fromStdString(card.ToText());
    }
    return !files.isEmpty();
}

QMimeData* CQXPBSrcNewList::BuildDragMimeData()
{
    QStringList files;
    QByteArray vcards;
    if (!BuildDragPayload(files, vcards))
        return nullptr;
    // The program's own form names the files, one path a line.
    QMimeData* data = MakeEntryMimeData(files.join(QLatin1Char('\n')).toUtf8(), vcards);
    QList<QUrl> urls;
    for (const QString& f : files)
        urls << QUrl::fromLocalFile(f);
    data->setUrls(urls);
    return data;
}

void CQXPBSrcNewList::BeginOleDrag()
{
    if (QMimeData* data = BuildDragMimeData())
        DoOleDrag(data);
}
