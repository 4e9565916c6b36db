// Starting outside programs (data applications, the help viewer, an
// editor). A program started with the wait flag is watched by a thread of
// its own, which has WM_MMI_APP_ENDED posted to the main window when the
// program ends.
#pragma once

#include <QString>
#include <QStringList>

#include <string>

// Starts `program` with exactly `arguments` (each one argument, blanks and
// quotes included; no shell in between) in the program's own folder. True
// when the program started; false (nothing posted) otherwise.
bool RunProgramAndNotify(const QString& program, const QStringList& arguments, bool wait);
// Opens a file with the desktop's program for it (the help, a text file).
bool OpenWithDesktop(const std::string& path);
