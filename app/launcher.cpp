#include "launcher.h"

#include "debugtrace.h"
#include "wndmsg.h"
#include "zorqapp.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMetaObject>
#include <QUrl>
#include <QWidget>

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace {

// Waits for the program to end; with `notify`, the user-interface thread
// then posts WM_MMI_APP_ENDED to the main window of that moment.
void Watch(pid_t pid, bool notify)
{
    std::thread([pid, notify] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!notify)
            return;
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(app, [] {
            CZorqMMIApp* zorq = CZorqMMIApp::Instance();
            if (zorq && zorq->m_pMainWnd)
                PostMessage(zorq->m_pMainWnd, WM_MMI_APP_ENDED, 0, 0);
        }, Qt::QueuedConnection);
    }).detach();
}

}  // namespace

bool RunProgramAndNotify(const QString& program, const QStringList& arguments, bool wait)
{
    QString path = program;
    path.remove(QLatin1Char('"'));
    if (path.isEmpty())
        return false;
    const QByteArray file = path.toLocal8Bit();
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const QByteArray folder = slash > 0 ? path.left(slash).toLocal8Bit() : QByteArray();

    std::vector<QByteArray> args{file};
    for (const QString& a : arguments)
        args.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!folder.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, folder.constData());
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, file.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        WriteDebug("RunProgramAndNotify -> could not start ", file.toStdString());
        return false;
    }
    // Also without the wait flag the program is reaped when it ends.
    Watch(pid, wait);
    return true;
}

bool OpenWithDesktop(const std::string& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}
