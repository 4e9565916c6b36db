// The message screen: opening the received folder of a SIM holding 30
// messages from the phone simulator paced at 19200 baud (bytes exchanged,
// wall time, the time those bytes need on the wire and their ratio, which
// must stay within 1.5), and listing a PC message database of 5,000
// messages (under 1 s).
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include <QApplication>

#include "bench_engine.h"
#include "dlgmessagebox.h"
#include "entrylistctrl.h"
#include "jetdatabase.h"
#include "mtr_sms.h"
#include "pbdatabase.h"
#include "utilities.h"
#include "phonesim_client.h"
#include "profile.h"
#include "serial.h"
#include "shortmsg.h"
#include "smsdatabase.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"

namespace {

using bench::seconds;

// No questions: a missing picture or a notice must not stop the clock.
class BenchApp : public CZorqMMIApp {
protected:
    int SystemMessageBox(QWidget*, const QString&, const QString&, unsigned) override { return 1; }
    int RunMessageDialog(CDlgMessageBox&) override { return 1; }
};

std::string scenario(int messages)
{
    std::string s = "message-store SM 40\n";
    for (int i = 1; i <= messages; ++i) {
        char line[160];
        std::snprintf(line, sizeof line, "message SM %d %d +336%08d \"26/12/09,10:%02d:00+04\" Message %d from the bench\n",
                      i, i % 2, 10000000 + i * 137, i % 60, i);
        s += line;
    }
    return s;
}

void pump(int ms)
{
    const double end = seconds(CLOCK_MONOTONIC) + ms / 1000.0;
    while (seconds(CLOCK_MONOTONIC) < end) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

int simFolder(CZorqMMIApp& app)
{
    const int baud = 19200, messages = 30;
    phonesim::Process sim(scenario(messages), baud);
    WriteIniProfileString("Ports", "COM1", sim.device());
    if (Init_Serial(1) != 1) {
        std::fprintf(stderr, "cannot open %s\n", sim.device().c_str());
        return 1;
    }
    gv_SPIO_com_status = SPIO_com_available;
    auto doc = std::make_unique<CZorqMMIDoc>();
    if (doc->SetupSMS() != MTR_DONE || !doc->PrepareSIMSMSDatabase()) {
        std::fprintf(stderr, "message set-up failed\n");
        return 1;
    }
    WriteIniProfileInt("SMSMT", "Source", SMS_SRC_SIM);
    auto screen = std::make_unique<CShortMsg>();
    app.m_pMainWnd = screen.get();
    uint64_t in0, out0, in1, out1;
    serial_byte_counts(&in0, &out0);
    const double wall0 = seconds(CLOCK_MONOTONIC);
    screen->OnInitialUpdate();
    QCoreApplication::sendPostedEvents();  // the deferred first load reads the SIM
    const double wall = seconds(CLOCK_MONOTONIC) - wall0;
    serial_byte_counts(&in1, &out1);
    const int rows = screen->List()->GetRowCount();
    screen->OnDestroy();
    screen.reset();
    app.m_pMainWnd = nullptr;
    doc.reset();
    Close_Serial();
    const double bytes = static_cast<double>((in1 - in0) + (out1 - out0));
    const double wire = bytes * 10.0 / baud;  // 8N1: ten bit times a byte
    std::printf("SIM received folder, %d baud: %d rows listed (%d received on the SIM), %.0f bytes, wall %.3f s, "
                "wire %.3f s, wall/wire %.3f\n",
                baud, rows, messages, bytes, wall, wire, wire > 0 ? wall / wire : 0.0);
    // Every message of the scenario is a received one (unread or read).
    const bool ok = rows == messages && wire > 0 && wall / wire <= 1.5;
    if (!ok)
        std::printf("SIM received folder: NOT all rows within 1.5 x wire time\n");
    return ok ? 0 : 1;
}

int pcList(CZorqMMIApp& app)
{
    const int messages = 5000;
    const std::string path = app.GetFolderPath() + "defsms.mdb";
    CreateSMSDatabase(path);
    SetSMSConf(0, path, true);
    {
        CJetDatabase db;
        db.Open(path);
        db.BeginTrans();
        CEntrySMSRecordset rs(&db);
        rs.Open(dbOpenDynaset, "[EntrySMS]");
        for (int i = 1; i <= messages; ++i) {
            rs.AddNew();
            rs.Location = i;
            rs.msgType = static_cast<int16_t>(i % 2);
            const std::string number = "+336" + std::to_string(10000000 + (i % 400) * 37);
            rs.SetAddresses("", number);
            rs.Text = "Message " + std::to_string(i) + " of the PC store, a text of an ordinary length.";
            rs.Date = 46000.0 + i / 100.0;
            rs.Update();
        }
        rs.Close();
        db.CommitTrans();
    }
    // A phonebook that names the senders of half the messages.
    const std::string pb = app.GetFolderPath() + "defpb.mdb";
    CreatePBDatabase(pb);
    WritePhoneConf(0, pb, true);
    {
        CJetDatabase db;
        db.Open(pb);
        db.BeginTrans();
        CEntryPhoneRecordset rs(&db);
        rs.Open(dbOpenDynaset, "[EntryPhone]");
        for (int i = 0; i < 200; ++i) {
            PBEntry e;
            e.Location = static_cast<int16_t>(i + 1);
            e.Name = "Contact " + std::to_string(i);
            e.Phone = "+336" + std::to_string(10000000 + i * 37);
            FilterDialChars(e.Phone, e.ShortPhone);
            rs.AddNew();
            rs.SetFromEntry(e);
            rs.Update();
        }
        rs.Close();
        db.CommitTrans();
    }
    WriteIniProfileString("Databases", "Phonebook", pb);
    gv_SPIO_com_status = SPIO_no_com_available;
    auto doc = std::make_unique<CZorqMMIDoc>();
    WriteIniProfileInt("SMSMT", "Source", SMS_SRC_PC);
    auto screen = std::make_unique<CShortMsg>();
    app.m_pMainWnd = screen.get();
    screen->OnInitialUpdate();
    QCoreApplication::sendPostedEvents();
    pump(50);
    const double wall0 = seconds(CLOCK_MONOTONIC);
    screen->RefreshFolderList(0, SMS_SRC_PC);
    const double wall = seconds(CLOCK_MONOTONIC) - wall0;
    const int rows = screen->List()->GetRowCount();
    screen->OnDestroy();
    screen.reset();
    app.m_pMainWnd = nullptr;
    doc.reset();
    std::printf("PC received folder: %d of %d messages listed in %.3f s (senders named from a 200-entry phonebook)\n", rows, messages, wall);
    const bool ok = rows == messages && wall < 1.0;
    if (!ok)
        std::printf("PC received folder: NOT listed under 1 s\n");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication qt(argc, argv);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zorq-smsbench-" + std::to_string(getpid()));
    for (const char* sub : {"Res", "Database", "Work", "Files", "Melody"})
        std::filesystem::create_directories(dir / sub);
    int failures = 0;
    {
        BenchApp app;
        app.SetDataDirectories((dir / "zorqmmi").string());
        // The screen's form comes from the language bundle.
        std::filesystem::copy_file(std::string(ZORQ_BENCH_PROGRAM_DIR) + "/ZORQenu.rcc", dir / "ZORQenu.rcc");
        app.LoadResourceLibrary("enu");
        bench::Host host;
        bench::Doc idle;
        bench::startEngine(host, idle, dir.string() + "/");
        failures += simFolder(app);
        failures += pcList(app);
        bench::stopEngine();
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return failures;
}
