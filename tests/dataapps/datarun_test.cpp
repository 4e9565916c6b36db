// Launching a data application against the simulator: the link is released
// before the program starts, so the program gets the port.
#include "engine_fixture.h"

#include "datarun.h"
#include "doc_fixture.h"
#include "zorqmmidoc.h"

#include <QCoreApplication>

#include <filesystem>
#include <sys/stat.h>

#ifdef ZORQ_HAVE_PHONESIM

namespace {

using namespace engine_test;

class DataRun : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        app.SetDataDirectories(dir.path() + "zorqmmi");
        zorqtest::CopyFile(zorqtest::BuiltBundle(), dir.path() + "ZORQenu.rcc");
        app.LoadResourceLibrary("enu");
        app.m_pMainWnd = &window;
    }
    void TearDown() override
    {
        app.m_pMainWnd = nullptr;
        EngineTest::TearDown();
    }
    bool WaitForEnd(int ms)
    {
        for (int waited = 0; waited < ms; waited += 20) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents();
            for (const auto& p : window.got)
                if (p.message == WM_MMI_APP_ENDED) return true;
            usleep(20000);
        }
        return false;
    }
    zorqtest::TempProgramDir dir;
    zorqtest::RecordingApp app;
    zorqtest::RecordingWindow window;
};

TEST_F(DataRun, TheProgramGetsThePortAfterTheLinkIsReleased)
{
    Phone();
    CZorqMMIDoc document;
    const std::string device = GetIniProfileString("Ports", "COM1", "");
    const std::string folder = dir.path() + "my tools/";
    std::filesystem::create_directories(folder);
    const std::string record = folder + "record";
    // Records its arguments, whether the companion still holds the port,
    // then talks to the phone itself.
    const std::string program = folder + "term";
    zorqtest::WriteFile(program, "#!/bin/sh\n"
                                 "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record + "'\n"
                                 "held=free\n"
                                 "for f in /proc/$PPID/fd/*; do [ \"$(readlink \"$f\")\" = '" + device +
                                 "' ] && held=held; done\n"
                                 "echo $held >> '" + record + "'\n"
                                 "exec 3<>'" + device + "'\n"
                                 "printf 'AT+CGMI\\r' >&3\n"
                                 "timeout 30 head -c 12 <&3 >> '" + record + "'\n");
    chmod(program.c_str(), 0755);
    CDataObj entry;
    entry.SetName("Terminal", true);
    entry.SetFullExeName(QString::fromStdString(program));
    entry.SetCommandLine("-port \"/dev/a b\" 2");
    ASSERT_TRUE(RunDataApplication(entry));
    EXPECT_EQ(gv_SPIO_com_status, SPIO_no_com_available);
    EXPECT_TRUE(document.IsDataAppRunning());
    // The phone answers within milliseconds; the deadlines are for a busy
    // machine (the program's own wait for its answer ends as soon as it came).
    ASSERT_TRUE(WaitForEnd(60000));
    const std::string got = zorqtest::ReadFile(record);
    EXPECT_EQ(got.substr(0, got.find("free\n") + 5), "-port\n/dev/a b\n2\nfree\n");
    EXPECT_NE(got.find("Quenvale"), std::string::npos) << got;
    EXPECT_TRUE(app.shown.empty());
}

TEST_F(DataRun, AProgramThatCannotStartIsReportedAndLeavesNoRunningFlag)
{
    Phone();
    CZorqMMIDoc document;
    CDataObj entry;
    entry.SetFullExeName(QString::fromStdString(dir.path() + "absent/dial"));
    EXPECT_FALSE(RunDataApplication(entry));
    EXPECT_FALSE(document.IsDataAppRunning());
    ASSERT_EQ(app.shown.size(), 1u);
    EXPECT_EQ(app.shown[0].text.toStdString(), "The program " + dir.path() + "absent/dial could not be started.");
    EXPECT_FALSE(WaitForEnd(200));
}

}  // namespace

#endif
