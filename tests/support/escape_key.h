// Escape as a person presses it: the key goes to the control that has the
// keyboard focus inside the dialog and travels up through the dialog's form
// to the dialog, as the window system delivers it. A dialog that is still on
// screen a moment after the key is recorded and then closed, so that a fault
// fails the test instead of leaving its modal loop running for ever. The
// dialog is waited for to close (up to a cap), not given a fixed moment, so
// a loaded machine that closes it late does not count as a fault.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <set>

namespace zorqtest {

// The control Escape reaches first: the dialog's focus widget, else the first
// control that takes the focus, else any visible child, else the dialog.
inline QWidget* EscapeTarget(QWidget* dialog)
{
    if (QWidget* f = dialog->focusWidget())
        return f;
    QWidget* anyChild = nullptr;
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(dialog))
            continue;
        if (w->focusPolicy() != Qt::NoFocus && w->isEnabled())
            return w;
        if (!anyChild && !w->findChildren<QWidget*>().isEmpty())
            anyChild = w;
    }
    return anyChild ? anyChild : dialog;
}

struct EscapeResult {
    bool pressed = false;   // a dialog came up and got the key
    bool leftOpen = false;  // it was still shown afterwards
    QString title;          // the dialog's caption, for messages
    bool settled = false;   // the outcome has been looked at
};

// Presses Escape in `dialog` and waits up to `settleMs` for it to close.
inline void PressEscape(QWidget* dialog, const std::shared_ptr<EscapeResult>& result, int settleMs = 2000)
{
    result->pressed = true;
    result->title = dialog->windowTitle();
    QTest::keyClick(EscapeTarget(dialog), Qt::Key_Escape);
    QPointer<QWidget> guard(dialog);
    // Owned by the application, so that a test that ends before the timer's
    // deletion was handled leaves nothing behind.
    auto* timer = new QTimer(qApp);
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        *waited += 20;
        if (guard && guard->isVisible() && *waited < settleMs)
            return;
        timer->stop();
        timer->deleteLater();
        if (guard && guard->isVisible()) {
            result->leftOpen = true;
            if (auto* d = qobject_cast<QDialog*>(guard.data()))
                d->reject();
            guard->hide();
        }
        result->settled = true;
    });
    timer->start(20);
}

// Waits (up to `waitMs`) for a shown window that `accept` takes, then presses
// Escape in it.
template <typename Accept>
std::shared_ptr<EscapeResult> EscapeNext(Accept accept, int waitMs = 10000)
{
    auto result = std::make_shared<EscapeResult>();
    auto* timer = new QTimer(qApp);
    auto elapsed = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        *elapsed += 20;
        QWidget* found = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && accept(w))
                found = w;
        if (!found && *elapsed < waitMs)
            return;
        timer->stop();
        timer->deleteLater();
        if (found)
            PressEscape(found, result);
    });
    timer->start(20);
    return result;
}

// The same for the next window of class T.
template <class T>
std::shared_ptr<EscapeResult> EscapeNextOf(int waitMs = 10000)
{
    return EscapeNext([](QWidget* w) { return qobject_cast<T*>(w) != nullptr; }, waitMs);
}

// The same for the next modal dialog.
inline std::shared_ptr<EscapeResult> EscapeNextModal(int waitMs = 10000)
{
    return EscapeNext([](QWidget* w) { return w == QApplication::activeModalWidget(); }, waitMs);
}

// For windows that are not modal: lets the loop run until the key was pressed
// and its outcome looked at. False when no window came up in time.
inline bool WaitForEscape(const std::shared_ptr<EscapeResult>& result, int waitMs = 10000)
{
    if (!QTest::qWaitFor([&] { return result->pressed; }, waitMs))
        return false;
    return QTest::qWaitFor([&] { return result->settled; }, waitMs);
}

// The top-level windows shown now.
inline std::set<QWidget*> ShownWindows()
{
    std::set<QWidget*> shown;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            shown.insert(w);
    return shown;
}

// Windows shown now that were not in `before`, after the events of the close
// were handled.
inline int WindowsLeftBeyond(const std::set<QWidget*>& before)
{
    QApplication::processEvents();
    int left = 0;
    for (QWidget* w : ShownWindows())
        if (!before.count(w))
            ++left;
    return left;
}

}  // namespace zorqtest
