#include "dlgmessagebox.h"

#include "utilities.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>

QIcon MessageButtonPicture(int id, const QStyle* style)
{
    struct Picture {
        int id;
        QStyle::StandardPixmap standard;
        const char* own;  // for the buttons the style may draw no picture for
    };
    static const Picture pictures[] = {
        {IDOK, QStyle::SP_DialogOkButton, nullptr},
        {IDCANCEL, QStyle::SP_DialogCancelButton, nullptr},
        {IDYES, QStyle::SP_DialogYesButton, nullptr},
        {IDNO, QStyle::SP_DialogNoButton, nullptr},
        {IDABORT, QStyle::SP_DialogAbortButton, "IDI_BOX_ABORT"},
        {IDRETRY, QStyle::SP_DialogRetryButton, "IDI_BOX_RETRY"},
        {IDIGNORE, QStyle::SP_DialogIgnoreButton, "IDI_BOX_IGNORE"},
    };
    for (const Picture& p : pictures) {
        if (p.id != id)
            continue;
        QIcon icon = style ? style->standardIcon(p.standard) : QIcon();
        if (icon.isNull() && p.own)
            icon = LoadAppIconByName(QLatin1String(p.own));
        return icon;
    }
    return QIcon();
}

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
    setWindowTitle(m_strCaption);
    CDataExchange dx(this, false);
    DDX_Control(&dx, IDOK, m_btnOK);
    // A plain message names no kind, so it shows no symbol: an error and a
    // notice look alike unless the caller asks for a kind, which the
    // desktop's box then shows. Its OK carries the picture of every other
    // box's OK.
    if (m_btnOK)
        m_btnOK->setIcon(MessageButtonPicture(IDOK, style()));
    DDX_Text(&dx, 166, m_strText);
    // The short text's leading line break placed it mid-box; the label
    // centres it itself.
    if (auto* text = qobject_cast<QLabel*>(GetDlgItem(166)))
        text->setText(m_strText.startsWith(QLatin1String("\r\n")) ? m_strText.mid(2) : m_strText);
    adjustSize();
    CenterWindow();
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
