#include "dlgmsgsend.h"

#include "dlgservicecenter.h"
#include "entrylistctrl.h"
#include "filedlg.h"
#include "message.h"
#include "profile.h"
#include "sendoptions.h"
#include "servicecenter.h"
#include "smsdatabase.h"
#include "uiservices.h"
#include "utilities.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"

#include "at_defs.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kOwnCentreString = 31745;
constexpr int kNoCentreString = 31424;
constexpr int kNoDatabaseString = 31330;
constexpr int kBadPriceString = 31760;

CZorqMMIDoc* Doc() { return CZorqMMIDoc::Instance(); }

}  // namespace

// ---- Prices --------------------------------------------------------------------------------

bool CDlgMsgPrice::ParsePrice(const QString& text, double& price)
{
    const QString t = text.trimmed();
    int separators = 0, digits = 0;
    for (QChar c : t) {
        if (c.isDigit())
            ++digits;
        else if (c == QLatin1Char(',') || c == QLatin1Char('.'))
            ++separators;
        else
            return false;
    }
    if (digits == 0 || separators > 1)
        return false;
    QString normal = t;
    normal.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    price = normal.toDouble(&ok);
    return ok;
}

double ReadUnitPrice()
{
    // Written by WriteUnitPrice as a plain amount; an amount shown with its
    // currency sign is read too.
    QString text = QString::fromStdString(GetIniProfileString("SMSMO", "UniPrice", ""));
    QString amount;
    for (QChar c : text)
        if (c.isDigit() || c == QLatin1Char(',') || c == QLatin1Char('.'))
            amount += c;
    double price = -1.0;
    if (amount.isEmpty() || !CDlgMsgPrice::ParsePrice(amount, price))
        return -1.0;
    return price;
}

void WriteUnitPrice(double price)
{
    WriteIniProfileString("SMSMO", "UniPrice", QString::number(price, 'f', 2).toStdString());
}

QString FormatPrice(double price)
{
    return QString::fromStdString(FormatCurrencyText(QString::number(price, 'f', 2).toStdString(), ProgramLangId()));
}

CDlgMsgPrice::CDlgMsgPrice(double unitPrice, QWidget* parent) : CDialog(kTemplateId, parent), m_dPrice(unitPrice) {}

bool CDlgMsgPrice::OnInitDialog()
{
    CDialog::OnInitDialog();
    // The currency sign alone: the format of an empty amount, blanks dropped.
    QString sign = QString::fromStdString(FormatCurrencyText("", ProgramLangId())).trimmed();
    SetDlgItemText(IDC_CURRENCY, sign.left(3));
    if (m_dPrice >= 0)
        SetDlgItemText(IDC_PRICE_EDIT, QString::number(m_dPrice, 'f', 2));
    SetTimer(2, 100);
    return true;
}

void CDlgMsgPrice::OnOK()
{
    double price = 0;
    if (!ParsePrice(GetDlgItemText(IDC_PRICE_EDIT), price)) {
        UiMessageBoxId(kBadPriceString);
        if (QWidget* e = GetDlgItem(IDC_PRICE_EDIT))
            e->setFocus();
        return;
    }
    m_dPrice = price;
    EndDialog(IDOK);
}

// ---- Send dialog ---------------------------------------------------------------------------

int CDlgMsgSend::SentBlockCount(const CMessage& msg)
{
    if (msg.GetText().empty())
        return 0;
    return msg.IsLong() ? msg.ComputeNbBlocks() : 1;
}

CDlgMsgSend::CDlgMsgSend(CMessage* msg, SMS_SEND_OPTIONS* options, QWidget* parent, int templateId)
    : CDialog(templateId, parent), m_pMsg(msg), m_pOptions(options), m_bMulti(templateId == kTemplateMulti)
{
}

CDlgMsgSend::~CDlgMsgSend()
{
    // The message's own centre is offered for this dialog only.
    RemoveTemporaryProfiles();
}

void CDlgMsgSend::Check(int id, bool on)
{
    if (auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(id)))
        b->setChecked(on);
}

bool CDlgMsgSend::IsChecked(int id) const
{
    auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(id));
    return b && b->isChecked();
}

void CDlgMsgSend::Enable(int id, bool on)
{
    if (QWidget* w = GetDlgItem(id))
        w->setEnabled(on);
}

