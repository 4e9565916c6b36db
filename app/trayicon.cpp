#include "trayicon.h"

#include "dlgabout.h"
#include "helpfile.h"
#include "utilities.h"
#include "wndmsg.h"
#include "zorqapp.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

CTrayIcon::CTrayIcon(QObject* owner, unsigned iconId) : m_owner(owner), m_iconId(iconId) {}

CTrayIcon::~CTrayIcon()
{
    Remove();
    // The tray icon refers to the menu: it goes first.
    m_icon.reset();
}

QMenu* CTrayIcon::ContextMenu()
{
    if (!m_menu && qobject_cast<QApplication*>(QCoreApplication::instance())) {
        m_menu = std::make_unique<QMenu>();
        QAction* about = m_menu->addAction(AboutMenuText());
        about->setObjectName(QStringLiteral("about"));
        QObject::connect(about, &QAction::triggered, [] {
            CZorqMMIApp* app = CZorqMMIApp::Instance();
            RunAboutBox(app ? app->m_pMainWnd : nullptr);
        });
    }
    return m_menu.get();
}

void CTrayIcon::SetOwner(QObject* owner, unsigned iconId)
{
    m_owner = owner;
    m_iconId = iconId;
}

bool CTrayIcon::Show(int iconResId, int tipStringId, unsigned callbackMessage)
{
    QString tip;
    if (CZorqMMIApp* app = CZorqMMIApp::Instance(); tipStringId != 0 && app) {
        // The note stays whole; the tip itself gives way to it.
        const int note = static_cast<int>(app->MarkSimulated(QString()).size());
        tip = app->MarkSimulated(app->LoadString(tipStringId).left(63 - note));
    }
    m_tip = tip;
    m_iconResId = iconResId;
    m_callbackMessage = callbackMessage;
    m_bRemoved = false;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        !QSystemTrayIcon::isSystemTrayAvailable())
        return true;
    if (!m_icon) {
        m_icon = std::make_unique<QSystemTrayIcon>();
        QObject::connect(m_icon.get(), &QSystemTrayIcon::activated,
                         [this](QSystemTrayIcon::ActivationReason reason) {
                             if (!m_callbackMessage || !m_owner)
                                 return;
                             const unsigned mouse = reason == QSystemTrayIcon::DoubleClick
                                                        ? WM_LBUTTONDBLCLK
                                                        : WM_LBUTTONUP;
                             PostMessage(m_owner, m_callbackMessage, m_iconId, mouse);
                         });
        m_icon->setContextMenu(ContextMenu());
    }
    m_icon->setIcon(iconResId ? LoadAppIcon(iconResId) : QIcon());
    m_icon->setToolTip(tip);
    m_icon->show();
    return true;
}

bool CTrayIcon::Add(int iconResId, int tipStringId, unsigned callbackMessage)
{
    return Show(iconResId, tipStringId, callbackMessage);
}

bool CTrayIcon::Modify(int iconResId, int tipStringId, unsigned callbackMessage)
{
    return Show(iconResId, tipStringId, callbackMessage);
}

bool CTrayIcon::Remove()
{
    if (m_bRemoved)
        return false;
    if (m_icon)
        m_icon->hide();
    m_bRemoved = true;
    m_iconResId = 0;
    return true;
}
