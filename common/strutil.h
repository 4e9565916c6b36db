// String, path and platform helpers used throughout the program. Texts are
// byte strings; folders end in '/'.
#pragma once

#include <string>

class QWidget;

// Paths and files.
std::string NormalizeDirectory(const std::string& path);
std::string GetDirectoryPart(const std::string& path, int withoutSlash);
bool FileExists(const std::string& path);
// True when the name is in its folder but leads nowhere a read can reach (a
// link to a file that is gone, a loop of links): such a file is damaged, not
// missing, and is told to the user rather than passed over.
bool NameLeadsNowhere(const std::string& path);
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
// Dispatches the thread's messages for `ms` (user input left waiting unless
// `userInput`), sleeping while none is due.
void PumpMessagesFor(int ms, bool userInput);
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
