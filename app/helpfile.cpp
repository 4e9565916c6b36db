#include "helpfile.h"

#include "mainview.h"
#include "utilities.h"
#include "zorqapp.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {
// Sections that no screen asks for by itself but that the document holds
// and the program may open: the table of contents and the advice for a
// phone that does not answer.
const char* const kGeneralContexts[] = {"contents", "phone-not-found"};
constexpr int kHelpMissingString = 31421;
constexpr int kHelpNotOpenedString = 31900;
const int kViewKinds[] = {VIEW_MENU, VIEW_PHONEBOOK, VIEW_SHORTMSG, VIEW_ORGANISER,
                          VIEW_MELODY, VIEW_SETUP, VIEW_DATA, VIEW_DEFAULT};
}  // namespace

QString HelpContextOfView(int viewKind)
{
    switch (viewKind) {
    case VIEW_MENU: return QStringLiteral("menu");
    case VIEW_PHONEBOOK: return QStringLiteral("phonebook");
    case VIEW_SHORTMSG: return QStringLiteral("messages");
    case VIEW_MELODY: return QStringLiteral("melodies");
    case VIEW_SETUP: return QStringLiteral("security-setup");
    case VIEW_DATA: return QStringLiteral("data-applications");
    default: return QStringLiteral("contents");
    }
}

QStringList AllHelpContexts()
{
    QStringList contexts;
    for (const char* c : kGeneralContexts)
        contexts << QString::fromLatin1(c);
    for (int kind : kViewKinds) {
        const QString c = HelpContextOfView(kind);
        if (!contexts.contains(c))
            contexts << c;
    }
    return contexts;
}

bool OpenHelp(const QString& context)
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    if (!app)
        return false;
    // The file the language asks for, named also when it is not there.
    const QString path = QString::fromStdString(
        app->GetHelpFilePath().empty() ? app->GetAppDir() + "ZORQ" + app->GetLanguage() + ".html"
                                       : app->GetHelpFilePath());
    if (!QFileInfo::exists(path)) {
        app->DoMessageBox(app->FormatString(kHelpMissingString, {path}), MB_OK | MB_ICONEXCLAMATION, 0);
        return false;
    }
    QUrl url = QUrl::fromLocalFile(path);
    if (!context.isEmpty())
        url.setFragment(context);
    if (QDesktopServices::openUrl(url))
        return true;
    // No program of the desktop takes the document: the user may still
    // open it by hand.
    app->DoMessageBox(app->FormatString(kHelpNotOpenedString, {path}), MB_OK | MB_ICONEXCLAMATION, 0);
    return false;
}

QString AboutMenuText()
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    std::string text = app ? app->LoadString(31458).toStdString() : std::string("About [APP_NAME]");
    ReplaceAppName(text);
    return QString::fromStdString(text) + QStringLiteral("...");
}
