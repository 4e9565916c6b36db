// What the tests of the whole program share: a program folder laid out as the
// build lays it out, pointed at a phone simulator, and a driver that answers
// the program's modal dialogs one after the other.
#pragma once

#include "dialog.h"
#include "profile.h"
#include "test_support.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace zorqtest {

// A copy of the built program folder (bundle, version file, conversion
// tables, pictures) whose profile maps COM1 to `device`.
class ProgramFolder {
public:
    explicit ProgramFolder(const std::string& device)
    {
        const std::string built = BuiltProgramDir() + "/";
        const std::string& d = dir.path();
        std::system(("cp -r '" + built + "Res' '" + built + "Files' '" + d + "'").c_str());
        CopyFile(BuiltBundle(), d + "ZORQenu.rcc");
        CopyFile(built + "$ZQ.VRS", d + "$ZQ.VRS");
        WriteFile(d + "ZorqMMI.ini", "[Ports]\r\nCOM1=" + device +
                                         "\r\n[Configuration]\r\nSerialPort=1\r\n[Pellard]\r\nDebug=1\r\n");
    }
    // The program file the folder belongs to.
    std::string Program() const { return dir.path() + "zorqmmi"; }
    const std::string& path() const { return dir.path(); }

    TempProgramDir dir;
};

// Runs steps on the program's modal dialogs in turn. A step is offered the
// active modal dialog once it is of the step's kind and is not the dialog
// the previous step acted on (a dialog that comes back after a nested
// message counts again). Steps run from a timer, so a step may click a
// button that opens a nested modal loop: the next step runs inside it.
class DialogDriver {
public:
    struct Step {
        std::function<bool(QWidget*)> kind;
        std::function<void(QWidget*)> act;
    };
    void Add(std::function<bool(QWidget*)> kind, std::function<void(QWidget*)> act)
    {
        steps_.push_back({std::move(kind), std::move(act)});
    }
    void Start() { QTimer::singleShot(20, [this] { Poll(); }); }
    bool Done() const { return next_ == steps_.size(); }
    size_t StepsRun() const { return next_; }

private:
    void Poll()
    {
        if (Done())
            return;
        QWidget* modal = QApplication::activeModalWidget();
        // The next look is booked before acting: the act may not return
        // until a nested dialog it opens has been answered.
        QTimer::singleShot(20, [this] { Poll(); });
        if (!modal || !modal->isVisible() || modal == last_.data() || !steps_[next_].kind(modal))
            return;
        last_ = modal;
        Step& step = steps_[next_++];
        step.act(modal);
    }

    std::vector<Step> steps_;
    size_t next_ = 0;
    QPointer<QWidget> last_;
};

// Polls `condition` while the loop runs; `then` once it holds, `timeout`
// after `ms` without.
inline void WhenTrue(std::function<bool()> condition, std::function<void()> then, int ms,
                     std::function<void()> timeout)
{
    auto* timer = new QTimer();
    auto* elapsed = new int(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        *elapsed += 50;
        const bool ok = condition();
        if (!ok && *elapsed < ms)
            return;
        timer->stop();
        timer->deleteLater();
        delete elapsed;
        if (ok)
            then();
        else
            timeout();
    });
    timer->start(50);
}

}  // namespace zorqtest
