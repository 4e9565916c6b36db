#include "dlgbase.h"

#include "uiservices.h"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QPushButton>

namespace {

void SetNavyText(QWidget* w)
{
    if (!w)
        return;
    QPalette pal = w->palette();
    const QColor navy((CDlgBase::kStyledTextRgb >> 16) & 0xFF, (CDlgBase::kStyledTextRgb >> 8) & 0xFF,
                      CDlgBase::kStyledTextRgb & 0xFF);
    pal.setColor(QPalette::ButtonText, navy);
    pal.setColor(QPalette::WindowText, navy);
    pal.setColor(QPalette::Text, navy);
    w->setPalette(pal);
}

}  // namespace

CDlgBase::CDlgBase(int templateId, QWidget* parent) : CDialog(templateId, parent) {}

CDlgBase::~CDlgBase() = default;

void CDlgBase::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    if (!m_bStyleButtons)
        return;
    // The styled buttons are decoration: a template without them must not
    // make every exchange (and so every OK) fail.
    m_btn1 = qobject_cast<QPushButton*>(GetDlgItem(1099));
    m_btn2 = qobject_cast<QPushButton*>(GetDlgItem(1100));
}

bool CDlgBase::OnInitDialog()
{
    CDialog::OnInitDialog();
    if (m_bStyleButtons && m_btn2) {
        QFont bold = m_btn2->font();
        bold.setPixelSize(12);
        bold.setBold(true);
        m_btn2->setFont(bold);
    }
    // The colour applies to controls with those ids whether bound or not.
    SetNavyText(GetDlgItem(1099));
    SetNavyText(GetDlgItem(1100));
    return true;
}

bool CDlgBase::AddToolTip(int controlId, int stringId)
{
    QWidget* w = GetDlgItem(controlId);
    if (!w)
        return false;
    w->setToolTip(UiLoadString(stringId));
    return true;
}
