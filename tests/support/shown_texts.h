// What a person reads on screen must be finished text: no "[APP_NAME]" left
// for the product name, no "%1" left unfilled, no bare string number where a
// text of the language bundle should have been. The walk-through runs this
// check on every window it renders, and the recording message boxes on every
// message.
#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStringList>
#include <QTabWidget>
#include <QWidget>

namespace zorqtest {

// True when the text still holds a placeholder or is a bare string number.
inline bool IsUnfinishedText(const QString& text)
{
    static const QRegularExpression insert(QStringLiteral("%[1-9]"));
    static const QRegularExpression stringNumber(QStringLiteral("^\\s*3[0-2]\\d{3}\\s*$"));
    return text.contains(QLatin1String("[APP_NAME]")) || text.contains(insert) || text.contains(stringNumber);
}

namespace detail {

inline void CheckText(QStringList& out, const QWidget* w, const char* what, const QString& text)
{
    if (IsUnfinishedText(text))
        out << QStringLiteral("%1 %2 \"%3\"").arg(w->objectName(), QLatin1String(what), text);
}

inline void CheckModel(QStringList& out, const QAbstractItemView* view)
{
    const QAbstractItemModel* m = view->model();
    if (!m)
        return;
    const int rows = std::min(m->rowCount(), 200);
    for (int c = 0; c < m->columnCount(); ++c) {
        CheckText(out, view, "header", m->headerData(c, Qt::Horizontal).toString());
        for (int r = 0; r < rows; ++r)
            CheckText(out, view, "row", m->index(r, c).data().toString());
    }
}

}  // namespace detail

// The unfinished texts that `root` and its shown children show (titles,
// labels, buttons, tips, group and tab titles, combo entries, list rows and
// headers), one description each.
inline QStringList UnfinishedTextsIn(const QWidget* root)
{
    QStringList out;
    if (!root)
        return out;
    QList<const QWidget*> widgets{root};
    for (const QWidget* w : root->findChildren<QWidget*>())
        if (w->isVisibleTo(root))
            widgets << w;
    detail::CheckText(out, root, "title", root->windowTitle());
    for (const QWidget* w : widgets) {
        detail::CheckText(out, w, "tip", w->toolTip());
        if (auto* l = qobject_cast<const QLabel*>(w))
            detail::CheckText(out, w, "label", l->text());
        else if (auto* b = qobject_cast<const QAbstractButton*>(w))
            detail::CheckText(out, w, "button", b->text());
        else if (auto* g = qobject_cast<const QGroupBox*>(w))
            detail::CheckText(out, w, "group", g->title());
        else if (auto* e = qobject_cast<const QLineEdit*>(w))
            detail::CheckText(out, w, "hint", e->placeholderText());
        else if (auto* c = qobject_cast<const QComboBox*>(w))
            for (int i = 0; i < c->count(); ++i)
                detail::CheckText(out, w, "entry", c->itemText(i));
        else if (auto* t = qobject_cast<const QTabWidget*>(w))
            for (int i = 0; i < t->count(); ++i)
                detail::CheckText(out, w, "tab", t->tabText(i));
        else if (auto* v = qobject_cast<const QAbstractItemView*>(w); v && !qobject_cast<const QHeaderView*>(w))
            detail::CheckModel(out, v);
    }
    return out;
}

}  // namespace zorqtest
