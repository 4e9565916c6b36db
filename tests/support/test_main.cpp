// Entry of every test program: a headless Qt platform and a private runtime
// folder, so widget tests run without a display on any machine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (!getenv("XDG_RUNTIME_DIR")) {
        std::string dir = std::string(ZORQ_TEST_BUILD_DIR) + "/xdg-runtime";
        mkdir(dir.c_str(), 0700);
        chmod(dir.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
