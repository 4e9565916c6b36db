#include "ui_test_util.h"

#include <QElapsedTimer>
#include <QThread>

#include <cstdlib>

namespace uitest {

bool WaitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

TempDir::TempDir()
{
    char tmpl[] = "/tmp/zorq-ui-XXXXXX";
    if (!mkdtemp(tmpl))
        std::abort();
    path_ = QString::fromUtf8(tmpl) + "/";
}

TempDir::~TempDir() { QDir(path_).removeRecursively(); }

}  // namespace uitest
