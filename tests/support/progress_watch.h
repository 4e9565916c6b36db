// Watches the progress windows while a piece of work runs, with a timer
// ticking beside it. For every showing of such a window it records how often
// the window (or a control in it) painted before it went, the text its text
// line had when painted, and, for each position its bar took, how often the
// timer fired while the bar stood there. A pause that blocks the thread
// shows as a position without a tick; a window that never painted, as no
// paint at all.
#pragma once

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>

#include <vector>

namespace zorqtest {

class ProgressWatch : public QObject {
public:
    struct Step {
        int position = 0;
        int ticks = 0;
    };
    struct Showing {
        QString title;
        int paints = 0;
        QString paintedText;  // the longest text a label of it painted
        std::vector<Step> steps;
        int range = 0;
        // Ticks while the bar was full (the pause before the window goes).
        int TicksAtFull() const
        {
            int n = 0;
            for (const Step& s : steps)
                if (range > 0 && s.position >= range)
                    n += s.ticks;
            return n;
        }
    };

    explicit ProgressWatch(int tickMs = 5)
    {
        qApp->installEventFilter(this);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            if (open_ && !showings.empty() && !showings.back().steps.empty())
                ++showings.back().steps.back().ticks;
        });
        timer_.start(tickMs);
    }
    ~ProgressWatch() override { qApp->removeEventFilter(this); }

    std::vector<Showing> showings;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w || (event->type() != QEvent::Show && event->type() != QEvent::Hide && event->type() != QEvent::Paint))
            return false;
        QWidget* top = w->window();
        if (!top || !top->inherits("CDlgProgress"))
            return false;
        if (event->type() == QEvent::Show && w == top) {
            showings.push_back(Showing{});
            showings.back().title = top->windowTitle();
            open_ = true;
            bar_ = top->findChild<QProgressBar*>();
            if (bar_) {
                Follow(bar_->value());
                QObject::connect(bar_, &QProgressBar::valueChanged, this, [this](int v) {
                    if (open_)
                        Follow(v);
                });
            }
        } else if (event->type() == QEvent::Hide && w == top) {
            open_ = false;
        } else if (event->type() == QEvent::Paint && open_ && !showings.empty()) {
            ++showings.back().paints;
            if (auto* label = qobject_cast<QLabel*>(w); label && label->text().size() > showings.back().paintedText.size())
                showings.back().paintedText = label->text();
        }
        return false;
    }

private:
    void Follow(int position)
    {
        if (showings.empty())
            return;
        Showing& s = showings.back();
        if (bar_)
            s.range = bar_->maximum();
        if (!s.steps.empty() && s.steps.back().position == position)
            return;
        s.steps.push_back(Step{position, 0});
    }

    QTimer timer_;
    bool open_ = false;
    QPointer<QProgressBar> bar_;
};

}  // namespace zorqtest
