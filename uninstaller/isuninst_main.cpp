// IsUninst -f<installation log>: removes every file the log lists, then the
// listed folders left empty. The path may be given between double quotes.
// Ends with 1, naming each file, when a listed file could not be removed.
#include <cstdio>
#include <string>

#include "uninst.h"

int main(int argc, char** argv)
{
    std::string arg = argc == 2 ? argv[1] : "";
    if (arg.rfind("-f", 0) != 0 || arg.size() < 3) {
        std::fprintf(stderr, "usage: IsUninst -f<installation log>\n");
        return 2;
    }
    std::string log = arg.substr(2);
    if (log.size() >= 2 && log.front() == '"' && log.back() == '"')
        log = log.substr(1, log.size() - 2);
    uninst::InstallLog entries;
    std::string error;
    if (!uninst::ReadInstallLog(log, entries, error)) {
        std::fprintf(stderr, "IsUninst: %s\n", error.c_str());
        return 1;
    }
    std::vector<std::string> failed;
    const int failures = uninst::RemoveListed(entries, &failed);
    for (const std::string& f : failed)
        std::fprintf(stderr, "IsUninst: could not remove %s\n", f.c_str());
    if (failures)
        std::fprintf(stderr, "IsUninst: %d files could not be removed\n", failures);
    return failures ? 1 : 0;
}
