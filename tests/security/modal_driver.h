// Drives modal dialogs from inside their own modal runs: each step runs on
// the dialog that is modal at that moment (waiting for one to come up), the
// way a user answers one dialog after the other. A dialog still open when
// the steps are used up, or a step that waits too long, ends the test's
// dialogs with Cancel so that a fault fails the test instead of hanging it.
#pragma once

#include "dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <vector>

namespace zorqtest {

class ModalDriver : public QObject {
public:
    using Step = std::function<void(CDialog*)>;

    void Drive(std::vector<Step> steps, int timeoutMs = 20000)
    {
        steps_ = std::move(steps);
        timeoutMs_ = timeoutMs;
        clock_.start();
        QTimer::singleShot(0, this, [this] { Next(); });
    }
    bool Finished() const { return steps_.empty(); }

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
    void Next()
    {
        auto* dlg = qobject_cast<CDialog*>(QApplication::activeModalWidget());
        if (clock_.elapsed() > timeoutMs_) {
            if (!steps_.empty() || dlg) {
                ADD_FAILURE() << steps_.size() << " dialog step(s) never ran"
                              << (dlg ? ", a dialog was left open" : "");
                steps_.clear();
                if (dlg)
                    dlg->EndDialog(IDCANCEL);
            }
            return;
        }
        // A dialog whose step is still running (waiting for the phone, say)
        // is not answered twice; a dialog that its step opened is next.
        const bool busy = std::find(busy_.begin(), busy_.end(), dlg) != busy_.end();
        if (!dlg || busy || steps_.empty()) {
            // Waiting for the next dialog, or watching that none is left open.
            QTimer::singleShot(steps_.empty() ? 50 : 10, this, [this] { Next(); });
            return;
        }
        Step step = steps_.front();
        steps_.erase(steps_.begin());
        busy_.push_back(dlg);
        QTimer::singleShot(0, this, [this] { Next(); });
        step(dlg);
        busy_.pop_back();
    }

    std::vector<Step> steps_;
    std::vector<CDialog*> busy_;
    QElapsedTimer clock_;
    int timeoutMs_ = 20000;
};

}  // namespace zorqtest
