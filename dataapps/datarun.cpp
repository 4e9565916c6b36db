#include "datarun.h"

#include "at_defs.h"
#include "debugtrace.h"
#include "launcher.h"
#include "mtr_setup.h"
#include "serial.h"
#include "uiservices.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>

void ReleasePhoneLink()
{
    mtr_disable_unsol_res();
    Close_Serial();
    gv_SPIO_com_status = SPIO_no_com_available;
}

void ManageModemFile(const CDataObj& entry)
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    if (!app)
        return;
    const QString modemFile = QString::fromLocal8Bit(app->GetFilesDir().c_str()) + entry.GetModemFileName();
    if (entry.GetModemFileState() == 1) {
        const QDir programFolder = QFileInfo(entry.GetShortExeName()).absoluteDir();
        const QString target = QDir(programFolder.absoluteFilePath(entry.GetModemCopyPath()))
                                   .filePath(entry.GetModemFileName());
        QFile::remove(target);  // the copy overwrites
        if (entry.GetModemFileName().isEmpty() || !QFile::copy(modemFile, target))
            WriteDebug("CDataObjListWnd::ManageModemFile -> error in CopyFile().\n");
    } else if (entry.GetModemFileState() == 2) {
        OpenWithDesktop(modemFile.toLocal8Bit().toStdString());
    }
}

QUrl DataHelpUrl(const CDataObj& entry)
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    const QString command = entry.GetHelpCommand().trimmed();
    if (!app || command.isEmpty())
        return QUrl();
    QUrl url = QUrl::fromLocalFile(QString::fromLocal8Bit(app->GetAppDir().c_str()) + "FD" +
                                   QString::fromStdString(app->GetLanguage()) + ".html");
    // The help viewer's switch ("-i", "/k"...) says how to look the topic
    // up; the desktop's viewer goes to the named place of the document.
    QString topic = command;
    if (topic.size() >= 2 && (topic[0] == QLatin1Char('-') || topic[0] == QLatin1Char('/')))
        topic = topic.mid(2).trimmed();
    if (!topic.isEmpty())
        url.setFragment(topic);
    return url;
}

bool RunDataApplication(CDataObj& entry)
{
    CZorqMMIDoc* doc = CZorqMMIDoc::Instance();
    if (!doc)
        return false;
    doc->SetDataAppRunning(false);
    // The port first: the program may open it as soon as it starts.
    ReleasePhoneLink();
    if (!RunProgramAndNotify(entry.GetShortExeName(), entry.GetArguments(), true)) {
        UiMessageBox(UiFormatString(31899, {entry.GetShortExeName()}), MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    doc->SetDataAppRunning(true);
    doc->UpdateMSParamInDocument(false);
    // The modem file goes with the help: a modem program that shows its
    // help at start gets its modem file copied or opened beside it; one
    // that shows no help is left to its own set-up.
    if (entry.GetType() == 0 && entry.GetDisplayHelp() == 1 && !entry.GetHelpCommand().trimmed().isEmpty()) {
        ManageModemFile(entry);
        const QUrl help = DataHelpUrl(entry);
        if (QFileInfo::exists(help.toLocalFile()))
            QDesktopServices::openUrl(help);
        else
            WriteDebug("RunDataApplication -> no help file ", help.toLocalFile().toStdString());
    }
    return true;
}