void CDlgMsgSend::RemoveTemporaryProfiles()
{
    if (!m_pList)
        return;
    m_pList->RemoveByType(CServiceCenter::kNone);
    if (m_pProfiles)
        m_pProfiles->FillList();
}

bool CDlgMsgSend::OnInitDialog()
{
    CDialog::OnInitDialog();
    CZorqMMIDoc* doc = Doc();
    if (!m_bBound) {
        m_bBound = true;
        m_pProfiles = std::make_unique<CServiceCenterListWnd>(this);
        m_pProfiles->BindControls(GetDlgItem(IDC_MODIFY), GetDlgItem(IDC_DELETE), GetDlgItem(IDC_NEW),
                                  GetDlgItem(IDC_PROFILES));
        connect(m_pProfiles->GetListCtrl(), &CEntryListCtrl::selectionChangedRows, this, [this] { OnProfileChanged(); });
        connect(m_pProfiles->GetListCtrl(), &QAbstractItemView::doubleClicked, this, [this] { OnCommand(IDC_MODIFY); });
        // Radio buttons are checkable: the dialog base leaves them to us.
        for (int id : {IDC_MODE_SEND, IDC_MODE_STORE, IDC_MODE_SEND_STORE, IDC_DST_SIM, IDC_DST_PC})
            if (auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(id)))
                connect(b, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
        // The panel's own buttons run through the dialog's commands.
        for (int id : {IDC_NEW, IDC_MODIFY, IDC_DELETE}) {
            QPushButton* b = id == IDC_NEW ? m_pProfiles->GetNewButton()
                             : id == IDC_MODIFY ? m_pProfiles->GetModifyButton()
                                                : m_pProfiles->GetTrashButton();
            if (b)
                connect(b, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
        }
    }
    const bool params = doc && doc->GetSMSParamState();
    CServiceCenter* own = nullptr;
    if (doc) {
        m_pList = &doc->GetServiceCenterList();
        m_pList->RemoveByType(CServiceCenter::kNone);
        if (params && m_pMsg && !m_pMsg->GetServiceCentre().empty() && m_pOptions && m_pOptions->offerOwnCentre) {
            auto* profile = new CServiceCenter();
            profile->SetType(CServiceCenter::kNone);
            profile->SetPhoneNumber(m_pMsg->GetServiceCentre());
            profile->SetFormat(m_pMsg->GetFormat());
            profile->SetValidity(m_pMsg->GetValidity());
            if (CServiceCenter* same = m_pList->FindSameParameters(profile)) {
                own = same;
                delete profile;
            } else {
                profile->SetName(UiLoadString(kOwnCentreString), false);
                if (m_pList->Add(profile) < 0)
                    delete profile;
                else
                    own = profile;
            }
        }
        m_pProfiles->SetDocument(m_pList);
        if (own)
            m_pProfiles->SelectItemByName(own);
        else
            m_pProfiles->SelectSavedProfile();
    }
    if (m_pMsg) {
        Check(IDC_REPLY_PATH, m_pMsg->GetReplyPath() == 1);
        Check(IDC_STATUS_REPORT, m_pMsg->GetStatusReport() == 1);
    }
    if (!params) {
        for (int id : {IDC_REPLY_PATH, IDC_STATUS_REPORT, IDC_PROFILES, IDC_NEW, IDC_MODIFY, IDC_DELETE})
            Enable(id, false);
        m_pProfiles->DisableAll();
    }
    if (!doc || !doc->IsSMSExtendedAvailable())
        Enable(IDC_STATUS_REPORT, false);

    // Destination, then mode.
    m_nDestination = m_pOptions ? m_pOptions->destination : SMS_DST_PC;
    if (m_nDestination == SMS_DST_SIM && !(doc && doc->CheckSMSRoom(SMS_DST_SIM, 1)))
        m_nDestination = SMS_DST_PC;
    SetDestination(m_nDestination);
    if (m_pOptions && m_pOptions->storeOnly) {
        Enable(IDC_MODE_SEND, false);
        Enable(IDC_MODE_SEND_STORE, false);
        SetMode(SEND_MODE_STORE);
    } else {
        SetMode(m_pOptions ? m_pOptions->mode : SEND_MODE_SEND);
    }

    if (GetIniProfileInt("ConditionnalImplementation", "RightClickOnPC", 0) == 2) {
        if (QWidget* b = GetDlgItem(IDC_DATABASE))
            b->hide();
    } else {
        ShowDatabaseName();
    }

    if (m_bMulti && doc && doc->IsMultiBlockSMSAvailable()) {
        m_dUnitPrice = ReadUnitPrice();
        ShowPrices();
    } else {
        for (int id : {IDC_PRICE, IDC_UNIT_PRICE, IDC_TOTAL})
            Enable(id, false);
    }

    const struct { int id; int tip; } tips[] = {
        {IDC_MODE_SEND, 31411}, {IDC_MODE_STORE, 31412}, {IDC_MODE_SEND_STORE, 31413},
        {IDC_DST_SIM, 31414},   {IDC_DST_PC, 31415},     {IDC_DATABASE, 31416}};
    for (const auto& t : tips)
        if (QWidget* w = GetDlgItem(t.id))
            w->setToolTip(UiLoadString(t.tip));
    m_pProfiles->AddToolTips();

    if (gv_SPIO_com_status != 2)
        OnProfileChanged();
    SetTimer(2, 100);
    return true;
}

void CDlgMsgSend::ShowDatabaseName()
{
    if (!m_pOptions)
        return;
    const QFileInfo file(QString::fromStdString(m_pOptions->databaseFile));
    SetDlgItemText(IDC_DATABASE_NAME, file.exists() ? file.completeBaseName() : QString());
}

void CDlgMsgSend::ShowPrices()
{
    if (m_dUnitPrice < 0) {
        SetDlgItemText(IDC_UNIT_PRICE, QString());
        SetDlgItemText(IDC_TOTAL, QString());
        return;
    }
    SetDlgItemText(IDC_UNIT_PRICE, FormatPrice(m_dUnitPrice));
    // Every recipient still to be sent gets every part; a message without
    // recipients yet costs what one recipient would.
    const int blocks = m_pMsg ? SentBlockCount(*m_pMsg) : 0;
    const int recipients = m_pMsg ? std::max(1, m_pMsg->CountUnsentRecipients()) : 1;
    SetDlgItemText(IDC_TOTAL, FormatPrice(m_dUnitPrice * blocks * recipients));
}

bool CDlgMsgSend::CanStoreInSIM() const
{
    CZorqMMIDoc* doc = Doc();
    return doc && doc->IsSMSDestAvailable(SMS_DST_SIM) && doc->GetSMSParamState() &&
           doc->CheckSMSRoom(SMS_DST_SIM, 1) && m_pMsg && m_pMsg->CountUnsentRecipients() <= 1 && !m_pMsg->IsLong();
}

void CDlgMsgSend::SetMode(int mode)
{
    m_nMode = mode;
    const int radio = mode == SEND_MODE_STORE ? IDC_MODE_STORE
                      : mode == SEND_MODE_SEND_AND_STORE ? IDC_MODE_SEND_STORE
                                                         : IDC_MODE_SEND;
    Check(radio, true);
    const int caption = mode == SEND_MODE_STORE ? 31327 : mode == SEND_MODE_SEND_AND_STORE ? 31328 : 31326;
    SetDlgItemText(IDOK, UiLoadString(caption));
    UpdateDestinationControls();
}

void CDlgMsgSend::UpdateDestinationControls()
{
    if (m_nMode == SEND_MODE_SEND) {
        for (int id : {IDC_DST_SIM, IDC_DST_PC, IDC_DATABASE_LABEL, IDC_DATABASE})
            Enable(id, false);
        return;
    }
    Enable(IDC_DATABASE_LABEL, true);
    Enable(IDC_DST_PC, true);
    const bool sim = CanStoreInSIM();
    Enable(IDC_DST_SIM, sim);
    if (!sim && m_nDestination == SMS_DST_SIM)
        SetDestination(SMS_DST_PC);
    Enable(IDC_DATABASE, m_nDestination == SMS_DST_PC);
}

void CDlgMsgSend::SetDestination(int destination)
{
    m_nDestination = destination;
    Check(destination == SMS_DST_SIM ? IDC_DST_SIM : IDC_DST_PC, true);
    Enable(IDC_DATABASE, destination == SMS_DST_PC && m_nMode != SEND_MODE_SEND);
}

void CDlgMsgSend::OnProfileChanged()
{
    if (!m_pProfiles)
        return;
    if (CServiceCenter* p = m_pProfiles->GetSelectedProfile()) {
        Enable(IDC_REPLY_PATH, true);
        CZorqMMIDoc* doc = Doc();
        Enable(IDC_STATUS_REPORT, doc && doc->IsSMSExtendedAvailable());
        (void)p;
    }
    UpdateDestinationControls();
}

void CDlgMsgSend::OnPrice()
{
    CDlgMsgPrice dlg(m_dUnitPrice, this);
    if (dlg.DoModal() != IDOK || dlg.Price() < 0)
        return;
    m_dUnitPrice = dlg.Price();
    WriteUnitPrice(m_dUnitPrice);
    ShowPrices();
}

void CDlgMsgSend::OnDatabaseFile()
{
    if (!m_pOptions)
        return;
    QString path = QString::fromStdString(m_pOptions->databaseFile);
    if (UiChooseDatabaseDlg(31860, path, this, UiDatabaseFolder(), 31862) != IDOK || path.isEmpty())
        return;
    const std::string file = path.toStdString();
    const bool ok = QFileInfo::exists(path) ? CheckSMSDatabase(file) : CreateSMSDatabase(file);
    if (!ok)
        return;
    m_pOptions->databaseFile = file;
    ShowDatabaseName();
}

void CDlgMsgSend::OnCommand(int id)
{
    switch (id) {
    case IDC_MODE_SEND: SetMode(SEND_MODE_SEND); break;
    case IDC_MODE_STORE: SetMode(SEND_MODE_STORE); break;
    case IDC_MODE_SEND_STORE: SetMode(SEND_MODE_SEND_AND_STORE); break;
    case IDC_DST_PC: SetDestination(SMS_DST_PC); break;
    case IDC_DST_SIM: SetDestination(SMS_DST_SIM); break;
    case IDC_PRICE: OnPrice(); break;
    case IDC_DATABASE: OnDatabaseFile(); break;
    case IDC_NEW:
        if (m_pProfiles)
            m_pProfiles->NewProfile();
        OnProfileChanged();
        break;
    case IDC_MODIFY:
        if (m_pProfiles)
            m_pProfiles->ModifySelectedProfile();
        OnProfileChanged();
        break;
    case IDC_DELETE:
        if (m_pProfiles)
            m_pProfiles->TrashSelectedProfiles();
        OnProfileChanged();
        break;
    case IDC_BACK: EndDialog(IDC_BACK); break;
    default: break;
    }
}

void CDlgMsgSend::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDlgMsgSend::OnOK()
{
    if (!m_pMsg || !m_pOptions)
        return;
    CServiceCenter* profile = m_pProfiles ? m_pProfiles->GetSelectedProfile() : nullptr;
    const bool storeInPC = m_nMode == SEND_MODE_STORE && m_nDestination == SMS_DST_PC;
    if (!storeInPC) {
        const std::string number = profile ? profile->GetPhoneNumber() : std::string();
        if (m_nMode != SEND_MODE_STORE && number.empty()) {
            UiMessageBoxId(kNoCentreString);
            if (profile)
                m_pProfiles->ModifySelectedProfile();
            return;
        }
    }
    if ((m_nMode == SEND_MODE_STORE || m_nMode == SEND_MODE_SEND_AND_STORE) && m_nDestination == SMS_DST_PC &&
        m_pOptions->databaseFile.empty()) {
        UiMessageBoxId(kNoDatabaseString);
        return;
    }
    if (profile) {
        if (!storeInPC)
            m_pMsg->SetServiceCentre(profile->GetPhoneNumber());
        m_pMsg->SetFormat(profile->GetFormat());
        m_pMsg->SetValidity(profile->GetValidity());
    }
    m_pMsg->SetReplyPath(IsChecked(IDC_REPLY_PATH) ? 1 : 0);
    m_pMsg->SetStatusReport(IsChecked(IDC_STATUS_REPORT) ? 1 : 0);
    RemoveTemporaryProfiles();
    m_pOptions->destination = m_nDestination;
    m_pOptions->mode = m_nMode;
    EndDialog(IDOK);
}
