// What a person does with the mouse, as the window system delivers it: a
// right click on a list row (the press, then the context-menu event), a
// choice in the popup menu that opens, and the same on a button; a row
// dragged out of a list onto another control.
#pragma once

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <functional>
#include <vector>

namespace zorqtest {

// A right click at `pos` of `widget`: the press and release, then the
// context-menu event the window system sends after them.
inline void RightClick(QWidget* widget, const QPoint& pos)
{
    QTest::mouseClick(widget, Qt::RightButton, Qt::NoModifier, pos);
    QContextMenuEvent e(QContextMenuEvent::Mouse, pos, widget->mapToGlobal(pos));
    QApplication::sendEvent(widget, &e);
}

// The middle of row `row` of a list, in its viewport.
inline QPoint RowPoint(QAbstractItemView* list, int row)
{
    return list->visualRect(list->model()->index(row, 0)).center();
}

// A double click on row `row` of a list as the window system delivers it:
// press and release, then the second press that it reports as a double
// click, and its release.
inline void DoubleClickRow(QAbstractItemView* list, int row)
{
    const QPoint at = RowPoint(list, row);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QApplication::processEvents();
}

// A right click on row `row` of a list.
inline void RightClickRow(QAbstractItemView* list, int row)
{
    RightClick(list->viewport(), RowPoint(list, row));
}

// Selects `rows` of a list as a person does: a click on the first, then
// Ctrl and a click on each of the others.
inline void ClickRows(QAbstractItemView* list, const std::vector<int>& rows)
{
    for (size_t i = 0; i < rows.size(); ++i) {
        list->scrollTo(list->model()->index(rows[i], 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, i == 0 ? Qt::NoModifier : Qt::ControlModifier,
                          RowPoint(list, rows[i]));
    }
    QCoreApplication::processEvents();
}

// Presses on the row, pulls it out of the list and lets go over `target`.
inline void DragRowTo(QAbstractItemView* list, int row, QWidget* target)
{
    QWidget* vp = list->viewport();
    const QPoint start = RowPoint(list, row);
    QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, start);
    // The list takes the first move as the start of a drag and begins it
    // once the pointer is far enough from where it was pressed.
    for (int step = 1; step <= 3; ++step)
        QTest::mouseMove(vp, start + QPoint(step * (QApplication::startDragDistance() + 2), 0));
    const QPoint over = vp->mapFromGlobal(target->mapToGlobal(target->rect().center()));
    QTest::mouseMove(vp, over + QPoint(1, 0));
    QTest::mouseMove(vp, over);
    QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, over);
    QApplication::processEvents();
}

// The item of `menu` (or of one of its submenus) that sends `id`.
inline QAction* FindMenuAction(QMenu* menu, unsigned id, QMenu** owner = nullptr)
{
    if (!menu)
        return nullptr;
    for (QAction* a : menu->actions()) {
        if (a->menu()) {
            if (QAction* inner = FindMenuAction(a->menu(), id, owner))
                return inner;
        } else if (!a->isSeparator() && a->data().isValid() && a->data().toUInt() == id) {
            if (owner)
                *owner = menu;
            return a;
        }
    }
    return nullptr;
}

// The submenu item of `menu` whose title is `title`.
inline QMenu* FindSubMenu(QMenu* menu, const QString& title)
{
    for (QAction* a : menu ? menu->actions() : QList<QAction*>())
        if (a->menu() && a->text() == title)
            return a->menu();
    return nullptr;
}

// Clicks the item `id` of the shown popup `menu`; an item of a submenu is
// reached by clicking the submenu first. False when the item is missing.
inline bool ClickMenuItem(QMenu* menu, unsigned id)
{
    QMenu* owner = nullptr;
    QAction* item = FindMenuAction(menu, id, &owner);
    if (!item)
        return false;
    if (owner != menu) {
        for (QAction* a : menu->actions())
            if (a->menu() == owner) {
                QTest::mouseMove(menu, menu->actionGeometry(a).center());
                QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(a).center());
            }
        QCoreApplication::processEvents();
        if (!owner->isVisible())
            return false;
    }
    const QPoint at = owner->actionGeometry(item).center();
    QTest::mouseMove(owner, at);
    QTest::mouseClick(owner, Qt::LeftButton, Qt::NoModifier, at);
    return true;
}

// Runs `act` on the popup menu once it is shown (the caller opens it after
// this call); a popup that never shows leaves `act` unrun.
inline void OnPopup(std::function<void(QMenu*)> act, int delayMs = 20)
{
    QTimer::singleShot(delayMs, [act] {
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (popup)
            act(popup);
    });
}

}  // namespace zorqtest
