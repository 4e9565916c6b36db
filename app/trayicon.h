// The program's icon in the desktop's notification area. The state (icon,
// tip, callback message) is kept whether or not the desktop shows a tray, so
// the screens behave the same everywhere.
#pragma once

#include <QPointer>
#include <QString>

#include <memory>

class QMenu;
class QObject;
class QSystemTrayIcon;

// Mouse messages a tray icon reports as lParam of its callback message.
enum : unsigned { WM_LBUTTONUP = 0x202, WM_LBUTTONDBLCLK = 0x203 };

class CTrayIcon {
public:
    explicit CTrayIcon(QObject* owner = nullptr, unsigned iconId = 0);
    ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // The window its callback messages are posted to (none: no messages).
    void SetOwner(QObject* owner, unsigned iconId);
    // Shows the program's icon `iconResId` (0: none) with the tip string
    // `tipStringId` (0: none; at most 63 characters, the simulated-phone
    // note included when the simulator answers) and posts
    // `callbackMessage` (wParam the icon id, lParam the mouse message) on
    // clicks.
    bool Add(int iconResId, int tipStringId, unsigned callbackMessage);
    // Changes the shown icon; adds it when it is not shown.
    bool Modify(int iconResId, int tipStringId, unsigned callbackMessage);
    // False when nothing was shown.
    bool Remove();

    // The icon's menu (the About command), built whether or not the desktop
    // shows a tray.
    QMenu* ContextMenu();

    bool IsRemoved() const { return m_bRemoved; }
    int IconResId() const { return m_iconResId; }
    const QString& Tip() const { return m_tip; }
    unsigned CallbackMessage() const { return m_callbackMessage; }

private:
    bool Show(int iconResId, int tipStringId, unsigned callbackMessage);

    bool m_bRemoved = true;
    QPointer<QObject> m_owner;
    unsigned m_iconId = 0;
    unsigned m_callbackMessage = 0;
    int m_iconResId = 0;
    QString m_tip;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_icon;
};
