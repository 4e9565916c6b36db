// Whole-file rewrites of the engine's own files (the settings file, the key
// store): the new contents go to a file beside the old one, which is renamed
// over it only once it is complete, so a failed write (a full disk, a
// read-only folder) leaves the old file whole.
#pragma once

#include <string>
#include <sys/stat.h>
#include <ctime>

// Creates an empty file beside `path` under a fresh name and opens it for
// writing. A file that replaces an existing one takes that file's mode; a new
// one is created like any new file of the user's (0666 less the umask).
// Returns the descriptor and sets `tempPath`, or -1 with errno set.
int OpenReplacementFile(const std::string& path, std::string& tempPath);

// Writes `data` as the whole new contents of `path`. False, with errno set
// and the old file untouched, when any step failed.
// With `stamp`, the new file's modification time is set to it before the
// file takes the place of the old one (while no one else can write to it),
// and `written`, when given, receives the new file's state at that moment.
bool ReplaceFileContents(const std::string& path, const std::string& data, const timespec* stamp = nullptr,
                         struct stat* written = nullptr);

// Whether a rewrite of `path` by ReplaceFileContents could be saved now: a
// file can be made beside it (the folder is not read-only, nor closed to the
// user) and room for `bytes` can be set aside for it (the disk is not full,
// no size limit stops it). The trial file is removed again; `path` itself
// is not touched. False with errno set otherwise.
bool CanReplaceFile(const std::string& path, size_t bytes);
