// One QApplication for the whole test program (widgets need it).
#include <QApplication>

#include <gtest/gtest.h>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        // The headless platform and runtime folder are set by the test main.
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
