// What the tests of the whole program share: a program folder laid out as the
// build lays it out, pointed at a phone simulator, the program run through
// its own loop on it, and the driver that answers the program's modal
// dialogs one after the other (modal_driver.h).
#pragma once

#include "dialog.h"
#include "jetdatabase.h"
#include "pbdatabase.h"
#include "modal_driver.h"
#include "program_folder.h"
#include "utilities.h"
#include "zorqapp.h"
#include "zorqprogram.h"

#include "at_defs.h"
#include "krn.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace zorqtest {

// Polls `condition` while the loop runs; `then` once it holds, `timeout`
// after `ms` without.
inline void WhenTrue(std::function<bool()> condition, std::function<void()> then, int ms,
                     std::function<void()> timeout)
{
    auto* timer = new QTimer();
    auto* elapsed = new int(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        *elapsed += 50;
        const bool ok = condition();
        if (!ok && *elapsed < ms)
            return;
        timer->stop();
        timer->deleteLater();
        delete elapsed;
        if (ok)
            then();
        else
            timeout();
    });
    timer->start(50);
}

// The PC phonebook of a new user's program folder, holding `count` entries
// "Person 001"...
inline void MakePCPhonebook(const ProgramFolder& folder, int count)
{
    std::filesystem::create_directories(folder.path() + "Database");
    const std::string path = folder.path() + "Database/defpb.mdb";
    ASSERT_TRUE(CreatePBDatabase(path));
    WritePhoneConf(0, path, true);
    CJetDatabase db;
    db.Open(path);
    db.BeginTrans();
    CEntryPhoneRecordset rs(&db);
    rs.Open(dbOpenDynaset, "[EntryPhone]");
    for (int i = 1; i <= count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Person %03d", i);
        PBEntry e;
        e.Name = name;
        e.Phone = "06000000" + std::to_string(10 + i);
        FilterDialChars(e.Phone, e.ShortPhone);
        e.Location = static_cast<int16_t>(i);
        rs.AddNew();
        rs.SetFromEntry(e);
        rs.Update();
    }
    rs.Close();
    db.CommitTrans();
}

// The program run through its own loop, in a temporary folder of its own
// (the single-instance socket lives there: a private one keeps each run apart
// from any other program of the same user).
class ProgramRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tmp_ = MakeTempFolder("zorq-prog-tmp-");
        ASSERT_FALSE(tmp_.empty());
        tmp_.pop_back();
        oldTmp_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", tmp_.c_str());
    }
    void TearDown() override
    {
        if (oldTmp_.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", oldTmp_);
        std::system(("rm -rf '" + tmp_ + "'").c_str());
        krn_reset_for_tests();
    }

    // Runs the program on `folder` (with `extra` arguments) until a step
    // ends it or `ms` pass; the program's exit code.
    int RunProgram(const ProgramFolder& folder, int ms = 60000, const QStringList& extra = {})
    {
        return RunProgramFile(folder.Program(), ms, extra);
    }
    // The same for the program file `program` (a folder moved elsewhere).
    int RunProgramFile(const std::string& program, int ms = 60000, const QStringList& extra = {})
    {
        const std::string folderPath = program.substr(0, program.rfind('/') + 1);
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [this] {
            timedOut_ = true;
            End();
        });
        guard.start(ms);
        QStringList arguments{QStringLiteral("zorqmmi")};
        if (!showSplash_)
            arguments << QStringLiteral("--nosplash");
        const int code = RunZorqMMIProgram(arguments + extra, program);
        guard.stop();
        if (timedOut_) {
            // What the program was doing helps more than the time-out alone.
            const std::string trace = ReadFile(folderPath + "debug.txt");
            ADD_FAILURE() << "the program did not end in time; its trace ends with:\n"
                          << trace.substr(trace.size() > 3000 ? trace.size() - 3000 : 0);
        }
        return code;
    }

    // Once the program shows its window after the first detection, with no
    // dialog up, and `ready` holds: `then` runs (it usually ends the
    // program). The program ends if that takes more than `ms`.
    static void WhenStarted(std::function<bool()> ready, std::function<void()> then, int ms = 50000)
    {
        WhenTrue(
            [ready] {
                CZorqMMIApp* app = CZorqMMIApp::Instance();
                return app && app->FirstIdleDone() && app->m_pMainWnd && app->m_pMainWnd->isVisible() &&
                       !QApplication::activeModalWidget() && ready();
            },
            then, ms, End);
    }
    static void End()
    {
        if (CZorqMMIApp* app = CZorqMMIApp::Instance())
            app->ShutDown();
    }
    static bool Linked() { return gv_SPIO_com_status == SPIO_com_available; }

    std::string tmp_;
    QByteArray oldTmp_;
    bool timedOut_ = false;
    bool showSplash_ = false;  // started as the user starts it, with its splash
};

}  // namespace zorqtest
