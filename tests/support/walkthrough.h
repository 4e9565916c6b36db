// The walk-through: any test renders a widget, as a user would see it, into
// ${ZORQ_TEST_BUILD_DIR}/screens/<name>.png, so the program's screens and
// dialogs can be looked at without a desktop. Each shot is also checked for
// unfinished text (shown_texts.h) and for texts cut off by the space their
// control is given.
#pragma once

#include "shown_texts.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTreeView>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QList>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTextDocument>
#include <QWidget>

#include <gtest/gtest.h>

namespace zorqtest {

// The buttons, labels and group boxes under `root` (shown ones only) whose text needs
// more room than they have, or which stick out of the widget that holds
// them; one line each, naming the control and its text.
inline QStringList ClippedTexts(QWidget* root)
{
    QStringList found;
    auto name = [](QWidget* w, const QString& text) {
        return QStringLiteral("%1 \"%2\" (%3): ")
            .arg(QString::fromLatin1(w->metaObject()->className()), text, w->objectName());
    };
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        if (!w->isVisibleTo(root) || w->isWindow())
            continue;
        if (auto* box = qobject_cast<QGroupBox*>(w); box && !box->title().isEmpty()) {
            QString plain = box->title();
            plain.remove(QLatin1Char('&'));
            const int need = box->fontMetrics().horizontalAdvance(plain) + 8;
            if (need > box->width())
                found << name(w, box->title()) + QStringLiteral("needs %1 pixels, has %2").arg(need).arg(box->width());
            continue;
        }
        auto* button = qobject_cast<QAbstractButton*>(w);
        auto* label = qobject_cast<QLabel*>(w);
        if (!button && !label)
            continue;
        QString text = button ? button->text() : label->text();
        // Sticking out of the holder cuts any control, text or not.
        QWidget* holder = w->parentWidget();
        if (holder && !holder->rect().contains(w->geometry()) && !w->geometry().isEmpty() &&
            holder->rect().intersects(w->geometry()))
            found << name(w, text) + QStringLiteral("outside its holder %1x%2 at %3,%4 %5x%6")
                                         .arg(holder->width()).arg(holder->height())
                                         .arg(w->x()).arg(w->y()).arg(w->width()).arg(w->height());
        if (text.isEmpty())
            continue;
        if (button) {
            // A push button's text and icon, with a few pixels of its frame
            // on each side (its size hint adds a minimum width of the style's,
            // which short texts do not need).
            QString plain = text;
            plain.remove(QLatin1Char('&'));
            int need = button->fontMetrics().horizontalAdvance(plain) + 8;
            if (!button->icon().isNull())
                need += button->iconSize().width() + 4;
            if (!qobject_cast<QPushButton*>(button))
                need = button->sizeHint().width();
            if (need > button->width())
                found << name(w, text) + QStringLiteral("needs %1 pixels, has %2")
                                             .arg(need).arg(button->width());
            continue;
        }
        if (!label->pixmap().isNull() || label->textFormat() == Qt::RichText ||
            (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text)))
            continue;
        const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(),
                                                          -label->margin(), -label->margin());
        if (label->wordWrap()) {
            const int need = label->heightForWidth(label->width());
            if (need > label->height())
                found << name(w, text) + QStringLiteral("needs %1 pixels of height, has %2")
                                             .arg(need).arg(label->height());
        } else {
            QString longest;
            int width = 0;
            for (const QString& line : text.split(QLatin1Char('\n')))
                width = std::max(width, label->fontMetrics().horizontalAdvance(line.trimmed()));
            if (width > room.width())
                found << name(w, text) + QStringLiteral("needs %1 pixels, has %2")
                                             .arg(width).arg(room.width());
        }
    }
    return found;
}

// The room a window manager's title bar leaves to the title: the window's
// width less its icon and its three buttons (in the bold font title bars use).
constexpr int kTitleBarChrome = 112;

// The title of a window that its title bar cannot show whole; empty when it
// fits (or when `root` is no window).
inline QString ClippedTitle(QWidget* root)
{
    if (!root->isWindow() || root->windowTitle().isEmpty())
        return QString();
    QFont bold = QApplication::font();
    bold.setBold(true);
    const int need = QFontMetrics(bold).horizontalAdvance(root->windowTitle()) + kTitleBarChrome;
    if (need <= root->width())
        return QString();
    return QStringLiteral("window title \"%1\": needs %2 pixels, has %3")
        .arg(root->windowTitle()).arg(need).arg(root->width());
}

