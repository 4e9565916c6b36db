// The walk-through: any test renders a widget, as a user would see it, into
// ${ZORQ_TEST_BUILD_DIR}/screens/<name>.png, so the program's screens and
// dialogs can be looked at without a desktop. Every rendered window is also
// checked for unfinished text (shown_texts.h).
#pragma once

#include "shown_texts.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace zorqtest {

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
    return image.save(path, "PNG") ? path : QString();
}

}  // namespace zorqtest
