// What a screen needs of the window that holds it (the main frame), and the
// registry through which screens are created by number. The program's main
// registers a factory for each screen it links, so the application core
// never includes a screen's header.
#pragma once

#include <QSize>
#include <QString>

#include <functional>

class CMainView;
class QWidget;

// Screen numbers: the menu, then the menu's pictures 1 to 5, then the
// screens reached from other screens.
enum ScreenNumber {
    SCREEN_MENU = 0,
    SCREEN_PHONEBOOK = 1,
    SCREEN_SHORTMSG = 2,
    SCREEN_MELODY = 3,
    SCREEN_DATA = 4,
    SCREEN_SECURITY = 5,  // security codes (with the set-up)
    SCREEN_SETUP = 6,
};

class CViewFrame {
public:
    virtual ~CViewFrame() = default;
    // The window the screens are children of.
    virtual QWidget* GetFrameWindow() = 0;
    virtual CMainView* GetActiveView() const = 0;
    // Shows `view` as the frame's one screen and makes it active (posted
    // messages go to it from now on); the frame fits itself to the view's
    // form. The previous screen is not touched.
    virtual void SetActiveView(CMainView* view) = 0;
    virtual void SetFrameTitle(const QString& title) = 0;
    // Allows (menu screen) or greys (every other screen) closing the window.
    virtual void EnableCloseCommands(bool enable) = 0;
    // Centres the frame, sized for a view of `viewSize`, on the desktop (the
    // first screen of the run, during its first update).
    virtual void CenterFrame(const QSize& viewSize) = 0;
};

// The main frame, set by the frame itself; null while there is none.
CViewFrame* GetViewFrame();
void SetViewFrame(CViewFrame* frame);

// Creates a screen; `argument` is what the screen is opened with (the
// message screen's source folder, for example). Null when it cannot be
// created.
using ScreenFactory = std::function<CMainView*(QWidget* parent, int argument)>;
void RegisterScreen(int screen, ScreenFactory factory);
void UnregisterScreen(int screen);
bool IsScreenRegistered(int screen);
// Null when no factory is registered or the factory gives none.
CMainView* CreateScreen(int screen, QWidget* parent, int argument = 0);
