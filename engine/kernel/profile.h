// Access to the program's settings file, ZorqMMI.ini.
//
// The file is a sectioned text file of key=value lines. It is read once and
// kept with an index of its sections and keys; every read looks at the file
// (its size and times) and reads it again only when it changed, so an edit
// by hand is seen at once. Section and key names match without regard to case,
// and a write changes only the line of its key: comments, blank lines, order
// and line ends of every other line stay as they were. Writes go to a
// temporary file that is renamed over the old one, so a failed write never
// loses the file.
#pragma once

#include <string>

// Points the profile at ZorqMMI.ini in `folder` (a path ending in '/').
// With an empty folder, the folder of the running program is used.
void SetIniProfileFile(const std::string& folder = std::string());

// The full path of the profile file currently in use.
std::string GetIniProfilePath();

// False when the file is there but cannot be read whole (not a file, a
// read error): its keys then read as absent and writes leave it alone.
bool IsIniProfileReadable();

// The key's integer value, or `def` when the file, section or key is absent.
// A present key whose text does not start with a number reads as 0.
int GetIniProfileInt(const std::string& section, const std::string& key, int def);

// The same read from another settings file of the same form (a picture's
// settings, for example); `def` when the file, section or key is absent.
int GetIniFileInt(const std::string& path, const std::string& section, const std::string& key,
                  int def);

// Writes `value` as decimal text; a key that already holds it leaves the
// file untouched. Returns false when the file could not be
// written (most callers go on without it: a setting that is not kept is
// reported once, at start-up).
bool WriteIniProfileInt(const std::string& section, const std::string& key, int value);

// The key's text (blanks around it removed, one pair of enclosing double
// quotes stripped), or `def` when the file, section or key is absent.
std::string GetIniProfileString(const std::string& section, const std::string& key,
                                const std::string& def);

// Writes `text` as the key's value, adding the section or key when missing.
bool WriteIniProfileString(const std::string& section, const std::string& key,
                           const std::string& text);

// Writes made between these two calls are seen by every read at once but go
// to the file in one rewrite, when the last open batch ends (a key written
// with the value it holds does not count). End returns false when that
// rewrite failed; the file then stays as it was before the batch.
void BeginIniProfileBatch();
bool EndIniProfileBatch();

// The same as an object: the batch ends with it, or earlier by Commit.
class IniProfileBatch {
public:
    IniProfileBatch() { BeginIniProfileBatch(); }
    ~IniProfileBatch()
    {
        if (open_)
            EndIniProfileBatch();
    }
    IniProfileBatch(const IniProfileBatch&) = delete;
    IniProfileBatch& operator=(const IniProfileBatch&) = delete;
    bool Commit()
    {
        open_ = false;
        return EndIniProfileBatch();
    }

private:
    bool open_ = true;
};

// Whether a rewrite of the file could be saved now (see CanReplaceFile): a
// look of its own, that neither reads nor writes the settings.
bool CanSaveIniProfile();

// The folder of the running executable, ending in '/'.
std::string GetExecutableFolder();
