// instQrl /UnInstall: removes, from the program folder it is installed in,
// what the program created at run time that holds no user data. Asks
// nothing. Any other command line is refused. Ends with 1, naming each
// file, when one could not be removed.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "uninst.h"

int main(int argc, char** argv)
{
    if (argc != 2 || std::string(argv[1]) != "/UnInstall") {
        std::fprintf(stderr, "usage: instQrl /UnInstall\n");
        return 2;
    }
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        std::fprintf(stderr, "instQrl: cannot find its own folder\n");
        return 1;
    }
    std::vector<std::string> failed;
    uninst::RemoveRuntimeFiles(uninst::FolderOf(std::string(path, static_cast<size_t>(n))), &failed);
    for (const std::string& f : failed)
        std::fprintf(stderr, "instQrl: could not remove %s\n", f.c_str());
    return failed.empty() ? 0 : 1;
}
