// What the shared interface components, the general utilities and the data
// store need from the application core: resource strings, message boxes, the
// program's folders and its language. They sit below the application core,
// so the application installs a provider at start-up; without one, strings
// and folders are empty, the language is English and message boxes answer
// IDCANCEL.
#pragma once

#include <QString>
#include <QStringList>

class QDateTime;
class QLocale;

#include <string>

class CLanguageBundle;

// Message-box type flags and results of the system.
enum {
    MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_ABORTRETRYIGNORE = 0x2, MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4, MB_RETRYCANCEL = 0x5, MB_TYPEMASK = 0xF,
    MB_ICONHAND = 0x10, MB_ICONQUESTION = 0x20, MB_ICONEXCLAMATION = 0x30,
    MB_ICONASTERISK = 0x40, MB_ICONMASK = 0xF0,
    MB_DEFBUTTON2 = 0x100, MB_DEFBUTTON3 = 0x200, MB_DEFMASK = 0xF00,
};

class UiServices {
public:
    virtual ~UiServices() = default;
    virtual QString LoadString(int id) const = 0;
    virtual QString FormatString(int id, const QStringList& inserts) const = 0;
    virtual int DoMessageBox(const QString& text, unsigned type, unsigned helpId) = 0;
    virtual int ShowMessageBox(int stringId, unsigned type, unsigned helpId) = 0;
    virtual CLanguageBundle* GetResources() const = 0;
    virtual const std::string& GetAppDir() const = 0;
    virtual const std::string& GetResDir() const = 0;
    // The Database, Work and Files folders, each ending in "/".
    virtual const std::string& GetFolderPath() const;
    virtual const std::string& GetWorkDirectory() const;
    virtual const std::string& GetFilesDir() const;
    // The language code of the resources in use ("enu", "deu"...).
    virtual std::string GetLanguage() const;
    // How the program writes a date (Qt's pattern letters) and a date with
    // its time. By default the user's locale; the application writes them the
    // way its language does, so that every screen shows one format.
    virtual QString DatePattern() const;
    virtual QString DateTimeText(const QDateTime& when) const;
};

// The installed provider (null before the application exists).
UiServices* GetUiServices();
void SetUiServices(UiServices* services);

// Shorthands over the installed provider.
QString UiLoadString(int id);
QString UiFormatString(int id, const QStringList& inserts);
int UiMessageBox(const QString& text, unsigned type = 0, unsigned helpId = 0);
int UiMessageBoxId(int stringId, unsigned type = 0, unsigned helpId = 0);
CLanguageBundle* UiResources();
// The date pattern a date field shows under `locale`: the locale's own short
// date, or the program's when the locale sets no convention of its own (the
// C and POSIX locales, whose pattern holds the month's name).
QString UiDatePattern(const QLocale& locale);
// A date and time as the program writes it.
QString UiDateTimeText(const QDateTime& when);

// Tells the user of a file that is there but cannot be read (damaged, cut
// short, not a file: string 31942) or that cannot be saved (a full disk, a
// read-only folder: string 31943): a message naming the file, shown once per
// file, kind and run, so that the program goes on and the user knows why.
// A file that the system will not open (its permissions, a link that leads
// nowhere) is told with the system's own words for why (string 31973).
enum { kFileUnreadable = 31942, kFileUnsaved = 31943, kFileUnreadableBecause = 31973 };
void UiReportFileOnce(int stringId, const std::string& path);
// Why `path` cannot be opened for reading, in the system's words ("Permission
// denied"); empty when it opens, is missing, or is a folder (which the
// unreadable-file message already names).
std::string UiFileOpenFailure(const std::string& path);
// A new run of the application: every file may be reported again.
void UiForgetReportedFiles();
