// Entries dragged out of the phonebook screen and cards dropped on it,
// through the drop targets' event handling, and a dialled entry followed by
// the call-status window as the simulator reports the call.
#include "screen_fixture.h"

#include "diskfaults.h"
#include "docwindows.h"
#include "dlgprogress.h"
#include "dragdrop.h"
#include "krn.h"
#include "mtr_frame.h"
#include "mtr_poll.h"
#include "vcard.h"
#include "confirm.h"
#include "user_actions.h"
#include "walkthrough.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QDrag>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <thread>

using pbtest::PhoneBookScreenTest;
using zorqtest::ClickMenuItem;
using zorqtest::FindMenuAction;
using zorqtest::FindSubMenu;
using zorqtest::OnPopup;
using zorqtest::RightClickRow;

namespace {

class DragDialTest : public PhoneBookScreenTest {
protected:
    void TearDown() override
    {
        if (doc)
            doc->SetWindows(nullptr);
        windows.reset();
        mtr_poll_stop();
        mtr_poll_reset();
        PhoneBookScreenTest::TearDown();
    }
    // A drag that enters `target` and is dropped there, as the window
    // system delivers it; true when the drop was taken.
    static bool Drop(QWidget* target, const QMimeData* data)
    {
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        return drop.isAccepted() && drop.dropAction() != Qt::IgnoreAction;
    }
    std::unique_ptr<CAppDocWindows> windows;

    static CDlgConnectionStatus* StatusWindow()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<CDlgConnectionStatus*>(w))
                return d;
        return nullptr;
    }
    // Lets the engine read what the phone sends and poll it to the document.
    template <typename F>
    static bool RunEngineUntil(F done, int ms)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            if (krn_mbx_empty(KRN_TASK_MAIN)) {
                mtr_pump();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            } else {
                mtr_idle();
            }
        }
        return true;
    }
};

}  // namespace

TEST_F(DragDialTest, DraggedEntriesOfferFilesAndCardsAndDropOnAnotherStore)
{
    const std::string pcPath = MakePCDatabase("defpb.mdb", {});
    StartPhone();
    Open();
    List()->SelectRow(List()->FindRowByLocation(1));
    List()->SelectRow(List()->FindRowByLocation(2));
    std::unique_ptr<QMimeData> data(screen->Pane()->BuildDragMimeData());
    ASSERT_NE(data, nullptr);

    // Files for file managers, the cards for other programs, the private form.
    ASSERT_EQ(data->urls().size(), 2);
    for (const QUrl& url : data->urls()) {
        EXPECT_TRUE(url.toLocalFile().endsWith(".VCF")) << url.toString().toStdString();
        EXPECT_TRUE(QFile::exists(url.toLocalFile()));
    }
    const std::vector<std::string> cards = SplitVCardText(data->data("text/vcard").toStdString());
    ASSERT_EQ(cards.size(), 2u);
    CVCard alice;
    ASSERT_TRUE(alice.ReadFromMemory(cards[0].data(), cards[0].size()));
    EXPECT_EQ(alice.GetFormattedName(), "Alice");
    EXPECT_EQ(data->data("text/x-vcard"), data->data("text/vcard"));
    EXPECT_TRUE(data->hasFormat(kPellardMimeType));

    // Dropped on the PC button: the two entries are copied into the PC
    // database; the SIM button (the store shown) refuses the drop.
    EXPECT_FALSE(Drop(screen->Pane()->GetSIMButton(), data.get()));
    EXPECT_TRUE(Drop(screen->Pane()->GetPCButton(), data.get()));
    EXPECT_EQ(PhonebookSimTest::Rows(pcPath), "1 +33612345678 Alice\n2 0687654321 Bob\n");
    EXPECT_EQ(PhonebookSimTest::Rows(GetPBDatabaseName(1)).size(),
              std::string("1 +33612345678 Alice\n2 0687654321 Bob\n250 0612345678 Zoe\n").size())
        << "the source is unchanged";
}

