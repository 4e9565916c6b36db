// The walk-through: any test renders a widget, as a user would see it, into
// ${ZORQ_TEST_BUILD_DIR}/screens/<name>.png, so the program's screens and
// dialogs can be looked at without a desktop.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QList>
#include <QPainter>
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
    const QImage image = widget->grab().toImage();
    if (image.isNull() || !QDir().mkpath(ScreensDir()))
        return QString();
    const QString path = ScreensDir() + QLatin1Char('/') + name + QStringLiteral(".png");
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
