#include "uiwidgets.h"

#include "utilities.h"

#include "langbundle.h"
#include "uiservices.h"

#include <QFile>
#include <QLayout>
#include <QWidget>

bool UiReplaceWidget(QWidget* placeholder, QWidget* replacement)
{
    if (!placeholder || !replacement || placeholder == replacement)
        return false;
    QWidget* parent = placeholder->parentWidget();
    // Tab reaches the replacement where it reached the placeholder, in the
    // form's reading order, not last because it joined the form last.
    QWidget* before = placeholder->previousInFocusChain();
    while (before && before != placeholder && before->focusPolicy() == Qt::NoFocus)
        before = before->previousInFocusChain();
    replacement->setParent(parent);
    if (before && before != placeholder && before != replacement && !replacement->isAncestorOf(before) &&
        before->window() == replacement->window() && before->window() != before &&
        replacement->focusPolicy() != Qt::NoFocus)
        QWidget::setTabOrder(before, replacement);
    replacement->setObjectName(placeholder->objectName());
    placeholder->setObjectName(QString());
    // The layout hands the placeholder's old item back to us to delete.
    bool placed = false;
    if (parent && parent->layout())
        if (QLayoutItem* old = parent->layout()->replaceWidget(placeholder, replacement, Qt::FindDirectChildrenOnly)) {
            delete old;
            placed = true;
        }
    if (!placed) {
        // The placeholder may sit in a nested layout of the form.
        for (QLayout* l : parent ? parent->findChildren<QLayout*>() : QList<QLayout*>())
            if (QLayoutItem* old = l->replaceWidget(placeholder, replacement, Qt::FindDirectChildrenOnly)) {
                delete old;
                placed = true;
                break;
            }
    }
    if (!placed)
        replacement->setGeometry(placeholder->geometry());
    replacement->setEnabled(placeholder->isEnabled());
    replacement->setToolTip(placeholder->toolTip());
    placeholder->hide();
    placeholder->deleteLater();
    replacement->show();
    return true;
}

QIcon UiLoadIcon(const QString& name)
{
    if (name.isEmpty())
        return QIcon();
    // The program's own pictures, built into it, come first.
    QStringList candidates{QStringLiteral(":/zorqmmi/pictures/") + name + QLatin1String(".png")};
    for (const char* ext : {".svg", ".png", ".ico"}) {
        if (CLanguageBundle* b = UiResources())
            candidates << b->ResourcePath(QStringLiteral("icons/") + name + QLatin1String(ext));
        candidates << QStringLiteral(":/zorqmmi/") + name + QLatin1String(ext);
        candidates << QStringLiteral(":/zorqmmi/icons/") + name + QLatin1String(ext);
        if (UiServices* s = GetUiServices())
            candidates << QString::fromStdString(s->GetResDir()) + name + QLatin1String(ext);
    }
    for (const QString& path : candidates)
        if (QFile::exists(path))
            return LoadIconFile(path);
    return QIcon();
}
