// A deletion run of the phonebook screen in the whole program (linked to a
// simulated phone): the PC source of 250 entries, every row selected, the
// delete button clicked, the question answered "Yes to all" with a click.
// Runs in a real window when a display is there (under a window manager, as
// a user sees it), else offscreen. Prints the time from the click until the
// run ended, the part of it the pause after each entry accounts for and the
// rest per entry, the time from one entry shown to the next, and the paints
// made meanwhile (the list, the progress window, the rest of the screen).
// The run is made again with no pause, so that the entries' own work shows
// alone.
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTest>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>

#include "bench_engine.h"
#include "mainframe.h"
#include "zorqmenu.h"
#include "zorqprogram.h"

#include "at_defs.h"
#include "krn.h"
#include "mtr_frame.h"

#include "confirm.h"
#include "deleterun.h"
#include "dlgmessagebox.h"
#include "dlgprogress.h"
#include "entrylistctrl.h"
#include "pbdatabase.h"
#include "phonebook.h"
#include "phonesim_client.h"
#include "profile.h"
#include "qxpbsrcnewlist.h"
#include "serial.h"
#include "utilities.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"

namespace fs = std::filesystem;

namespace {

using bench::seconds;

bool makePCDatabase(const std::string& path, int count)
{
    std::remove(path.c_str());
    if (!CreatePBDatabase(path))
        return false;
    CJetDatabase db;
    db.Open(path);
    db.BeginTrans();
    CEntryPhoneRecordset rs(&db);
    rs.Open(dbOpenDynaset, "[EntryPhone]");
    for (int i = 1; i <= count; ++i) {
        PBEntry e;
        e.Location = i;
        char name[32], phone[32];
        std::snprintf(name, sizeof name, "Person %05d", i);
        std::snprintf(phone, sizeof phone, "+3361%07d", i);
        e.Name = name;
        e.Phone = phone;
        FilterDialChars(e.Phone, e.ShortPhone);
        rs.AddNew();
        rs.SetFromEntry(e);
        rs.Update();
    }
    rs.Close();
    db.CommitTrans();
    return true;
}

// Counts the paints of the widgets of a few kinds, and the time spent in
// them (the time from a paint event's arrival until the next event reaches
// any object: painting runs in between).
class PaintClock : public QObject {
public:
    struct Tally {
        int paints = 0;
        double seconds = 0;
    };
    std::map<std::string, Tally> tally;

