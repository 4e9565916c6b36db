#include "dlgmessagebox.h"

#include "utilities.h"

#include <QIcon>
#include <QPushButton>

CDlgMessageBox::CDlgMessageBox(QWidget* parent) : CDialog(142, parent) {}

void CDlgMessageBox::ComposeText(const QString& caption, const QString& textIn)
{
    QString text = textIn;
    if (!m_strFolder.isEmpty() && m_strFolder.size() > 20)
        text.replace(m_strFolder, QStringLiteral("..."));
    m_strText = text;
    if (text.size() <= 100)
        m_strText = QStringLiteral("\r\n") + text;
    m_strCaption = caption;
}

bool CDlgMessageBox::OnInitDialog()
{
    CreateFromTemplate();
    CenterWindow();
    setWindowTitle(m_strCaption);
    CDataExchange dx(this, false);
    DDX_Control(&dx, IDOK, m_btnOK);
    QIcon icon = LoadAppIcon(206);
    if (m_btnOK && !icon.isNull())
        m_btnOK->setIcon(icon);
    DDX_Text(&dx, 166, m_strText);
    SetTimer(2, 100);
    raise();
    activateWindow();
    return true;
}

void CDlgMessageBox::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDOK, m_btnOK);
    DDX_Text(pDX, 166, m_strText);
}

void CDlgMessageBox::OnOK()
{
    KillTimer(2);
    EndDialog(IDOK);
}
