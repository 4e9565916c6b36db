#include "dlgtimedpopup.h"

#include <QFontMetrics>
#include <QLabel>

CDlgTimedPopup::CDlgTimedPopup(QWidget* parent) : CDialog(236, parent)
{
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
}

void CDlgTimedPopup::SetPosition(int x, int y)
{
    m_x = x;
    m_y = y;
}

bool CDlgTimedPopup::OnInitDialog()
{
    // As wide as the text would be in capital W's, so any name fits.
    const int w = int(m_strText.size()) * QFontMetrics(font()).horizontalAdvance(QLatin1Char('W'));
    setFixedWidth(w);
    move(m_x, m_y);
    if (auto* label = qobject_cast<QLabel*>(GetDlgItem(1132))) {
        label->setGeometry(0, 4, w - 8, label->height());
        label->setText(m_strText);
    }
    SetTimer(1, 1000);
    SetTimer(2, 100);
    return true;
}

void CDlgTimedPopup::OnTimer(int id)
{
    if (id != 1)
        return;
    KillTimer(1);
    KillTimer(2);
    EndDialog(IDOK);
}
