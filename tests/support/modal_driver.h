// Answers the dialogs of a sequence one after the other, the way a user
// answers one dialog after the other: each step waits for its window to come
// up, is taken off the queue, then acts on it. An act may open further
// dialogs (the next steps answer them inside its modal run) or leave its
// window open for the next step; a window whose act is still running (waiting
// for the phone, say) is not answered twice.
//
// A step finds its window in one of two ways:
// - On<T>: any visible top-level window of class T, modal or not (a progress
//   window that shows while work runs);
// - OnModal<T>: the window that is modal at that moment, of class T.
// Drive() queues steps on whichever dialog is modal and sets a deadline: a
// step that waits too long, or a dialog still open when the steps are used
// up, ends the test's dialogs with Cancel so that a fault fails the test
// instead of hanging it. CancelUnexpected<T>() answers a question of class T
// that comes up when no step is left with Cancel, and counts it, for tests
// that check no further question was asked.
#pragma once

#include "dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

namespace zorqtest {

class ModalDriver : public QObject {
public:
    using Step = std::function<void(CDialog*)>;

    ModalDriver()
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
        timer_.start();
    }

    template <class T>
    void On(std::function<void(T*)> act)
    {
        Queue<T>(false, std::move(act));
    }
    template <class T>
    void OnModal(std::function<void(T*)> act)
    {
        Queue<T>(true, std::move(act));
    }
    void Drive(std::vector<Step> steps, int timeoutMs = 20000)
    {
        for (Step& s : steps)
            OnModal<CDialog>(std::move(s));
        timeoutMs_ = timeoutMs;
        clock_.start();
    }
    template <class T>
    void CancelUnexpected()
    {
        unexpectedKinds_.push_back([](QWidget* w) { return qobject_cast<T*>(w) != nullptr; });
    }
    bool Done() const { return steps_.empty(); }
    bool Finished() const { return Done(); }
    size_t StepsLeft() const { return steps_.size(); }
    int Unexpected() const { return unexpected_; }

    static void Type(CDialog* dlg, int id, const QString& text)
    {
        auto* e = qobject_cast<QLineEdit*>(dlg->GetDlgItem(id));
        ASSERT_NE(e, nullptr) << "edit " << id;
        e->setText(text);
    }
    static void Click(CDialog* dlg, int id)
    {
        auto* b = qobject_cast<QAbstractButton*>(dlg->GetDlgItem(id));
        ASSERT_NE(b, nullptr) << "button " << id;
        b->click();
    }

private:
    struct Entry {
        bool modal;
        std::function<bool(QWidget*)> match;
        std::function<void(QWidget*)> act;
    };

    template <class T>
    void Queue(bool modal, std::function<void(T*)> act)
    {
        steps_.push_back({modal, [](QWidget* w) { return qobject_cast<T*>(w) != nullptr; },
                          [act = std::move(act)](QWidget* w) { act(qobject_cast<T*>(w)); }});
    }

    bool Busy(QWidget* w) const { return std::find(busy_.begin(), busy_.end(), w) != busy_.end(); }

    // The window the front step acts on, or none yet.
    QWidget* Target() const
    {
        const Entry& step = steps_.front();
        if (step.modal) {
            QWidget* w = QApplication::activeModalWidget();
            return w && w->isVisible() && !Busy(w) && step.match(w) ? w : nullptr;
        }
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && !Busy(w) && step.match(w))
                return w;
        return nullptr;
    }

    void Tick()
    {
        if (timeoutMs_ > 0 && clock_.elapsed() > timeoutMs_) {
            TimeUp();
            return;
        }
        if (steps_.empty()) {
            CancelAnUnexpectedOne();
            return;
        }
        QWidget* w = Target();
        if (!w)
            return;
        Entry step = steps_.front();
        steps_.pop_front();
        busy_.push_back(w);
        // Acted on outside the tick: a timer does not fire again inside its
        // own slot, and the act may run a modal loop whose dialogs the next
        // steps answer.
        QPointer<QWidget> target(w);
        QTimer::singleShot(0, this, [this, step, target, w] {
            if (target)
                step.act(target);
            busy_.erase(std::find(busy_.begin(), busy_.end(), w));
        });
    }

    void CancelAnUnexpectedOne()
    {
        auto* dlg = qobject_cast<CDialog*>(QApplication::activeModalWidget());
        if (!dlg || !dlg->isVisible() || Busy(dlg))
            return;
        for (const auto& kind : unexpectedKinds_)
            if (kind(dlg)) {
                ++unexpected_;
                dlg->EndDialog(IDCANCEL);
                return;
            }
    }

    void TimeUp()
    {
        timeoutMs_ = 0;
        auto* dlg = qobject_cast<CDialog*>(QApplication::activeModalWidget());
        if (steps_.empty() && !dlg)
            return;
        ADD_FAILURE() << steps_.size() << " dialog step(s) never ran" << (dlg ? ", a dialog was left open" : "");
        steps_.clear();
        if (dlg)
            dlg->EndDialog(IDCANCEL);
    }

    std::deque<Entry> steps_;
    std::vector<std::function<bool(QWidget*)>> unexpectedKinds_;
    int unexpected_ = 0;
    std::vector<QWidget*> busy_;
    QTimer timer_;
    QElapsedTimer clock_;
    int timeoutMs_ = 0;
};

}  // namespace zorqtest
