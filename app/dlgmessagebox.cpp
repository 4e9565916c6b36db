#include "dlgmessagebox.h"

#include "debugtrace.h"
#include "uiservices.h"
#include "utilities.h"
#include "zorqapp.h"

#include <QApplication>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

QIcon MessageButtonPicture(int id, const QStyle* style)
{
    QIcon icon = DialogButtonPicture(id, style);
    if (!icon.isNull())
        return icon;
    // For the buttons the style may draw no picture for.
    switch (id) {
    case IDABORT: return LoadAppIconByName(QStringLiteral("IDI_BOX_ABORT"));
    case IDRETRY: return LoadAppIconByName(QStringLiteral("IDI_BOX_RETRY"));
    case IDIGNORE: return LoadAppIconByName(QStringLiteral("IDI_BOX_IGNORE"));
    default: return icon;
    }
}

int NoticeWidth(const QWidget* box, const QString& title, const QString& text, bool withSymbol)
{
    const QFontMetrics fm = box ? box->fontMetrics() : QFontMetrics(QApplication::font());
    constexpr int kLineMax = 460;   // a longer text goes on more lines
    constexpr int kMargins = 48;    // both sides of the text
    constexpr int kSymbol = 56;     // a kind's symbol and its gap
    constexpr int kTitleBar = 160;  // the window's icon and buttons
    constexpr int kNarrowest = 322;
    int widestLine = 0, widestWord = 0;
    for (const QString& line : QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")).split(QLatin1Char('\n'))) {
        widestLine = std::max(widestLine, fm.horizontalAdvance(line));
        for (const QString& word : line.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            widestWord = std::max(widestWord, fm.horizontalAdvance(word));
    }
    // Title bars often use a bolder face than the text: a tenth more.
    const int titleNeed = fm.horizontalAdvance(title) * 11 / 10 + kTitleBar;
    const int column = std::max(std::min(widestLine, kLineMax), widestWord) + kMargins + (withSymbol ? kSymbol : 0);
    return std::max({column, titleNeed, kNarrowest});
}

CDlgMessageBox::CDlgMessageBox(QWidget* parent) : CDialog(142, parent) {}

void CDlgMessageBox::ComposeText(const QString& caption, const QString& textIn)
{
    QString text = textIn;
    m_strGivenText = textIn;
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
    const QString shown = m_strText.startsWith(QLatin1String("\r\n")) ? m_strText.mid(2) : m_strText;
    if (auto* text = qobject_cast<QLabel*>(GetDlgItem(166))) {
        text->setText(shown);
        // The label's own minimum would hold the box to it.
        text->setMinimumWidth(0);
    }
    setFixedWidth(NoticeWidth(this, m_strCaption, m_strGivenText.isEmpty() ? shown : m_strGivenText, false));
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

CDlgMessageBox* ShowNoticeBox(QWidget* owner, const QString& text)
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    if (!owner || !app || !app->GetMainFrame()) {
        UiMessageBox(text);
        return nullptr;
    }
    std::string shown = text.toStdString();
    ReplaceAppName(shown);
    auto* box = new CDlgMessageBox(owner);
    box->m_strFolder = QString::fromStdString(app->GetAppDir());
    box->ComposeText(QString::fromUtf8(kProductName), QString::fromStdString(shown));
    // A bundle without the message template must not swallow the text.
    if (!box->CreateFromTemplate()) {
        delete box;
        UiMessageBox(text);
        return nullptr;
    }
    WriteDebug("ShowNoticeBox -> Message : ", shown);
    QApplication::beep();
    // A window of its own over the owner, which stays live beneath it.
    box->setWindowModality(Qt::NonModal);
    QObject::connect(box, &QDialog::finished, box, &QObject::deleteLater);
    box->OnInitDialog();
    box->show();
    return box;
}
