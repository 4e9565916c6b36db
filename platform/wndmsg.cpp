#include "wndmsg.h"

#include <QCoreApplication>

QEvent::Type CWndMsgEvent::EventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool PostMessage(QObject* target, unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    if (!target)
        return false;
    QCoreApplication::postEvent(target, new CWndMsgEvent(message, wParam, lParam));
    return true;
}

std::intptr_t SendMessage(QObject* target, unsigned message, std::uintptr_t wParam,
                          std::intptr_t lParam)
{
    if (!target)
        return 0;
    CWndMsgEvent ev(message, wParam, lParam);
    QCoreApplication::sendEvent(target, &ev);
    return ev.result;
}
