#include "uninst.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <fstream>
#include <sstream>

namespace uninst {

std::string FolderOf(const std::string& file)
{
    const size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

std::string ChooseFolder(const std::vector<std::string>& args, const std::string& ownProgram)
{
    if (args.empty())
        return FolderOf(ownProgram);
    std::string folder;
    for (const std::string& a : args)
        folder += (folder.empty() ? "" : " ") + a;
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

int RunAndWait(const std::string& program, const std::vector<std::string>& args, const std::string& workFolder,
               int* exitCode)
{
    if (exitCode)
        *exitCode = 127;
    // The child reports a failed change of folder or start through a pipe
    // that closes by itself when the program starts.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return -1;
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(report[0]);
        close(report[1]);
        return -1;
    }
    if (pid == 0) {
        close(report[0]);
        int err = 0;
        if (!workFolder.empty() && chdir(workFolder.c_str()) != 0)
            err = errno;
        else {
            execv(program.c_str(), argv.data());
            err = errno;
        }
        (void)!write(report[1], &err, sizeof err);
        _exit(127);
    }
    close(report[1]);
    int err = 0;
    ssize_t n;
    do
        n = read(report[0], &err, sizeof err);
    while (n < 0 && errno == EINTR);
    close(report[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (n > 0)
        return -1;
    if (exitCode)
        *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 127;
    return 1;
}

int RunCompanionUninstall(const std::string& folder, int* exitCode)
{
    return RunAndWait(folder + "instQrl", {"/UnInstall"}, folder, exitCode);
}

std::string ToolkitUninstallerPath(const std::string& toolkitFolder)
{
    std::string program = toolkitFolder;
    if (program.empty() || program.back() != '/')
        program += '/';
    return program + "IsUninst";
}

int RunToolkitUninstaller(const std::string& folder, const std::string& toolkitFolder, int* exitCode)
{
    return RunAndWait(ToolkitUninstallerPath(toolkitFolder), {"-f" + folder + "Uninst.isu"}, folder, exitCode);
}

namespace {

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::vector<std::string> RuntimeFiles(const std::string& programFolder)
{
    std::string root = programFolder;
    if (!root.empty() && root.back() != '/')
        root += '/';
    // The mirrors only copy what the phone holds; the conversion files are
    // left-overs of an interrupted conversion; the traces are diagnostics.
    static const char* const kFiles[] = {
        "Work/PBimSIM.mdb", "Work/PBimSFDN.mdb", "Work/PBimE2P.mdb", "Work/SMSimSIM.mdb", "Work/PerMsgSM.mdb",
        "Work/SMTmpCvt.mdb", "Database/PBTmpCvt.mdb", "debug.txt", "debugAT.txt",
        // Earlier versions kept the SIM message mirror and the previous
        // run's copy beside the PC databases; a folder the program has not
        // been started in since still has them there.
        "Database/SMSimSIM.mdb", "Database/PerMsgSM.mdb"};
    std::vector<std::string> found;
    for (const char* f : kFiles) {
        if (Exists(root + f))
            found.push_back(root + f);
        for (const char* companion : {"-journal", "-wal", "-shm"})
            if (Exists(root + f + companion))
                found.push_back(root + f + companion);
    }
    // Temporary files of the work folder.
    if (DIR* d = opendir((root + "Work").c_str())) {
        std::vector<std::string> temporary;
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            const std::string upper = Upper(name);
            if (upper.size() > 4 && upper.compare(upper.size() - 4, 4, ".TMP") == 0)
                temporary.push_back(root + "Work/" + name);
        }
        closedir(d);
        std::sort(temporary.begin(), temporary.end());
        found.insert(found.end(), temporary.begin(), temporary.end());
    }
    return found;
}

int RemoveRuntimeFiles(const std::string& programFolder, std::vector<std::string>* failed)
{
    int removed = 0;
    for (const std::string& f : RuntimeFiles(programFolder)) {
        if (unlink(f.c_str()) == 0 || errno == ENOENT)
            ++removed;
        else if (failed)
            failed->push_back(f);
    }
    return removed;
}

bool IsProgramFile(const std::string& relative)
{
    static const char* const kNames[] = {"zorqmmi", "uninstaller", "instQrl", "Uninst.isu", "$ZQ.VRS"};
    for (const char* n : kNames)
        if (relative == n)
            return true;
    const auto starts = [&](const char* s) { return relative.rfind(s, 0) == 0; };
    const auto ends = [&](const char* s) {
        const size_t n = std::char_traits<char>::length(s);
        return relative.size() >= n && relative.compare(relative.size() - n, n, s) == 0;
    };
    // The bundles and help documents of every language, "ZORQ" + code.
    if (starts("ZORQ") && relative.find('/') == std::string::npos && (ends(".rcc") || ends(".html")))
        return true;
    if (starts("Res/"))
        return true;
    // The Files folder also holds the user's message profiles and
    // data-application entries; only the conversion tables come with the
    // program.
    return starts("Files/") && relative.find('/', 6) == std::string::npos && ends(".cvt");
}

std::vector<std::string> FilesBelow(const std::string& folder)
{
    std::vector<std::string> files;
    std::vector<std::string> pending{folder};
    while (!pending.empty()) {
        std::string dir = pending.back();
        pending.pop_back();
        if (!dir.empty() && dir.back() != '/')
            dir += '/';
        DIR* d = opendir(dir.c_str());
        if (!d)
            continue;
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            struct stat st;
            if (lstat((dir + name).c_str(), &st) != 0)
                continue;
            if (S_ISDIR(st.st_mode))
                pending.push_back(dir + name);
            else
                files.push_back(dir + name);
        }
        closedir(d);
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool ReadInstallLog(const std::string& path, InstallLog& log, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    InstallLog read;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const bool file = line.rfind("FILE ", 0) == 0, folder = line.rfind("DIR ", 0) == 0;
        const std::string p = file ? line.substr(5) : folder ? line.substr(4) : std::string();
        // Only absolute paths without "." or ".." parts: a damaged or
        // tampered log must not reach outside what it names.
        bool sound = !p.empty() && p[0] == '/';
        std::istringstream parts(p);
        std::string part;
        while (sound && std::getline(parts, part, '/'))
            sound = part != "." && part != "..";
        if (!sound) {
            error = path + ": line " + std::to_string(number) + ": not an entry of an installation log";
            return false;
        }
        (file ? read.files : read.folders).push_back(p);
    }
    log = std::move(read);
    return true;
}

int RemoveListed(const InstallLog& log, std::vector<std::string>* failed)
{
    int failures = 0;
    for (const std::string& f : log.files) {
        struct stat st;
        if (lstat(f.c_str(), &st) != 0)
            continue;  // already gone
        if (S_ISDIR(st.st_mode) || unlink(f.c_str()) != 0) {
            ++failures;
            if (failed)
                failed->push_back(f);
        }
    }
    std::vector<std::string> folders = log.folders;
    // Deepest first, so that a folder emptied by its subfolders goes too.
    std::sort(folders.begin(), folders.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& d : folders)
        rmdir(d.c_str());  // fails, and stays, while it holds anything
    return failures;
}

}  // namespace uninst