// The columns of the lists under `root` that a person cannot read: a heading
// cut, or rows cut in a column narrower than a quarter of its list (only a
// column with a usable share of the list may shorten its rows to "...").
// Looks at the first 100 rows; one line per cut, naming list, column and text.
inline QStringList ClippedColumns(QWidget* root)
{
    QStringList found;
    for (QAbstractItemView* view : root->findChildren<QAbstractItemView*>()) {
        if (!view->isVisibleTo(root) || view->isWindow() || !view->model())
            continue;
        QHeaderView* header = nullptr;
        if (auto* tree = qobject_cast<QTreeView*>(view))
            header = tree->isHeaderHidden() ? nullptr : tree->header();
        else if (auto* table = qobject_cast<QTableView*>(view))
            header = table->horizontalHeader()->isHidden() ? nullptr : table->horizontalHeader();
        if (!header)
            continue;
        const QAbstractItemModel* model = view->model();
        const QModelIndex root_index = view->rootIndex();
        const int width = view->viewport()->width();
        const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        auto where = [&](int column, const QString& text) {
            return QStringLiteral("%1 (%2) column %3 \"%4\": ")
                .arg(QString::fromLatin1(view->metaObject()->className()), view->objectName())
                .arg(column).arg(text);
        };
        for (int c = 0; c < header->count(); ++c) {
            if (header->isSectionHidden(c))
                continue;
            // What the list shows of the column without scrolling sideways.
            const int shown = std::max(0, std::min(header->sectionSize(c), width - header->sectionViewportPosition(c)));
            const QString title = model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
            const int titleNeed = header->fontMetrics().horizontalAdvance(title) + 2 * margin;
            if (!title.isEmpty() && titleNeed > shown)
                found << where(c, title) + QStringLiteral("heading needs %1 pixels, has %2").arg(titleNeed).arg(shown);
            if (shown * 4 >= width)
                continue;
            const int rows = std::min(model->rowCount(root_index), 100);
            for (int r = 0; r < rows; ++r) {
                const QModelIndex index = model->index(r, c, root_index);
                const QString text = index.data(Qt::DisplayRole).toString();
                if (text.isEmpty())
                    continue;
                QStyleOptionViewItem opt;
                opt.initFrom(view);
                opt.decorationSize = view->iconSize().isValid() ? view->iconSize() : QSize(16, 16);
                const int need = view->itemDelegateForIndex(index)->sizeHint(opt, index).width();
                if (need > shown) {
                    found << where(c, text) + QStringLiteral("row %1 needs %2 pixels, has %3 of a list %4 wide")
                                                  .arg(r).arg(need).arg(shown).arg(width);
                    break;
                }
            }
        }
    }
    return found;
}

// The folder of the rendered screens.
inline QString ScreensDir() { return QStringLiteral(ZORQ_TEST_BUILD_DIR "/screens"); }

// Shows the widget when it is hidden, lets pending layout and paint work
// run, and saves what it shows. Returns the file's path, empty on failure.
inline QString SaveScreen(QWidget* widget, const QString& name)
{
    if (!widget)
        return QString();
    if (!widget->isVisible())
        widget->show();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    // What is rendered is what a person reads: it must be finished text.
    const QStringList unfinished = UnfinishedTextsIn(widget);
    if (!unfinished.isEmpty())
        ADD_FAILURE() << name.toStdString() << " shows unfinished text: " << unfinished.join(QLatin1String("; ")).toStdString();
    const QImage image = widget->grab().toImage();
    if (image.isNull() || !QDir().mkpath(ScreensDir()))
        return QString();
    const QString path = ScreensDir() + QLatin1Char('/') + name + QStringLiteral(".png");
    QStringList clippedAll = ClippedTexts(widget) + ClippedColumns(widget);
    if (const QString title = ClippedTitle(widget); !title.isEmpty())
        clippedAll << title;
    for (const QString& clipped : clippedAll)
        ADD_FAILURE() << "walk-through " << name.toStdString() << ": cut off: " << clipped.toStdString();
    return image.save(path, "PNG") ? path : QString();
}

// The same with the windows that float over it as they show at that moment
// (an open popup menu and its submenus, a drag image): each is painted
// where it stands on the screen.
inline QString SaveScreenWithOverlays(QWidget* widget, const QList<QWidget*>& overlays, const QString& name)
{
    if (!widget)
        return QString();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    QPixmap shot = widget->grab();
    {
        QPainter p(&shot);
        for (QWidget* w : overlays)
            if (w && w->isVisible())
                p.drawPixmap(widget->mapFromGlobal(w->mapToGlobal(QPoint(0, 0))), w->grab());
    }
    if (shot.isNull() || !QDir().mkpath(ScreensDir()))
        return QString();
    const QString path = ScreensDir() + QLatin1Char('/') + name + QStringLiteral(".png");
    return shot.save(path, "PNG") ? path : QString();
}

}  // namespace zorqtest
