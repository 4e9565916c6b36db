// String, path and platform helpers used throughout the program. Texts are
// byte strings; folders end in '/'.
#pragma once

#include "inputgate.h"

#include <functional>
#include <string>

class QWidget;

// Paths and files.
std::string NormalizeDirectory(const std::string& path);
std::string GetDirectoryPart(const std::string& path, int withoutSlash);
bool FileExists(const std::string& path);
std::string GetWindowsDirectoryPath();
// The program's own temporary folder, ending in '/': a folder of this user
// under the system's temporary folder, created (owner only) on first use.
// Files left there (vCards handed to other programs) are the document's to
// remove when it closes.
std::string GetTempDirectory();

// Text clean-up, in place.
void ReplaceAll(std::string& text, const std::string& oldPart, const std::string& newPart);
void RemoveAll(std::string& text, const std::string& part);
void CollapseBlanks(std::string& text);
void CollapseAllBlanks(std::string& text);
void TrimRight(std::string& text);
void TrimLeft(std::string& text);
void Trim(std::string& text);

// Waiting while the user interface stays alive: n x 10 ms.
bool WaitAndPumpMessages(int n);
// Dispatches the thread's messages for `ms`, sleeping while none is due:
// windows repaint and timers run, so a pause never freezes the screen.
// User input: all of it with `userInput`; otherwise it waits until the
// pause is over, except that the windows of `inputTo` (a progress window,
// whose Cancel stays live) take theirs. The pause is part of an operation:
// which input the other windows take meanwhile, and that no idle work
// starts, is the input gate's rule (inputgate.h).
void PumpMessagesFor(int ms, bool userInput, const QWidget* inputTo = nullptr);
// The same until `done` holds or `ms` have passed (ms < 0: no limit);
// returns done(). Another thread that makes `done` hold wakes the wait
// with WakeMessagePump.
bool PumpMessagesUntil(const std::function<bool()>& done, int ms, bool userInput,
                       const QWidget* inputTo = nullptr);
// Wakes a PumpMessagesUntil of the interface thread (from any thread).
void WakeMessagePump();
// Shows nothing itself: waits until the window system has exposed `window`
// (a window just shown) and it has painted, for at most `capMs` while
// nothing but user input is dispatched. Work that follows in the same
// thread would otherwise leave the window an unpainted frame. Returns
// whether it was exposed.
bool WaitUntilPainted(QWidget* window, int capMs = 250);
// The same for a window coming back from minimised (or otherwise shown
// again): waits, for at most `capMs`, until the window system has shown it
// and it has painted since this call, and the window system has exposed it
// no more for a moment (a window manager's restore can take a good part of
// a second and expose the window more than once; a paint made before it is
// shown again reaches no screen). Returns whether it painted.
bool WaitUntilRepainted(QWidget* window, int capMs = 2000);
bool PumpWindowMessages(QWidget* window);

// Platform.
int GetOSPlatform();
bool IsSmallScreen();
int MakeTaskbarNotTopmost();
void HideTaskbar();
void ShowTaskbar();
void RestoreTaskbarTopmost();
// The code of a primary language id ("enu" for any id not in the table).
std::string LanguageIdToCode(int primaryLangId);
// The three-letter code of the user's language, from the locale.
std::string GetUserLanguageCode();
// The primary language id of the user's locale (9 when it cannot be told).
int GetUserPrimaryLanguageId();
