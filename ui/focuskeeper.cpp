#include "focuskeeper.h"

#include <QApplication>

void CFocusKeeper::Record(QWidget* within)
{
    QWidget* focus = QApplication::focusWidget();
    if (within) {
        QWidget* top = within->window();
        if (!focus || focus->window() != top)
            focus = top->focusWidget();
    }
    m_pFocus = focus;
}

void CFocusKeeper::Restore()
{
    if (m_pFocus && m_pFocus->isVisible() && m_pFocus->isEnabled())
        m_pFocus->setFocus(Qt::OtherFocusReason);
}
