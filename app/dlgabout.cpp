#include "dlgabout.h"

#include "utilities.h"
#include "zorqapp.h"

#include <QIcon>
#include <QLabel>

CDlgAbout::CDlgAbout(QWidget* parent) : CDialog(100, parent) {}

void CDlgAbout::DoDataExchange(CDataExchange* pDX)
{
    DDX_Text(pDX, 1008, m_strVersionText);
    DDX_Text(pDX, 1007, m_strEditionText);
    DDX_Text(pDX, 1135, m_strProductName);
}

bool CDlgAbout::OnInitDialog()
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    const std::string version = app ? app->GetVersionNumber() : std::string();
    const std::string edition = app ? app->GetEditionNumber() : std::string();
    // A label without its value is left out altogether.
    m_strVersionText = version.empty() || !app
                           ? QString()
                           : app->LoadString(31459) + QLatin1Char(' ') + QString::fromStdString(version);
    m_strEditionText = edition.empty() || !app
                           ? QString()
                           : app->LoadString(31460) + QLatin1Char(' ') + QString::fromStdString(edition);
    m_strProductName = QString::fromLatin1(kProductName);
    if (app) {
        std::string title = app->LoadString(31458).toStdString();
        ReplaceAppName(title);
        setWindowTitle(QString::fromStdString(title));
    }
    if (auto* logo = findChild<QLabel*>(QStringLiteral("logo")))
        logo->setPixmap(LoadAppIcon(128).pixmap(48, 48));
    UpdateData(false);
    return true;
}

void RunAboutBox(QWidget* parent)
{
    CDlgAbout dlg(parent);
    dlg.DoModal();
}