TEST_F(DragDialTest, CardsOfOtherProgramsDroppedOnASourceButtonBecomeEntries)
{
    StartPhone();
    Open();
    // Two cards of another program in one drop, one of them vCard 3.0 in
    // UTF-8 with TYPE= parameters.
    const QByteArray text =
        "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Lane;Eve\r\nFN:Eve Lane\r\nTEL;CELL:+33 6 01 02 03 04\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ren\xc3\xa9\r\nTEL;TYPE=CELL:0605\r\nEND:VCARD\r\n";
    QMimeData other;
    other.setData("text/vcard", text);
    EXPECT_TRUE(Drop(screen->Pane()->GetPhoneButton(), &other));
    const std::string me = PhoneEntries("ME");

    // Names are composed family name first, with the cell suffix; the
    // accented name reaches the phone in its own character set.
    EXPECT_EQ(me.substr(me.find("3 ")), "3 \"+33601020304\" 145 \"Lane Eve C\"\n4 \"0605\" 129 \"Ren\xe9  C\"\n");
    EXPECT_EQ(PhonebookSimTest::Rows(GetPBDatabaseName(3)),
              "1 +33145678900 Office\n2 0299887766 Home\n3 +33601020304 Lane Eve C\n4 0605 Ren\xe9  C\n");

    // A card file dropped on the list goes into the store shown (the SIM).
    const std::string file = host.folder + "Gus.VCF";
    {
        QFile f(QString::fromStdString(file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("BEGIN:VCARD\r\nFN:Gus\r\nTEL;CELL:0707\r\nEND:VCARD\r\n");
    }
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QString::fromStdString(file))});
    EXPECT_TRUE(Drop(List(), &files));
    EXPECT_NE(PhoneEntries("SM").find("3 \"0707\" 129 \"Gus  C\""), std::string::npos) << PhoneEntries("SM");
    EXPECT_NE(List()->FindRowByLocation(3), -1) << "the list shows the new entry";

    // A file that is no card: the message, nothing written.
    const std::string before = PhoneEntries("SM");
    QFile junk(QString::fromStdString(host.folder + "junk.VCF"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a card");
    junk.close();
    files.setUrls({QUrl::fromLocalFile(junk.fileName())});
    Drop(List(), &files);
    EXPECT_EQ(Boxes().back(), Text(31875, {junk.fileName()}));
    EXPECT_EQ(PhoneEntries("SM"), before);
}

// Cards dropped on the phone button fill the phone memory: what fits is
// copied, and the box names the phonebook that filled, the destination,
// whatever phonebook the screen shows.
TEST_F(DragDialTest, CardsThatFillThePhoneMemorySayThePhoneMemoryIsFull)
{
    StartPhone("phonebook ME 3 32 20\n");  // Office and Home in it, one place left
    Open();
    ASSERT_TRUE(screen->Pane()->IsSrcSIM());
    const QByteArray text = "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Eve\r\nTEL;CELL:0601\r\nEND:VCARD\r\n"
                            "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Ren\r\nTEL;CELL:0605\r\nEND:VCARD\r\n";
    QMimeData other;
    other.setData("text/vcard", text);
    EXPECT_TRUE(Drop(screen->Pane()->GetPhoneButton(), &other));
    EXPECT_NE(PhoneEntries("ME").find("3 \"0601\" 129 \"Eve  C\""), std::string::npos) << PhoneEntries("ME");
    EXPECT_EQ(PhoneEntries("ME").find("Ren"), std::string::npos) << PhoneEntries("ME");
    ASSERT_FALSE(Boxes().empty());
    EXPECT_EQ(Boxes(), std::vector<std::string>{Text(31450)});
}

// Card files that are cut short, empty, random, a folder or a name no read
// can follow, dropped together with a good one: each bad one is told in its
// own message, none is written to, and the good card still reaches the phone.
TEST_F(DragDialTest, DamagedCardFilesAreNamedAndTheGoodOneOfTheDropIsCopied)
{
    StartPhone();
    Open();
    const std::string good = "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Hal\r\nTEL;CELL:0708\r\nEND:VCARD\r\n";
    const auto damaged = zorqtest::WriteDamagedShapes(host.folder, "card", ".VCF", good);
    std::vector<std::string> before;
    QList<QUrl> urls;
    for (const auto& d : damaged) {
        before.push_back(zorqtest::ReadFile(d.path));
        urls.push_back(QUrl::fromLocalFile(QString::fromStdString(d.path)));
    }
    const std::string goodPath = host.folder + "Hal.VCF";
    zorqtest::WriteFile(goodPath, good);
    urls.push_front(QUrl::fromLocalFile(QString::fromStdString(goodPath)));
    QMimeData files;
    files.setUrls(urls);
    app.shown.clear();
    EXPECT_TRUE(Drop(List(), &files));
    std::vector<std::string> boxes = Boxes();
    for (size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE(damaged[i].shape);
        const QString path = QString::fromStdString(damaged[i].path);
        // A card cut short keeps what was read before the cut: here its
        // name without its number, which makes no entry and says so.
        const std::string message = damaged[i].shape == "cut" ? Text(31877) : Text(31875, {path});
        if (damaged[i].shape != "cut") {
            EXPECT_NE(message.find(damaged[i].path), std::string::npos) << "the message does not name the file";
        }
        auto it = std::find(boxes.begin(), boxes.end(), message);
        EXPECT_NE(it, boxes.end()) << "no message for the file";
        if (it != boxes.end())
            boxes.erase(it);
        // A name no open can follow is also told by the open itself.
        if (damaged[i].shape == "unreadable")
            boxes.erase(std::remove_if(boxes.begin(), boxes.end(),
                                       [&](const std::string& b) {
                                           return b.rfind("ERR OPEN FILE", 0) == 0 &&
                                                  b.find(damaged[i].path) != std::string::npos;
                                       }),
                        boxes.end());
        EXPECT_EQ(zorqtest::ReadFile(damaged[i].path), before[i]) << "the dropped file was changed";
    }
    EXPECT_TRUE(boxes.empty()) << "more messages than bad files: " << boxes.front();
    const std::string sm = PhoneEntries("SM");
    EXPECT_NE(sm.find("\"0708\" 129 \"Hal  C\""), std::string::npos) << sm;
    EXPECT_EQ(sm.find("Hal", sm.find("Hal") + 1), std::string::npos) << "the cut card made an entry: " << sm;
}

TEST_F(DragDialTest, ADialledEntryIsFollowedByTheCallStatus)
{
    StartPhone();
    FullFeaturePhone();
    // Polling as the program runs it: the phone's call results reach the
    // document.
    mtr_set_poll_handler(nullptr);
    mtr_poll_reset();
    windows = std::make_unique<CAppDocWindows>();
    doc->SetWindows(windows.get());
    Open();

    List()->SelectRow(List()->FindRowByLocation(2));
    screen->OnCommand(32773);
    CDlgConnectionStatus* status = StatusWindow();
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->StatusText().toStdString(), Text(31866, {"0687654321"}));

    sim->command("call-result busy");
    EXPECT_TRUE(RunEngineUntil([&] { return status->StatusText().toStdString() == Text(31867, {"0687654321"}); },
                               3000))
        << status->StatusText().toStdString();
    sim->command("call-result no-carrier");
    EXPECT_TRUE(RunEngineUntil([&] { return !doc->HasStatusDlg(); }, 4000));
    EXPECT_EQ(StatusWindow(), nullptr) << "the window closes when the call ends";

    // Two rows selected only beep; no call is made.
    List()->SelectAll();
    screen->OnCommand(32773);
    EXPECT_EQ(StatusWindow(), nullptr);
}

