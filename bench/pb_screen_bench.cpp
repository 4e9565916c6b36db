// Opening the phonebook screen until its list is shown: on a SIM whose
// 250 entries are already in the PC mirror (the phone simulator answers the
// screen's phonebook set-up), and on a PC phonebook database of 10,000
// entries. Prints the time of each; the PC case must stay under 1 s. Then
// the same screen listing a PC phonebook of 100,000 rows (printed only). Then
// 10,000 vCards dropped on the PC source button, until they are entries of
// the PC phonebook (under 10 s). Last, an entry whose notes hold 1 MB on
// one line: selected and shown, then renamed and saved (each well under a
// second), its notes still whole in the file.
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <QApplication>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>

#include "../tests/phonebook/earlier_book.h"
#include "bench_engine.h"
#include "dlgmessagebox.h"
#include "entrylistctrl.h"
#include "mtr_pb.h"
#include "pbdatabase.h"
#include "phonebook.h"
#include "phonesim_client.h"
#include "profile.h"
#include "qxpbsrcnewlist.h"
#include "serial.h"
#include "utilities.h"
#include "vcard.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"

namespace {

using bench::seconds;

// No one answers message boxes in a benchmark: they are printed and taken
// as OK.
class BenchApp : public CZorqMMIApp {
protected:
    int SystemMessageBox(QWidget*, const QString& text, const QString&, unsigned) override
    {
        std::fprintf(stderr, "message: %s\n", text.toLocal8Bit().constData());
        return 1;
    }
    int RunMessageDialog(CDlgMessageBox& dlg) override
    {
        std::fprintf(stderr, "message: %s\n", dlg.m_strText.toLocal8Bit().constData());
        return 1;
    }
};

bool makePCDatabase(const std::string& path, int count)
{
    if (!CreatePBDatabase(path))
        return false;
    WritePhoneConf(0, path, true);
    CJetDatabase db;
    db.Open(path);
    db.BeginTrans();
    CEntryPhoneRecordset rs(&db);
    rs.Open(dbOpenDynaset, "[EntryPhone]");
    for (int i = 1; i <= count; ++i) {
        PBEntry e;
        e.Location = i;
        char name[32], phone[32];
        std::snprintf(name, sizeof name, "Person %05d", (i * 7919) % 100000);
        std::snprintf(phone, sizeof phone, "+3361%07d", i);
        e.Name = name;
        e.Phone = phone;
        FilterDialChars(e.Phone, e.ShortPhone);
        e.Email = std::string(name) + "@example.org";
        rs.AddNew();
        rs.SetFromEntry(e);
        rs.Update();
    }
    rs.Close();
    db.CommitTrans();
    return true;
}

// Builds the screen and runs its first load; the seconds until the list
// shows its rows.
double openScreen(int& rows)
{
    const double t0 = seconds(CLOCK_MONOTONIC);
    auto screen = std::make_unique<CPhoneBook>();
    screen->OnInitialUpdate();
    screen->show();
    QCoreApplication::sendPostedEvents();  // the deferred first load
    QCoreApplication::processEvents();
    const double t = seconds(CLOCK_MONOTONIC) - t0;
    rows = screen->Pane()->GetListCtrl()->GetRowCount();
    screen->OnDestroy();
    return t;
}

// A drop of `count` cards (a home and a mobile number each) on the PC
// source button of a new screen showing the SIM; the seconds until the drop is handled.
double dropCards(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        CVCard card;
        card.SetFamilyName("Dropped " + std::to_string(i));
        card.SetGivenName("Card");
        card.SetHomeVoice("+3314" + std::to_string(1000000 + i));
        card.SetCellVoice("+3361" + std::to_string(1000000 + i));
        text += card.ToText();
    }
    // The screen shows the SIM: its PC button takes the drop.
    WriteIniProfileInt("PhoneBook", "Source", 1);
    auto screen = std::make_unique<CPhoneBook>();
    screen->OnInitialUpdate();
    screen->show();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QMimeData data;
    data.setData(QStringLiteral("text/vcard"), QByteArray::fromStdString(text));
    QWidget* pc = screen->GetDlgItem(1001);
    const double t0 = seconds(CLOCK_MONOTONIC);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(pc, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(pc, &drop);
    const double t = seconds(CLOCK_MONOTONIC) - t0;
    screen->OnDestroy();
    return enter.isAccepted() && drop.isAccepted() ? t : -1.0;
}

long countEntries(const std::string& path)
{
    CJetDatabase db;
    db.Open(path);
    CDaoRecordset rs(&db);
    rs.Open(dbOpenDynaset, "SELECT * FROM EntryPhone");
    const long n = rs.GetRecordCount();
    rs.Close();
    return n;
}

// The PC book `path`, one entry with 1 MB of notes: the seconds to select
// it and show it, and to rename it and save it; false when the notes did
// not stay whole.
bool megabyteNotes(const std::string& path, double& shown, double& saved)
{
    std::string notes;
    for (int i = 0; notes.size() < 1024 * 1024; ++i)
        notes += "word" + std::to_string(i) + " ";
    notes.resize(1024 * 1024);
    std::remove(path.c_str());
    if (!pbtest::MakeEarlierLayoutBook(path, 0, {{1, "Long Notes", notes}}))
        return false;
    WriteIniProfileString("Databases", "Phonebook", path);
    WriteIniProfileInt("PhoneBook", "Source", 0);
    auto screen = std::make_unique<CPhoneBook>();
    screen->OnInitialUpdate();
    screen->show();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    CEntryListCtrl* list = screen->Pane()->GetListCtrl();
    double t0 = seconds(CLOCK_MONOTONIC);
    list->SelectRow(0);
    QCoreApplication::processEvents();
    shown = seconds(CLOCK_MONOTONIC) - t0;
    auto* name = qobject_cast<QLineEdit*>(screen->GetDlgItem(1012));
    const bool formFilled = name && name->text() == QStringLiteral("Long Notes");
    t0 = seconds(CLOCK_MONOTONIC);
    QTest::keyClicks(name, QStringLiteral(" Renamed"));
    screen->OnCommand(1025);
    QCoreApplication::processEvents();
    saved = seconds(CLOCK_MONOTONIC) - t0;
    screen->OnDestroy();
    CJetDatabase db;
    db.Open(path);
    CEntryPhoneRecordset rs(&db);
    rs.Open(dbOpenDynaset, "SELECT * FROM EntryPhone");
    return formFilled && !rs.IsEOF() && rs.Name == "Long Notes Renamed" && rs.Notes == notes;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zorq-pbscreenbench-" + std::to_string(getpid()));
    for (const char* sub : {"Res", "Database", "Work", "Files", "Melody"})
        std::filesystem::create_directories(dir / sub);
    const std::string folder = dir.string() + "/";
    std::filesystem::copy_file(ZORQ_BENCH_PROGRAM_DIR "/ZORQenu.rcc", dir / "ZORQenu.rcc");
    std::filesystem::copy_file(ZORQ_BENCH_PROGRAM_DIR "/Res/pbback.bmp", dir / "Res" / "pbback.bmp");

    bench::Host host;
    bench::Doc idle;
    bench::startEngine(host, idle, folder);
    int failures = 0;
    {
        BenchApp app;
        app.SetDataDirectories(folder + "zorqmmi");
        if (!app.LoadResourceLibrary("enu")) {
            std::fprintf(stderr, "cannot load the language bundle\n");
            return 1;
        }
        phonesim::Process sim(bench::simPhonebook250(), 115200);
        WriteIniProfileString("Ports", "COM1", sim.device());
        if (Init_Serial(1) != 1) {
            std::fprintf(stderr, "cannot open %s\n", sim.device().c_str());
            return 1;
        }
        gv_SPIO_com_status = SPIO_com_available;
        auto doc = std::make_unique<CZorqMMIDoc>();
        doc->StopPBUpload();
        if (doc->SetupPB() != MTR_DONE) {
            std::fprintf(stderr, "phonebook set-up failed\n");
            return 1;
        }
        for (int s : {1, 2, 3})
            doc->CreatePBMirrorDatabase(s);
        doc->StopPBUpload();
        // The SIM's entries in the mirror, as the background reading leaves them.
        if (!doc->UpLoadPB(1, nullptr, 0, 0)) {
            std::fprintf(stderr, "reading the SIM failed\n");
            return 1;
        }
        doc->SetPBStorageRead(1);

        int rows = 0;
        WriteIniProfileInt("PhoneBook", "Source", 1);
        const double simTime = openScreen(rows);
        std::printf("SIM mirror of 250 entries: %d rows listed in %.3f s\n", rows, simTime);
        if (rows != 250)
            ++failures;

        const std::string pc = app.GetFolderPath() + "defpb.mdb";
        if (!makePCDatabase(pc, 10000)) {
            std::fprintf(stderr, "cannot create %s\n", pc.c_str());
            return 1;
        }
        WriteIniProfileInt("PhoneBook", "Source", 0);
        const double pcTime = openScreen(rows);
        std::printf("PC database of 10000 entries: %d rows listed in %.3f s\n", rows, pcTime);
        if (rows != 10000 || pcTime >= 1.0) {
            std::printf("PC database: NOT listed within 1 s\n");
            ++failures;
        }

        const std::string big = app.GetFolderPath() + "big.mdb";
        // More locations than the program hands out (65535): another
        // program's rows.
        if (!makePCDatabase(big, 100000)) {
            std::fprintf(stderr, "cannot create %s\n", big.c_str());
            return 1;
        }
        WriteIniProfileString("Databases", "Phonebook", big);
        const double bigCpu0 = seconds(CLOCK_PROCESS_CPUTIME_ID);
        const double bigTime = openScreen(rows);
        const double bigCpu = seconds(CLOCK_PROCESS_CPUTIME_ID) - bigCpu0;
        std::printf("PC database of 100000 rows: %d rows listed in %.3f s (%.3f s of processor)\n", rows, bigTime,
                    bigCpu);
        if (rows != 100000)
            ++failures;
        WriteIniProfileString("Databases", "Phonebook", pc);

        // Into the PC phonebook of 10,000 entries just listed.
        const long before = countEntries(pc);
        const double dropTime = dropCards(10000);
        const long entries = countEntries(pc) - before;
        std::printf("10000 vCards dropped on the PC button: %ld entries made in %.3f s\n", entries, dropTime);
        if (dropTime < 0 || dropTime >= 10.0 || entries != 10000) {
            std::printf("vCard drop: NOT imported within 10 s\n");
            ++failures;
        }
        double shown = 0, saved = 0;
        const bool whole = megabyteNotes(app.GetFolderPath() + "notes.mdb", shown, saved);
        std::printf("1 MB of notes: selected and shown in %.3f s, renamed and saved in %.3f s%s\n", shown, saved,
                    whole ? "" : " (NOT kept whole)");
        if (!whole || shown >= 1.0 || saved >= 1.0) {
            std::printf("1 MB of notes: NOT shown and saved whole within 1 s\n");
            ++failures;
        }
        doc.reset();
        Close_Serial();
    }
    bench::stopEngine();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return failures;
}