    bool eventFilter(QObject* o, QEvent* e) override
    {
        closeOpen();
        if (e->type() == QEvent::Paint && o->isWidgetType()) {
            open_ = &tally[kindOf(static_cast<QWidget*>(o))];
            ++open_->paints;
            clock_.start();
        }
        return false;
    }
    void closeOpen()
    {
        if (open_)
            open_->seconds += static_cast<double>(clock_.nsecsElapsed()) / 1e9;
        open_ = nullptr;
    }

private:
    static std::string kindOf(QWidget* w)
    {
        for (QWidget* p = w; p; p = p->parentWidget()) {
            if (qobject_cast<CDlgProgress*>(p))
                return "progress window";
            if (qobject_cast<CEntryListCtrl*>(p))
                return "entry list";
            if (qobject_cast<CDlgConfirm*>(p))
                return "question";
        }
        return "rest of the screen";
    }
    Tally* open_ = nullptr;
    QElapsedTimer clock_;
};

struct Run {
    double total = -1;
    int deleted = 0;
    int asked = 0;
    std::vector<double> shown;  // when the progress bar moved to each entry
};

CZorqMMIApp* App() { return CZorqMMIApp::Instance(); }

CPhoneBook* Screen()
{
    auto* frame = App() ? qobject_cast<CMainFrame*>(App()->m_pMainWnd) : nullptr;
    return frame ? qobject_cast<CPhoneBook*>(frame->GetActiveView()) : nullptr;
}

bool Settled()
{
    CZorqMMIApp* app = App();
    return app && app->FirstIdleDone() && app->m_pMainWnd && app->m_pMainWnd->isVisible() &&
           gv_SPIO_com_status == SPIO_com_available && !app->IdleWorkPending() && !CZorqMMIApp::RequestWaiting() &&
           !QApplication::activeModalWidget() && !ProgressNotices::running;
}

// Calls `f` every 20 ms until it returns true or `ms` pass (then `timeout`).
void Every20ms(std::function<bool()> f, int ms, std::function<void()> timeout)
{
    auto* timer = new QTimer();
    auto* left = new int(ms);
    QObject::connect(timer, &QTimer::timeout, [=] {
        *left -= 20;
        const bool done = f();
        if (!done && *left > 0)
            return;
        timer->stop();
        timer->deleteLater();
        delete left;
        if (!done)
            timeout();
    });
    timer->start(20);
}

// The whole program on a copy of the program folder, its PC phonebook of
// `count` entries, linked to a phone: the phonebook picture clicked, every
// row selected, the delete button clicked, each question answered with a
// click on "Yes to all" (`all`) or on Yes, as a user would.
Run deleteRun(int argc, char** argv, const fs::path& root, int count, bool all, PaintClock* paints)
{
    static int made = 0;
    const fs::path folder = root / ("program-" + std::to_string(++made));
    fs::copy(ZORQ_PROGRAM_DIR, folder, fs::copy_options::recursive);
    for (const char* sub : {"Database", "Work", "Melody"})
        fs::create_directories(folder / sub);
    fs::remove(folder / "ZorqMMI.ini");
    Run run;
    if (!makePCDatabase((folder / "Database" / "defpb.mdb").string(), count))
        return run;
    phonesim::Process sim(bench::simPhonebook250());
    std::ofstream(folder / "ZorqMMI.ini", std::ios::binary)
        << "[Ports]\r\nCOM1=" << sim.device() << "\r\n[Configuration]\r\nSerialPort=1\r\n"
        << "[PhoneBook]\r\nSource=0\r\n";
    QApplication qapp(argc, argv);
    QTimer answer;
    QPointer<QProgressBar> watched;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* progress = qobject_cast<CDlgProgress*>(w); progress && !watched) {
                if (auto* bar = progress->findChild<QProgressBar*>()) {
                    watched = bar;
                    run.shown.push_back(seconds(CLOCK_MONOTONIC));
                    QObject::connect(bar, &QProgressBar::valueChanged, bar,
                                     [&run] { run.shown.push_back(seconds(CLOCK_MONOTONIC)); });
                }
            }
        }
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* d = qobject_cast<CDlgConfirm*>(w);
            if (!d || !d->isVisible() || !d->windowHandle() || !d->windowHandle()->isExposed())
                continue;
            auto* button = qobject_cast<QAbstractButton*>(d->GetDlgItem(all ? IDYESTOALL : IDYES));
            if (!button || !button->isEnabled())
                continue;
            ++run.asked;
            QTest::mouseClick(button, Qt::LeftButton);
            return;
        }
    });
    double t0 = 0;
    int before = 0;
    Every20ms(
        [&] {
            if (!Settled())
                return false;
            auto* frame = qobject_cast<CMainFrame*>(App()->m_pMainWnd);
            auto* menu = frame ? qobject_cast<CZorqMenu*>(frame->GetActiveView()) : nullptr;
            if (!menu)
                return false;
            QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                              menu->MenuRegion(SCREEN_PHONEBOOK).boundingRect().center());
            Every20ms(
                [&] {
                    CPhoneBook* screen = Screen();
                    if (!screen || !Settled())
                        return false;
                    CEntryListCtrl* list = screen->Pane()->GetListCtrl();
                    if (list->GetRowCount() != count)
                        return false;
                    for (int row = 0; row < count; ++row)
                        list->SelectRow(row);
                    screen->Pane()->UpdateAllSelected();
                    QWidget* del = screen->GetDlgItem(1027);
                    if (!del || !del->isEnabled() || list->GetSelectedCount() != count) {
                        std::fprintf(stderr, "cannot select the %d rows to delete\n", count);
                        App()->ShutDown();
                        return true;
                    }
                    before = list->GetRowCount();
                    answer.start(5);
                    if (paints)
                        QCoreApplication::instance()->installEventFilter(paints);
                    t0 = seconds(CLOCK_MONOTONIC);
                    QTest::mouseClick(del, Qt::LeftButton);
                    // The run is over once its progress window has gone.
                    Every20ms(
                        [&] {
                            CPhoneBook* s = Screen();
                            if (!s || ProgressNotices::running || QApplication::activeModalWidget())
                                return false;
                            run.total = seconds(CLOCK_MONOTONIC) - t0;
                            if (paints) {
                                paints->closeOpen();
                                QCoreApplication::instance()->removeEventFilter(paints);
                            }
                            answer.stop();
                            run.deleted = before - s->Pane()->GetListCtrl()->GetRowCount();
                            App()->ShutDown();
                            return true;
                        },
                        900000, [] { App()->ShutDown(); });
                    return true;
                },
                60000, [] { App()->ShutDown(); });
            return true;
        },
        60000, [] { App()->ShutDown(); });
    RunZorqMMIProgram({QStringLiteral("zorqmmi"), QStringLiteral("--nosplash")}, (folder / "zorqmmi").string());
    krn_reset_for_tests();
    serial_trace_stop();
    gv_bCallMtrPoll = 1;
    return run;
}

void print(const char* what, const Run& run, int pauseMs)
{
    const double pauses = run.deleted * pauseMs / 1000.0;
    const double rest = run.total - pauses;
    std::printf("%s: %d deleted (%d questions) in %.1f s; the pauses %.1f s, the rest %.1f s (%.0f ms an entry)\n",
                what, run.deleted, run.asked, run.total, pauses, rest,
                run.deleted ? rest * 1000.0 / run.deleted : 0.0);
    // From one entry shown to the next: the pause and the entry's own work.
    double sum = 0, longest = 0;
    for (size_t i = 1; i < run.shown.size(); ++i) {
        const double step = run.shown[i] - run.shown[i - 1];
        sum += step;
        longest = std::max(longest, step);
    }
    if (run.shown.size() > 1)
        std::printf("  from one entry to the next: %.1f ms on average, %.1f ms at most\n",
                    sum * 1000.0 / static_cast<double>(run.shown.size() - 1), longest * 1000.0);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    // A real window where there is a display.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const fs::path root = fs::temp_directory_path() / ("zorq-pbdeletebench-" + std::to_string(getpid()));
    fs::create_directories(root / "tmp");
    setenv("TMPDIR", (root / "tmp").c_str(), 1);
    std::printf("platform: %s\n", std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "the desktop's");
    const int pauseMs = g_nDeletePauseMs;
    int failures = 0;
    PaintClock paints;
    const Run all = deleteRun(argc, argv, root, 250, true, &paints);
    print("250 entries, Yes to all", all, pauseMs);
    for (const auto& [kind, t] : paints.tally)
        std::printf("  paints of the %s: %d, %.2f s\n", kind.c_str(), t.paints, t.seconds);
    g_nDeletePauseMs = 0;
    const Run bare = deleteRun(argc, argv, root, 250, true, nullptr);
    print("250 entries, Yes to all, no pause", bare, 0);
    g_nDeletePauseMs = pauseMs;
    if (all.deleted != 250 || bare.deleted != 250)
        failures = 1;
    std::error_code ec;
    fs::remove_all(root, ec);
    return failures;
}