// ---- The entries' context menu -------------------------------------------------------------

namespace {

class EntryMenuTest : public DragDialTest {
protected:
    // Right-clicks the row of `location` and runs `act` on the menu that
    // opens; false when no menu opened.
    bool RightClickEntry(int location, std::function<void(QMenu*)> act)
    {
        bool shown = false;
        OnPopup([&](QMenu* menu) {
            shown = true;
            act(menu);
            if (menu->isVisible())
                menu->close();
        });
        RightClickRow(List(), List()->FindRowByLocation(location));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return shown;
    }
    // Chooses `id` in the menu of a right click on `location`.
    void Choose(int location, unsigned id)
    {
        bool chosen = false;
        ASSERT_TRUE(RightClickEntry(location, [&](QMenu* menu) { chosen = ClickMenuItem(menu, id); }));
        ASSERT_TRUE(chosen) << id;
    }
};

}  // namespace

TEST_F(EntryMenuTest, ARightClickedEntryIsDialledFromItsMenuAndTheCallFollowed)
{
    StartPhone();
    FullFeaturePhone();
    mtr_set_poll_handler(nullptr);
    mtr_poll_reset();
    windows = std::make_unique<CAppDocWindows>();
    doc->SetWindows(windows.get());
    Open();

    // The menu of one entry: dialling and the location offered with their
    // pictures; the copy goes to the other storages and PC files, not to
    // the SIM shown.
    QStringList items, copies;
    bool dialEnabled = false, dialIcon = false, locationEnabled = false;
    ASSERT_TRUE(RightClickEntry(2, [&](QMenu* menu) {
        for (QAction* a : menu->actions())
            items << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QAction* dial = FindMenuAction(menu, 32773);
        dialEnabled = dial && dial->isEnabled();
        dialIcon = dial && !dial->icon().isNull();
        QAction* location = FindMenuAction(menu, 32787);
        locationEnabled = location && location->isEnabled();
        if (QMenu* copy = FindSubMenu(menu, QStringLiteral("Copy to")))
            for (QAction* a : copy->actions())
                copies << QString::number(a->data().toUInt());
        // The walk-through picture shows the menu with its copy submenu open.
        QMenu* copy = FindSubMenu(menu, QStringLiteral("Copy to"));
        for (QAction* a : menu->actions())
            if (a->menu() == copy)
                menu->setActiveAction(a);
        QTest::keyClick(menu, Qt::Key_Right);
        zorqtest::SaveScreenWithOverlays(screen.get(), {menu, copy}, QStringLiteral("phonebook_context_menu"));
    }));
    EXPECT_EQ(items, (QStringList{"Dial", "Change location", "-", "Copy to", "-", "Print", "Delete"}));
    EXPECT_TRUE(dialEnabled);
    EXPECT_TRUE(dialIcon);
    EXPECT_TRUE(locationEnabled);
    EXPECT_TRUE(copies.contains("32802") && copies.contains("32805") && copies.contains("32806") &&
                copies.contains("32807"))
        << copies.join(' ').toStdString();
    EXPECT_FALSE(copies.contains("32803")) << "the SIM shown is no destination";
    EXPECT_EQ(List()->GetSelectedCount(), 1) << "the right click selected the row";

    // Dial chosen: the call-status window follows the phone's results.
    Choose(2, 32773);
    CDlgConnectionStatus* status = StatusWindow();
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->StatusText().toStdString(), Text(31866, {"0687654321"}));
    sim->command("call-result busy");
    EXPECT_TRUE(RunEngineUntil([&] { return status->StatusText().toStdString() == Text(31867, {"0687654321"}); },
                               3000))
        << status->StatusText().toStdString();
    sim->command("call-result no-carrier");
    EXPECT_TRUE(RunEngineUntil([&] { return !doc->HasStatusDlg(); }, 4000));

    // Two entries: neither dialling nor the location change is offered.
    List()->SelectAll();
    bool dialOffered = true, locationOffered = true;
    ASSERT_TRUE(RightClickEntry(1, [&](QMenu* menu) {
        dialOffered = FindMenuAction(menu, 32773)->isEnabled();
        locationOffered = FindMenuAction(menu, 32787)->isEnabled();
    }));
    EXPECT_FALSE(dialOffered);
    EXPECT_FALSE(locationOffered);
}

