#include "ui_test_util.h"

#include "temp_folder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
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

void OnNextModal(const std::function<void(QWidget*)>& action)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

bool ClickId(QWidget* dialog, int id)
{
    auto* b = dialog->findChild<QAbstractButton*>(QStringLiteral("id%1").arg(id));
    if (!b || !b->isEnabled())
        return false;
    b->click();
    return true;
}

TempDir::TempDir()
{
    const std::string dir = zorqtest::MakeTempFolder("zorq-ui-");
    if (dir.empty())
        std::abort();
    path_ = QString::fromStdString(dir);
}

TempDir::~TempDir() { QDir(path_).removeRecursively(); }

}  // namespace uitest
