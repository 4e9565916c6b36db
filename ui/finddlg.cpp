#include "finddlg.h"

#include "uiservices.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace {
constexpr int kMessage = 1079;
constexpr int kExact = 1033;
constexpr int kFirst = 1032;
constexpr int kSecond = 1034;
constexpr int kHeading = 1147;
constexpr int kHintString = 31430;
constexpr int kNotFoundString = 31218;
}  // namespace

CDlgFindBase::CDlgFindBase(int templateId, QWidget* parent) : CDialog(templateId, parent) {}

void CDlgFindBase::SetPosition(int x, int y)
{
    m_x = x;
    m_y = y;
}

bool CDlgFindBase::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_bHintShown = false;
    m_bNotFound = false;
    SetDlgItemText(kMessage, UiLoadString(kHintString));
    // The callers' positions are screen points of a desktop long gone;
    // the dialog opens centred over the screen it searches.
    CenterWindow();
    return true;
}

void CDlgFindBase::WatchEdit(int id)
{
    if (auto* e = qobject_cast<QLineEdit*>(GetDlgItem(id)))
        connect(e, &QLineEdit::textEdited, this, [this] { OnEditChanged(); });
}

void CDlgFindBase::OnEditChanged()
{
    if (m_bHintShown)
        return;
    m_bHintShown = true;
    m_bNotFound = false;
    if (QWidget* w = GetDlgItem(kMessage)) {
        QFont f = w->font();
        f.setBold(false);
        w->setFont(f);
    }
    SetDlgItemText(kMessage, UiLoadString(kHintString));
}

void CDlgFindBase::ShowNotFound()
{
    if (QWidget* w = GetDlgItem(kMessage)) {
        QFont f = w->font();
        f.setBold(true);
        w->setFont(f);
    }
    SetDlgItemText(kMessage, UiLoadString(kNotFoundString));
    m_bHintShown = false;
    m_bNotFound = true;
}

QString CDlgFindBase::MessageText() const { return GetDlgItemText(kMessage); }

bool CDlgFindBase::MessageIsBold() const
{
    QWidget* w = GetDlgItem(kMessage);
    return w && w->font().bold();
}

namespace {

bool Checked(CDialog* dlg, int id)
{
    auto* box = qobject_cast<QAbstractButton*>(dlg->GetDlgItem(id));
    return box && box->isChecked();
}

}  // namespace

CDlgFindPB::CDlgFindPB(CFindPBOwner* owner, QWidget* parent) : CDlgFindBase(167, parent), m_pOwner(owner) {}

bool CDlgFindPB::OnInitDialog()
{
    CDlgFindBase::OnInitDialog();
    WatchEdit(kFirst);
    WatchEdit(kSecond);
    return true;
}

void CDlgFindPB::OnOK()
{
    if (!m_pOwner)
        return;
    const QString second = GetDlgItemText(kSecond);
    const QString first = GetDlgItemText(kFirst);
    const bool exact = Checked(this, kExact);
    bool found;
    if (first.isEmpty())
        found = m_pOwner->FindInColumn(1, second, exact);
    else if (second.isEmpty())
        found = m_pOwner->FindInColumn(0, first, exact);
    else
        found = m_pOwner->FindInAllColumns(first, second, exact);
    if (!found) {
        ShowNotFound();
        return;
    }
    m_pOwner->UnselectAll();
    m_pOwner->FindNext();
    EndDialog(IDOK);
}

CDlgFindSMS::CDlgFindSMS(CFindSMSOwner* owner, QWidget* parent) : CDlgFindBase(230, parent), m_pOwner(owner) {}

bool CDlgFindSMS::OnInitDialog()
{
    CDlgFindBase::OnInitDialog();
    SetDlgItemText(kHeading, m_strHeading);
    WatchEdit(kSecond);
    return true;
}

void CDlgFindSMS::OnOK()
{
    const QString text = GetDlgItemText(kSecond);
    if (text.isEmpty() || !m_pOwner || !m_pOwner->FindMsg(text, Checked(this, kExact))) {
        ShowNotFound();
        return;
    }
    m_pOwner->ClearFindSelection();
    m_pOwner->FindNext();
    EndDialog(IDOK);
}