TEST_F(EntryMenuTest, EntriesAreCopiedAndErasedThroughTheMenu)
{
    StartPhone();
    Open();
    // Alice copied into the phone memory.
    Choose(1, 32805);
    EXPECT_NE(PhoneEntries("ME").find("\"+33612345678\" 145 \"Alice\""), std::string::npos) << PhoneEntries("ME");

    // Bob deleted, after the confirmation.
    DriveModal<CDlgConfirm>({[](CDlgConfirm* d) { d->EndDialog(6); }});
    Choose(2, 32777);
    EXPECT_EQ(PhoneEntries("SM").find("Bob"), std::string::npos) << PhoneEntries("SM");
    EXPECT_EQ(List()->FindRowByLocation(2), -1);

    // "Change location" sorts by location and opens the row's location for
    // editing.
    Choose(250, 32787);
    EXPECT_EQ(screen->findChild<QComboBox*>("id1030")->currentIndex(), 0);
    EXPECT_NE(List()->findChild<QLineEdit*>(), nullptr) << "the location is open for editing";
}

// "Change location" opens the location as a label edit does: framed, its
// text selected, so that what is typed replaces it: 7 typed on location 1
// moves the entry to 7, not to 17.
TEST_F(EntryMenuTest, TheChangedLocationIsTypedOverTheOldOne)
{
    StartPhone();
    Open();
    Choose(1, 32787);
    QCoreApplication::processEvents();
    auto* edit = List()->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr) << "the location is open for editing";
    EXPECT_TRUE(edit->hasFrame());
    EXPECT_EQ(edit->text(), QStringLiteral("1"));
    EXPECT_EQ(edit->selectedText(), edit->text());
    zorqtest::SaveScreen(screen.get(), QStringLiteral("phonebook_change_location"));
    QTest::keyClicks(edit, QStringLiteral("7"));
    QTest::keyClick(edit, Qt::Key_Return);
    // The edit ends once the key has been handled; the entry then moves.
    const auto moved = [&] { return PhoneEntries("SM").find("7 \"+33612345678\" 145 \"Alice\"") != std::string::npos; };
    QElapsedTimer cap;
    cap.start();
    while (!moved() && cap.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(moved()) << PhoneEntries("SM");
    EXPECT_EQ(PhoneEntries("SM").find("17 "), std::string::npos) << PhoneEntries("SM");
    EXPECT_GE(List()->FindRowByLocation(7), 0);
}

