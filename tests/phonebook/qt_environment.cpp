// One QApplication for the whole test program (widgets need it).
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        // Qt wants a private runtime folder; the build makes one.
        setenv("XDG_RUNTIME_DIR", ZORQ_TEST_RUNTIME_DIR, 0);
        chmod(ZORQ_TEST_RUNTIME_DIR, 0700);
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "zorq_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    void TearDown() override
    {
        delete app_;
        app_ = nullptr;
    }

private:
    QApplication* app_ = nullptr;
};

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
