// General helpers shared by the whole program: language codes, dialling
// characters, date, time and currency texts, the product name, windows and
// cursor, resources, path pieces, temporary and unique names, file access
// and line-oriented text files.
#pragma once

#include <cstdio>
#include <string>

class QWidget;
class QIcon;
class QPixmap;
class QString;
class CLanguageBundle;

constexpr const char* kProductName = "Pellard Tarvel Data";

int LanguageCodeToLangId(const std::string& code);
std::string GetLanguageSetting();
void SetLanguageSetting(const std::string& code);

bool IsDialChar(char c);
void FilterDialChars(const std::string& in, std::string& out);

// Date-time values are day counts since 30 December 1899, the fraction
// being the time of day. `locale` is a language id (its primary part is used).
double MakeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
void SplitDateTime(double value, int& year, int& month, int& day, int& hour, int& minute,
                   int& second);
std::string FormatDateText(double dateTime, int locale);
std::string FormatTimeText(double dateTime, int locale);
std::string FormatShortTimeText(double dateTime, int locale);
std::string FormatDateTimeText(double dateTime, int locale);
std::string FormatCurrencyText(const std::string& amount, int locale);
// The language id of the program's language: every date, time and currency
// text the screens show is written the way that language writes it.
int ProgramLangId();
// How a language writes a date, in Qt's pattern letters ("M/d/yyyy").
std::string DatePattern(int locale);
bool ParseDateText(const std::string& text, double& out);
bool CheckDateText(const std::string& text);
std::string FormatHourMinute(double dateTime);

void CapitalizeFirst(std::string& text);
int CountChar(const std::string& text, char c);
void ReplaceAppName(std::string& text);

void DisableWindow(QWidget* window);
void EnableAndActivateWindow(QWidget* window);
void ShowMouseCursor(bool show);
void ShowWaitWindow(int show);
QWidget* GetWaitWindow();
CLanguageBundle* GetResourceHandle();
// The program's own pictures (rendered from resources/pictures): icons by
// number or by name ("IDI_MENU_PC"), bitmaps by number. A null icon or
// pixmap when the program has no such picture.
QIcon LoadAppIcon(int iconId);
QIcon LoadAppIconByName(const QString& name);
// The icon of a picture file, one per file for the run (an icon files what
// it draws in Qt's shared pixmap cache under its own key: a fresh icon at
// every screen opening filed the same pictures again and again).
QIcon LoadIconFile(const QString& path);
QPixmap LoadAppBitmap(int bitmapId);

std::string GetFileNamePart(const std::string& path);
std::string GetPathDirectory(const std::string& path);
std::string GetBaseName(const std::string& path);
void MakeUniqueFileName(std::string& name, const std::string& extension);
// Creates a new empty file folder + 8 capital letters + "." + extension
// (never one that exists) and gives its path; empty when none could be made.
std::string MakeTempName(const std::string& folder, const std::string& extension);
// Removes from `folder` the temporary files a save of the program's leaves
// when it is killed half-way: a name of MakeTempName's with the extension
// "tmp" (8 capital letters + ".tmp"), and a melody text written whole before
// it is renamed over its file (a ".MDY" name, or such a temporary name,
// + ".tmp" + 6 small letters or digits). Nothing else, and no folder, is
// touched. Gives how many went.
int RemoveLeftTemporaryFiles(const std::string& folder);
void PlayBeep(int frequency, double durationMs);
void TrimTrailingBlanks(char* text, int maximum);

// File-error causes, as the file layer reports them.
enum FileCause {
    fileNone = 0, fileGeneric = 1, fileNotFound = 2, fileBadPath = 3, fileTooManyOpen = 4,
    fileAccessDenied = 5, fileSharingViolation = 11,
};
// Opens `path` for reading into `file`; retries while access is refused.
int OpenFileWithRetry(std::FILE*& file, const std::string& path);
long GetFileSizeByName(const std::string& path);
// Reads one line of at most `maximum` characters (control characters
// skipped) into `buffer`, which must hold `maximum` + 1 bytes for the ending
// zero; trailing blanks are removed. Returns the characters stored before
// that, or -1 at the end of the file (and for a missing file or buffer).
int ReadTextLine(std::FILE* file, char* buffer, int maximum);
bool ReadFileBytes(const std::string& path, void* buffer, size_t count);
bool WriteFileBytes(const std::string& path, const void* buffer, size_t count);
bool WriteTextLine(const std::string& text, std::FILE* file);
void DeleteFileIfExists(const std::string& path);
bool DeleteFilesInFolder(const std::string& folder, const std::string& pattern);

