// A program folder as the build lays it out, and the program started on it
// inside the test process: what the start-up, loop and whole-program tests
// share.
#pragma once

#include "../app/test_support.h"
#include "zorqapp.h"

#include "krn.h"

#include <QString>
#include <QStringList>

#include <cstdlib>
#include <string>

#include <unistd.h>

namespace zorqtest {

// A copy of the built program folder (bundle, version file, conversion
// tables, pictures), with its data folders; UsePort points its profile's
// COM1 at a device.
class ProgramFolder {
public:
    ProgramFolder()
    {
        const std::string built = BuiltProgramDir() + "/";
        const std::string& d = dir.path();
        std::system(("cp -r '" + built + "Res' '" + built + "Files' '" + d + "'").c_str());
        CopyFile(BuiltBundle(), d + "ZORQenu.rcc");
        CopyFile(built + "$ZQ.VRS", d + "$ZQ.VRS");
    }
    explicit ProgramFolder(const std::string& device) : ProgramFolder() { UsePort(device); }

    void UsePort(const std::string& device)
    {
        WriteFile(dir.path() + "ZorqMMI.ini", "[Ports]\r\nCOM1=" + device +
                                                  "\r\n[Configuration]\r\nSerialPort=1\r\n[Pellard]\r\nDebug=1\r\n");
    }
    // The program file the folder belongs to.
    std::string Program() const { return dir.path() + "zorqmmi"; }
    const std::string& path() const { return dir.path(); }

    TempProgramDir dir;
};

// The application object `App` started on a program folder of its own, as
// the program's main entry starts it (no splash, no pause between codes);
// whatever was started is shut down at the end.
template <class App>
class ProgramStartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app_.SetInstanceName(QStringLiteral("zorq-start-test-%1").arg(::getpid()));
        app_.SetCodePause(0);
    }
    void TearDown() override
    {
        if (started_) {
            app_.ShutDown();
            krn_reset_for_tests();
        }
    }
    bool Start()
    {
        started_ = app_.InitInstance({QStringLiteral("zorqmmi"), QStringLiteral("--nosplash")}, dir_.Program());
        return started_;
    }

    ProgramFolder dir_;
    App app_;
    bool started_ = false;
};

}  // namespace zorqtest
