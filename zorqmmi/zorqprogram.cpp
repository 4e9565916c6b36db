#include "zorqprogram.h"

#include "dialog.h"

#ifdef ZORQ_HAVE_PHONEBOOK
#include "pbdatabase.h"
#endif
#ifdef ZORQ_HAVE_SMS
#include "smsdatabase.h"
#endif
#if defined(ZORQ_HAVE_SECURITY) && __has_include("dlgsecurcode.h")
#include "dlgsecurcode.h"
#define ZORQ_HAVE_CODE_DIALOG 1
#endif

#ifdef ZORQ_HAVE_MELODY
#include "melodyview.h"
#endif
#if defined(ZORQ_HAVE_SECURITY) && __has_include("setup.h")
#include "setup.h"
#define ZORQ_HAVE_SETUP_SCREENS 1
#endif

#if defined(ZORQ_HAVE_DATAAPPS) && __has_include("dataview.h")
#include "dataview.h"
#define ZORQ_HAVE_DATA_SCREEN 1
#endif
#include "phonebook.h"
#include "shortmsg.h"

#include <QApplication>

bool CZorqMMIProgram::CreatePBDatabaseFile(const std::string& path)
{
#ifdef ZORQ_HAVE_PHONEBOOK
    if (!CreatePBDatabase(path))
        return false;
    WritePhoneConf(0, path, true);
    return true;
#else
    (void)path;
    return false;
#endif
}

bool CZorqMMIProgram::CreateSMSDatabaseFile(const std::string& path)
{
#ifdef ZORQ_HAVE_SMS
    if (!CreateSMSDatabase(path))
        return false;
    SetSMSConf(0, path, true);
    return true;
#else
    (void)path;
    return false;
#endif
}

int CZorqMMIProgram::RunSecurCodeDialog(QWidget* parent, int kind, int newCodeForm, int value)
{
#ifdef ZORQ_HAVE_CODE_DIALOG
    CDlgSecurCode dlg(parent, kind, 1, newCodeForm, value);
    return dlg.DoModal();
#else
    return CZorqMMIApp::RunSecurCodeDialog(parent, kind, newCodeForm, value);
#endif
}

void RegisterProgramScreens()
{
#ifdef ZORQ_HAVE_MELODY
    RegisterMelodyScreen();
#endif
    RegisterPhoneBookScreen();
    RegisterShortMsgScreen();
#ifdef ZORQ_HAVE_SETUP_SCREENS
    RegisterSetUpScreens();
#endif
#ifdef ZORQ_HAVE_DATA_SCREEN
    RegisterDataScreen();
#endif
}

int RunZorqMMI(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    return RunZorqMMIProgram(QApplication::arguments());
}

int RunZorqMMIProgram(const QStringList& arguments, const std::string& programFile)
{
    QApplication::setApplicationName(QStringLiteral("zorqmmi"));
    // Closing the last window must not end the loop: the program ends only
    // through its shut-down path.
    QApplication::setQuitOnLastWindowClosed(false);
    CZorqMMIProgram app;
    RegisterProgramScreens();
    if (!app.InitInstance(arguments, programFile))
        return app.HandedOver() || app.QuitAsked() ? 0 : 1;
    return app.Run();
}