// A right click on the form's background, beside the fields, opens the
// same menu as one on the list, for the entries selected; with none
// selected there is nothing to offer.
TEST_F(EntryMenuTest, ARightClickOnTheFormsBackgroundOpensTheEntriesMenu)
{
    StartPhone();
    Open();
    // A bare spot of the form: between the list and the fields, where only
    // the form's panel is (nothing that takes the focus or a click).
    const QRect listArea(List()->mapTo(screen.get(), QPoint(0, 0)), List()->size());
    QPoint bare(-1, -1);
    for (int x = listArea.right() + 2; x < listArea.right() + 40 && bare.x() < 0; ++x) {
        const QPoint at(x, listArea.center().y());
        QWidget* w = screen->childAt(at);
        if (!w || (w->focusPolicy() == Qt::NoFocus && !qobject_cast<QAbstractButton*>(w)))
            bare = at;
    }
    ASSERT_GE(bare.x(), 0) << "no bare spot on the form";

    QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      zorqtest::RowPoint(List(), List()->FindRowByLocation(1)));
    ASSERT_EQ(List()->GetSelectedCount(), 1);
    QStringList items;
    zorqtest::OnPopup([&](QMenu* menu) {
        for (QAction* a : menu->actions())
            if (!a->isSeparator())
                items << a->text();
        menu->close();
    });
    QWidget* spot = screen->childAt(bare) ? screen->childAt(bare) : screen.get();
    const QPoint spotAt = spot->mapFrom(screen.get(), bare);
    zorqtest::RightClick(spot, spotAt);
    QCoreApplication::processEvents();
    EXPECT_EQ(items, (QStringList{"Dial", "Change location", "Copy to", "Print", "Delete"}));

    List()->DeselectAll();
    bool shown = false;
    zorqtest::OnPopup([&](QMenu* menu) {
        shown = true;
        menu->close();
    });
    zorqtest::RightClick(spot, spotAt);
    // The look for a menu has run once a later timer has.
    bool looked = false;
    QTimer::singleShot(40, [&] { looked = true; });
    QElapsedTimer cap;
    cap.start();
    while (!looked && cap.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_TRUE(looked);
    EXPECT_FALSE(shown) << "no entry selected, no menu";
}

