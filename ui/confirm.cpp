#include "confirm.h"

#include "uiservices.h"

#include <QAbstractButton>

namespace {
constexpr int kMessage = 1083;
}

CDlgConfirm::CDlgConfirm(QWidget* parent) : CDialog(220, parent) {}
CDlgConfirm::CDlgConfirm(int templateId, QWidget* parent) : CDialog(templateId, parent) {}

int CDlgConfirm::MessageIdOfKind(int kind)
{
    switch (kind) {
    case CONFIRM_PB_ENTRY: return 31314;
    case CONFIRM_SMS: return 31315;
    case CONFIRM_DIRECTORY_ENTRY: return 31748;
    case CONFIRM_MELODY: return 31718;
    default: return 31744;
    }
}

QString CDlgConfirm::Message() const { return UiFormatString(MessageIdOfKind(m_nKind), {m_strName}); }

void CDlgConfirm::ApplyAllButton()
{
    if (QWidget* all = GetDlgItem(IDYESTOALL))
        all->setEnabled(!m_bDisableAll);
}

bool CDlgConfirm::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetDlgItemText(kMessage, Message());
    ApplyAllButton();
    return true;
}

void CDlgConfirm::OnCommand(int id)
{
    if (id == IDYES || id == IDNO || (id == IDYESTOALL && !m_bDisableAll))
        EndDialog(id);
}

CDlgConfirmMelody::CDlgConfirmMelody(QWidget* parent) : CDlgConfirm(244, parent) {}

bool CDlgConfirmMelody::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetDlgItemText(kMessage, m_strText);
    if (!m_strTitle.isEmpty())
        setWindowTitle(m_strTitle);
    ApplyAllButton();
    return true;
}
