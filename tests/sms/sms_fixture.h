// The message screen's tests against the phone simulator: the phonebook
// fixture's engine, application and document, plus the message set-up, the
// SIM mirror, PC message databases and a screen whose questions and print
// target the test chooses.
#pragma once

#include "../phonebook/pb_fixture.h"

#include "dlgprogress.h"
#include "entrylistctrl.h"
#include "jetdatabase.h"
#include "message.h"
#include "mtr_frame.h"
#include "mtr_poll.h"
#include "krn.h"
#include "profile.h"
#include "shortmsg.h"
#include "smsdatabase.h"

#include <QApplication>
#include <QPrinter>

#include <chrono>
#include <deque>
#include <memory>
#include <thread>

namespace smstest {

// The screen with its questions answered from queues and its print run going
// to a PDF file.
class TestShortMsg : public CShortMsg {
public:
    QPrinter* PrintTarget() override { return pdf.get(); }
    int AskMirror() override
    {
        ++mirrorAsked;
        return mirrorAnswer;
    }
    int AskDelete(const QString& name, bool allowAll) override
    {
        asked.push_back(name.toStdString());
        allowAllSeen.push_back(allowAll);
        if (answers.empty())
            return 2;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    int RunFindDialog() override
    {
        if (findText.isEmpty())
            return 2;
        if (!FindMsg(findText, findExact))
            return 2;
        ClearFindSelection();
        FindNext();
        return 1;
    }

    std::unique_ptr<QPrinter> pdf;
    int mirrorAnswer = 1, mirrorAsked = 0;
    std::deque<int> answers;
    std::vector<std::string> asked;
    std::vector<bool> allowAllSeen;
    QString findText;
    bool findExact = false;
};

struct Row {
    int location = 0;
    int type = 0;
    std::string addr, text;
    double date = 0;
    int coding = 0;
};

class ShortMsgSimTest : public pbtest::PhonebookSimTest {
protected:
    void SetUp() override
    {
        PhonebookSimTest::SetUp();
        // The message screen's background (its title bar and panels).
        ASSERT_TRUE(zorqtest::CopyFile(zorqtest::BuiltProgramDir() + "/Res/smsback.bmp",
                                       host.folder + "Res/smsback.bmp"));
        CShortMsg::kClosePause = 0;
        CDlgProgress::ClosePauseMs = 0;
        // Indications go to the document, as in the program.
        mtr_set_poll_handler(nullptr);
        WriteIniProfileString("Databases", "Phonebook", app.GetFolderPath() + "defpb.mdb");
    }
    void TearDown() override
    {
        Close();
        app.m_pMainWnd = nullptr;
        CShortMsg::kClosePause = 50;
        CDlgProgress::ClosePauseMs = 500;
        PhonebookSimTest::TearDown();
    }

    // The phone with its message set-up done and an empty SIM mirror.
    void StartSMS(const std::string& scenario = "", int baud = 0)
    {
        StartPhone(scenario, baud);
        ASSERT_EQ(doc->SetupSMS(), -35);
        ASSERT_TRUE(doc->PrepareSIMSMSDatabase());
    }

    // A PC message database with these rows (the default file unless named).
    std::string MakePCMessages(const std::vector<Row>& rows, const std::string& name = "defsms.mdb")
    {
        const std::string path = app.GetFolderPath() + name;
        std::filesystem::remove(path);
        EXPECT_TRUE(CreateSMSDatabase(path));
        SetSMSConf(0, path, true);
        WriteRows(path, rows);
        return path;
    }
    static void WriteRows(const std::string& path, const std::vector<Row>& rows)
    {
        AddRows<CEntrySMSRecordset>(path, "EntrySMS", rows, [](CEntrySMSRecordset& rs, const Row& r) {
            rs.Location = r.location;
            rs.msgType = static_cast<int16_t>(r.type);
            rs.AddrList = r.addr;
            rs.SortAddr = MakeSortAddr(r.addr);
            rs.Text = r.text;
            rs.Date = r.date ? r.date : 46000.5 + r.location;
            rs.Coding = static_cast<int16_t>(r.coding);
        });
    }
    static std::vector<Row> ReadRows(const std::string& path)
    {
        std::vector<Row> out;
        CJetDatabase db;
        db.Open(path);
        CEntrySMSRecordset rs(&db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntrySMS ORDER BY Location");
        for (; !rs.IsEOF(); rs.MoveNext())
            out.push_back({rs.Location, rs.msgType, rs.AddrList, rs.Text, rs.Date, rs.Coding});
        return out;
    }

    void Open(int folder = 0)
    {
        screen = std::make_unique<TestShortMsg>();
        screen->SetSource(folder);
        app.m_pMainWnd = screen.get();
        screen->OnInitialUpdate();
        screen->show();
        QCoreApplication::sendPostedEvents();  // the deferred first load
        QCoreApplication::processEvents();
    }
    void Close()
    {
        if (screen) {
            screen->OnDestroy();
            screen.reset();
        }
    }

    // Lets the engine and the event loop run until `done` or `ms`.
    template <typename F>
    bool Until(F done, int ms = 5000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
            if (krn_mbx_empty(KRN_TASK_MAIN)) {
                mtr_pump();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            mtr_idle();
        }
        return true;
    }

    CEntryListCtrl* List() { return screen->List(); }
    std::vector<std::string> ListRows(int columns = 3)
    {
        std::vector<std::string> out;
        for (int r = 0; r < List()->GetRowCount(); ++r) {
            std::string line = List()->GetRowText(r, 0).toStdString();
            for (int c = 1; c < columns; ++c)
                line += "|" + List()->GetRowText(r, c).toStdString();
            out.push_back(line);
        }
        return out;
    }
    std::string PC() const { return app.GetFolderPath() + "defsms.mdb"; }

    std::unique_ptr<TestShortMsg> screen;
};

}  // namespace smstest
