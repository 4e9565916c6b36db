// uninstaller [installation folder]: removes an installation by running
// the companion's removal (instQrl /UnInstall) and then the installation
// log's removal (IsUninst), waiting for each. Shows nothing, asks nothing
// and ends with 0 whatever the two programs do.
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "uninst.h"

namespace {

std::string OwnProgram(const char* argv0)
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n > 0)
        return std::string(path, static_cast<size_t>(n));
    return argv0 ? argv0 : "";
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string self = OwnProgram(argc > 0 ? argv[0] : nullptr);
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const std::string folder = uninst::ChooseFolder(args, self);
    // IsUninst lives in the installation's toolkit folder, found from where
    // this program is installed.
    const std::string toolkit = uninst::FolderOf(self) + ZORQ_TOOLKIT_FROM_PROGRAM;
    uninst::RunCompanionUninstall(folder);
    uninst::RunToolkitUninstaller(folder, toolkit);
    return 0;
}
