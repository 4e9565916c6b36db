// Tab pressed round a window as a person presses it: from its first control
// until the focus comes back, with what a reading-order check needs (the
// controls Tab can reach, the ones it reached, how often it jumped back up
// and to the left).
#pragma once

#include <QApplication>
#include <QAbstractButton>
#include <QList>
#include <QRadioButton>
#include <QStringList>
#include <QTest>
#include <QWidget>

namespace zorqtest {

inline bool TabReachable(QWidget* w, QWidget* root)
{
    return w->isVisibleTo(root) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy();
}

inline QPoint TabAt(QWidget* w, QWidget* root) { return w->mapTo(root, QPoint(0, 0)); }

// A control as a failure message names it: its name, place and text.
inline QString TabName(QWidget* w, QWidget* root)
{
    const QPoint p = TabAt(w, root);
    QString text;
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        text = QLatin1Char(' ') + b->text();
    return QStringLiteral("%1(%2,%3%4)").arg(w->objectName()).arg(p.x()).arg(p.y()).arg(text);
}

struct TabWalk {
    QList<QWidget*> reachable;  // a group of radio buttons counts once
    QList<QWidget*> seen;       // in the order Tab reached them
    QWidget* first = nullptr;   // null: nothing to reach
    bool cameRound = false;
    int backwards = 0;          // steps back up and to the left
    QString order;              // the walk, for failure messages
};

// Tabs round the shown window `root` once, from the first reachable control
// of its focus chain.
inline TabWalk WalkTab(QWidget* root)
{
    TabWalk walk;
    QList<QWidget*> radioGroups;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!TabReachable(w, root))
            continue;
        // Tab stops once in a group of radio buttons (the arrows move in it).
        if (auto* r = qobject_cast<QRadioButton*>(w); r && r->autoExclusive()) {
            if (radioGroups.contains(r->parentWidget()))
                continue;
            radioGroups << r->parentWidget();
        }
        walk.reachable << w;
    }
    if (walk.reachable.isEmpty())
        return walk;
    QWidget* first = root->nextInFocusChain();
    while (first != root && !TabReachable(first, root))
        first = first->nextInFocusChain();
    if (first == root)
        return walk;
    walk.first = first;
    first->setFocus(Qt::TabFocusReason);
    QStringList names{TabName(first, root)};
    walk.seen << first;
    for (int i = 0; i < walk.reachable.size() + 1; ++i) {
        QWidget* from = QApplication::focusWidget();
        if (!from)
            break;
        QTest::keyClick(from, Qt::Key_Tab);
        QWidget* to = QApplication::focusWidget();
        if (!to)
            break;
        if (TabAt(to, root).y() < TabAt(from, root).y() - 8 && TabAt(to, root).x() < TabAt(from, root).x())
            ++walk.backwards;
        if (to == first) {
            walk.cameRound = true;
            break;
        }
        names << TabName(to, root);
        walk.seen << to;
    }
    walk.order = names.join(QLatin1Char(' '));
    return walk;
}

}  // namespace zorqtest
