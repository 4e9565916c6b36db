// The removal of an installation, shared by the three small programs of
// this folder: `uninstaller` (starts the two others, one after the other),
// `instQrl /UnInstall` (removes what the program created at run time that
// holds no user data) and `IsUninst -f<log>` (removes what the installation
// log lists). Plain C++ and POSIX; nothing of the program itself.
#pragma once

#include <string>
#include <vector>

namespace uninst {

// The folder of a program file, ending with '/' ("" for a bare name).
std::string FolderOf(const std::string& file);

// The installation folder the uninstaller works on, always ending with '/':
// without arguments the folder of the uninstaller itself; otherwise the
// arguments joined with blanks (a folder with blanks may arrive as several
// words), with a '/' added when missing.
std::string ChooseFolder(const std::vector<std::string>& args, const std::string& ownProgram);

// Starts `program` with `args` in `workFolder` and waits for it to end.
// 1 when it ran and ended, -1 when it could not be started. `exitCode`,
// when given, receives the program's exit status (128 + the signal number
// when a signal ended it; 127 when it could not be started).
int RunAndWait(const std::string& program, const std::vector<std::string>& args, const std::string& workFolder,
               int* exitCode = nullptr);

// `folder`instQrl /UnInstall, in the installation folder.
int RunCompanionUninstall(const std::string& folder, int* exitCode = nullptr);
// The path of IsUninst in the toolkit folder.
std::string ToolkitUninstallerPath(const std::string& toolkitFolder);
// `toolkitFolder`/IsUninst -f`folder`Uninst.isu, in the installation folder.
int RunToolkitUninstaller(const std::string& folder, const std::string& toolkitFolder, int* exitCode = nullptr);

// instQrl /UnInstall: removes from the program folder the phone mirror
// databases, the conversion files, the trace files and the temporary files
// of the work folder; returns the number of files removed. The user's own
// files (PC phonebook and message databases, melodies, profiles,
// data-application entries, settings) are left alone.
// `failed`, when given, receives the files that exist and could not be
// removed.
int RemoveRuntimeFiles(const std::string& programFolder, std::vector<std::string>* failed = nullptr);
// The files RemoveRuntimeFiles would remove now (absolute paths).
std::vector<std::string> RuntimeFiles(const std::string& programFolder);
// Whether a file of the program folder, named relative to it, is one of
// the program's own files as an installation lays them out: the programs,
// the language bundles and help documents, the pictures, the conversion
// tables, the version file and the installation log. The user's data
// (databases, melodies, profiles, data-application entries, settings) and
// what the program makes at run time are not.
bool IsProgramFile(const std::string& relative);
// Every file below `folder`, its subfolders included (absolute, sorted);
// symbolic links are listed, not followed.
std::vector<std::string> FilesBelow(const std::string& folder);

// The installation log: "FILE <absolute path>" and "DIR <absolute path>"
// lines; '#' lines are comments.
struct InstallLog {
    std::vector<std::string> files;
    std::vector<std::string> folders;
};
// False (with `error`) when the log cannot be read or holds a line that is
// not an absolute path without "." or ".." parts.
bool ReadInstallLog(const std::string& path, InstallLog& log, std::string& error);
// Removes every listed file, then every listed folder that is empty by then
// (deepest first). Files already gone are not an error. Returns the number
// of entries that could not be removed (folders still holding other files
// are kept and not counted).
int RemoveListed(const InstallLog& log, std::vector<std::string>* failed = nullptr);

}  // namespace uninst
