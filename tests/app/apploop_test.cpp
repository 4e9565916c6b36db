// The loop's request rule against the phone simulator: while a request
// waits, a modal loop opened inside its wait keeps the tick and the port
// going but starts no idle work (no background reading), and a shut-down
// asked there happens once the request has returned.
#include "program_folder.h"
#include "test_support.h"

#include "mtr_frame.h"
#include "mtr_setup.h"
#include "phonesim_client.h"
#include "krn.h"
#include "serial.h"
#include "strutil.h"
#include "at_defs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

#include <unistd.h>

namespace {

using zorqtest::WriteFile;

class LoopApp : public zorqtest::RecordingApp {
public:
    int idleWork = 0;

protected:
    bool CreatePBDatabaseFile(const std::string& path) override { return Touch(path); }
    bool CreateSMSDatabaseFile(const std::string& path) override { return Touch(path); }
    void IdleDocumentWork() override
    {
        ++idleWork;
        CZorqMMIApp::IdleDocumentWork();
    }

private:
    static bool Touch(const std::string& path)
    {
        WriteFile(path, "db");
        return true;
    }
};

class LoopTest : public zorqtest::ProgramStartTest<LoopApp> {
protected:
    void SetUp() override
    {
        ProgramStartTest::SetUp();
        dir_.UsePort(sim_.device());
        ASSERT_TRUE(Start());
    }

    // Runs `work` from the loop once the phone is linked and no request
    // waits (a timer may fire inside the background reading's own wait).
    void WhenIdleAndLinked(std::function<void()> work)
    {
        QTimer::singleShot(20, [this, work] {
            if (app_.FirstIdleDone() && gv_SPIO_com_status == SPIO_com_available &&
                !CZorqMMIApp::RequestWaiting() && app_.idleWork > 0)
                work();
            else
                WhenIdleAndLinked(work);
        });
    }

    // A request whose wait opens a message box that stands for `ms`;
    // `inBox` runs while it stands. The request's result.
    MTR_RESULT RequestWithBoxInside(int ms, std::function<void()> inBox)
    {
        QTimer::singleShot(0, [=] {
            QMessageBox box(QMessageBox::Information, QStringLiteral("zorq"), QStringLiteral("inside"));
            QTimer::singleShot(ms / 2, &box, [inBox] { inBox(); });
            QTimer::singleShot(ms, &box, &QDialog::accept);
            box.exec();
        });
        int state = -1;
        return mtr_GEN_req_pin_status(&state);
    }

    phonesim::Process sim_;
};

TEST_F(LoopTest, AMessageBoxInsideARequestsWaitStartsNoIdleWorkWhileTickAndPortGoOn)
{
    int idleBefore = -1, idleInBox = -1;
    uint64_t inBefore = 0, inDuring = 0, out = 0;
    bool requestWaitingInBox = false;
    MTR_RESULT result = MTR_FAILED;
    WhenIdleAndLinked([&] {
        idleBefore = app_.idleWork;
        serial_byte_counts(&inBefore, &out);
        result = RequestWithBoxInside(600, [&] {
            requestWaitingInBox = CZorqMMIApp::RequestWaiting();
            idleInBox = app_.idleWork;
            serial_byte_counts(&inDuring, &out);
        });
        // After the request the idle work goes on (the check above can fail).
        const int afterRequest = app_.idleWork;
        QTimer::singleShot(300, [&, afterRequest] {
            EXPECT_GT(app_.idleWork, afterRequest) << "idle work resumes once no request waits";
            app_.ShutDown();
        });
    });
    EXPECT_EQ(app_.Run(), 0);
    EXPECT_EQ(result, MTR_DONE);
    EXPECT_TRUE(requestWaitingInBox);
    EXPECT_GE(idleBefore, 1);
    EXPECT_EQ(idleInBox, idleBefore) << "no idle work while the request waits";
    EXPECT_GT(inDuring, inBefore) << "the port was read inside the box: the answer came in";
}

TEST_F(LoopTest, AShutDownAskedInsideARequestsWaitHappensAfterTheRequestReturned)
{
    bool shutDownInBox = true, shutDownAfter = false;
    MTR_RESULT result = MTR_FAILED;
    QElapsedTimer clock;
    WhenIdleAndLinked([&] {
        clock.start();
        result = RequestWithBoxInside(300, [&] {
            app_.ShutDown();
            shutDownInBox = app_.IsShuttingDown();
        });
        shutDownAfter = app_.IsShuttingDown();
    });
    EXPECT_EQ(app_.Run(), 0);
    EXPECT_EQ(result, MTR_DONE) << "the request was not cut by the shut-down";
    EXPECT_FALSE(shutDownInBox);
    EXPECT_FALSE(shutDownAfter) << "it follows from the loop, not from inside the request";
    EXPECT_TRUE(app_.IsShuttingDown());
    EXPECT_LT(clock.elapsed(), 5000) << "nothing waited for a time-out";
    EXPECT_EQ(krn_tick_fd(), -1);
}

// An operation pauses between two of its requests (its progress window is
// painted, its close pause runs) and the shut-down is asked inside that
// pause: the operation's next request still reaches the phone, and the
// program ends once the operation has returned.
TEST_F(LoopTest, AShutDownAskedInAPauseBetweenTwoRequestsHappensAfterTheOperation)
{
    bool shutDownInPause = true, shutDownAfter = false;
    MTR_RESULT first = MTR_FAILED, second = MTR_FAILED;
    WhenIdleAndLinked([&] {
        int state = -1;
        first = mtr_GEN_req_pin_status(&state);
        QTimer::singleShot(50, [&] {
            app_.ShutDown();
            shutDownInPause = app_.IsShuttingDown();
        });
        PumpMessagesFor(300, false);
        second = mtr_GEN_req_pin_status(&state);
        shutDownAfter = app_.IsShuttingDown();
    });
    EXPECT_EQ(app_.Run(), 0);
    EXPECT_EQ(first, MTR_DONE);
    EXPECT_FALSE(shutDownInPause);
    EXPECT_EQ(second, MTR_DONE) << "the request after the pause met a closed port";
    EXPECT_FALSE(shutDownAfter);
    EXPECT_TRUE(app_.IsShuttingDown());
    EXPECT_EQ(krn_tick_fd(), -1);
}

}  // namespace
