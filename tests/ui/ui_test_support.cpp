#include "ui_test_support.h"

#include <QElapsedTimer>
#include <QThread>

#include <cstdlib>

namespace uitest {

RecordingUi::RecordingUi()
{
    bundle_.Load(QString::fromUtf8(ZORQ_TEST_PROGRAM_DIR) + "/ZORQenu.rcc");
    dir_ = std::string(ZORQ_TEST_PROGRAM_DIR) + "/";
    resDir_ = dir_ + "Res/";
    SetResourceModule(&bundle_);
    SetUiServices(this);
}

RecordingUi::~RecordingUi()
{
    SetUiServices(nullptr);
    SetResourceModule(nullptr);
}

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