TEST_F(EntryMenuTest, AClickOnTheIdleFormStartsANewEntry)
{
    StartPhone();
    Open();
    QWidget* label = screen->GetDlgItem(1111);
    ASSERT_NE(label, nullptr);
    // Editing the selected entry: the click changes nothing.
    List()->SelectRow(List()->FindRowByLocation(1));
    ASSERT_TRUE(screen->IsModifyMode());
    QTest::mouseClick(label, Qt::LeftButton);
    EXPECT_FALSE(screen->IsAddMode());

    List()->DeselectAll();
    screen->SelectionToForm();
    ASSERT_FALSE(screen->IsModifyMode());
    QTest::mouseClick(label, Qt::LeftButton);
    EXPECT_TRUE(screen->IsAddMode());
    // The form's fields say so when the mouse rests on them.
    QWidget* name = screen->GetDlgItem(1012);
    QTest::mouseMove(screen.get(), QPoint(5, 5));
    EXPECT_EQ(name->toolTip().toStdString(), Text(31238));
    QTest::mouseClick(screen->GetDlgItem(1026), Qt::LeftButton);  // Cancel the new entry
    List()->SelectRow(List()->FindRowByLocation(1));
    QTest::mouseMove(screen.get(), QPoint(6, 6));
    EXPECT_EQ(name->toolTip().toStdString(), Text(31237));
}

// ---- A drag as the window system runs it ----------------------------------------------------

namespace {

// Sends a drag's passage over `w` (enter, then a move at its centre);
// true when the place takes the drop.
bool PassOver(QWidget* w, const QMimeData* data)
{
    const QPoint at = w->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &enter);
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
    return move.isAccepted();
}

void Leave(QWidget* w)
{
    QDragLeaveEvent leave;
    QApplication::sendEvent(w, &leave);
}

}  // namespace

TEST_F(DragDialTest, ADraggedEntryShowsItsPictureAndWhetherThePlaceTakesIt)
{
    StartPhone();
    Open();
    CEntryDropSource* source = screen->GetDropSource();
    QWidget* phone = screen->Pane()->GetPhoneButton();
    QWidget* sim = screen->Pane()->GetSIMButton();
    bool rowPicture = false, refusedOverScreen = false, refusedOverSIM = false, acceptedOverPhone = false;
    int overScreen = -2, overPhone = -2;
    Qt::DropAction dropped = Qt::IgnoreAction;
    CEntryDropSource::SetDragRunner([&](QDrag* drag) {
        const QMimeData* data = drag->mimeData();
        rowPicture = !drag->pixmap().isNull();
        // Over the screen between its drop places: the no-drop picture.
        refusedOverScreen = !PassOver(screen.get(), data);
        overScreen = source->Image().IsShown() ? source->ShownImage() : -1;
        Leave(screen.get());
        // The store shown refuses; the phone memory takes the entry.
        refusedOverSIM = !PassOver(sim, data);
        Leave(sim);
        acceptedOverPhone = PassOver(phone, data);
        overPhone = source->Image().IsShown() ? source->ShownImage() : -1;
        zorqtest::SaveScreenWithOverlays(screen.get(), {source->Image().Window()}, QStringLiteral("drag_in_progress"));
        QDropEvent drop(QPointF(phone->rect().center()), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                        Qt::NoModifier);
        QApplication::sendEvent(phone, &drop);
        dropped = drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
        return dropped;
    });
    // The user presses on Alice's row and moves the mouse away with the
    // button down.
    const int row = List()->FindRowByLocation(1);
    const QPoint at = List()->visualRect(List()->model()->index(row, 0)).center();
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mousePress(List()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    for (int step = 1; step <= 4; ++step)
        QTest::mouseMove(List()->viewport(), at + QPoint(12 * step, 4 * step));
    QTest::mouseRelease(List()->viewport(), Qt::LeftButton, Qt::NoModifier, at + QPoint(48, 16));
    CEntryDropSource::SetDragRunner(nullptr);

    EXPECT_TRUE(rowPicture) << "the drag carries the row's picture";
    EXPECT_TRUE(refusedOverScreen);
    EXPECT_EQ(overScreen, 0) << "the row's picture with the no-drop mark";
    EXPECT_TRUE(refusedOverSIM);
    EXPECT_TRUE(acceptedOverPhone);
    EXPECT_EQ(overPhone, 1) << "the row's picture with the drop mark";
    EXPECT_NE(dropped, Qt::IgnoreAction);
    EXPECT_FALSE(source->Image().IsShown()) << "the picture goes with the drag";
    EXPECT_NE(PhoneEntries("ME").find("\"Alice\""), std::string::npos) << PhoneEntries("ME");
}
