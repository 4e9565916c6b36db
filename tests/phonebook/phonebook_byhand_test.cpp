// The phonebook screen as a user works it against the simulator: entries
// without a name, the buttons while a copy runs, and a new PC database
// chosen over an existing file.
#include "screen_fixture.h"

#include "dialog.h"
#include "dlgprogress.h"
#include "dstchoice.h"
#include "filedlg.h"
#include "srclist.h"

#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QMenu>
#include <QMessageBox>

#include <algorithm>
#include <memory>

using pbtest::PhoneBookScreenTest;

namespace {

// Calls `onShow` with every window that is shown while it watches.
class ShowWatcher : public QObject {
public:
    explicit ShowWatcher(std::function<void(QWidget*)> onShow) : onShow_(std::move(onShow))
    {
        qApp->installEventFilter(this);
    }
    ~ShowWatcher() override { Stop(); }
    void Stop()
    {
        qApp->removeEventFilter(this);
        onShow_ = nullptr;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && onShow_ && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow())
            onShow_(static_cast<QWidget*>(watched));
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(QWidget*)> onShow_;
};

class PhoneBookByHand : public PhoneBookScreenTest {
protected:
    void Click(int id)
    {
        QTest::mouseClick(screen->GetDlgItem(id), Qt::LeftButton);
        QCoreApplication::processEvents();
    }
    void ClickRow(int row)
    {
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          List()->visualRect(List()->model()->index(row, 0)).center());
        QCoreApplication::processEvents();
    }
    QWidget* NewButton() { return screen->Pane()->GetFourthButton(); }
    // A right click on the PC button, choosing `command` in its menu.
    void PCMenu(unsigned command)
    {
        QTimer::singleShot(20, [command] {
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(popup, nullptr) << "the PC menu is shown";
            for (QAction* a : popup->actions())
                if (a->data().toUInt() == command)
                    popup->setActiveAction(a);
            QTest::keyClick(popup, Qt::Key_Return);
        });
        QWidget* pc = screen->Pane()->GetPCButton();
        QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(4, 4), pc->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(pc, &e);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
};

TEST_F(PhoneBookByHand, EntriesWithoutANameShowTheNoNameText)
{
    StartPhone("entry SM 4 \"0611\" 129 \"\"\n");
    Open();
    ASSERT_TRUE(screen->Pane()->IsSrcSIM());
    const std::string noName = Text(31400);
    auto rows = Rows();
    EXPECT_NE(std::find(rows.begin(), rows.end(), noName + "|0611|"), rows.end()) << "an empty name read from the phone";

    // A new entry typed with its number only.
    Click(1069);
    ASSERT_TRUE(screen->IsAddMode());
    Type(1013, QStringLiteral("0622"));
    Click(1025);
    EXPECT_FALSE(screen->IsAddMode());
    EXPECT_NE(PhoneEntries("SM").find("\"0622\" 129 \"\""), std::string::npos) << PhoneEntries("SM");
    rows = Rows();
    EXPECT_EQ(rows.size(), 5u);
    EXPECT_NE(std::find(rows.begin(), rows.end(), noName + "|0622|"), rows.end());
}

TEST_F(PhoneBookByHand, AddAndModifyAreOffWhileACopyRuns)
{
    std::vector<PBEntry> entries;
    for (int i = 0; i < 6; ++i)
        entries.push_back(Entry("Pc" + std::to_string(i), "060000000" + std::to_string(i)));
    MakePCDatabase("defpb.mdb", entries);
    StartPhone("", 19200);  // a cable's pace: the copy takes a while
    Open();
    screen->Pane()->GetPCButton()->click();
    ASSERT_TRUE(screen->Pane()->IsSrcPC());
    ClickRow(0);
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      List()->visualRect(List()->model()->index(4, 0)).center());
    ASSERT_EQ(List()->GetSelectedCount(), 5);
    ASSERT_TRUE(NewButton()->isEnabled());

    // When the copy's progress comes up (the copy is running): both buttons
    // off, and a click on New starts nothing.
    int seen = 0, enabledSeen = 0;
    bool addStarted = false;
    ShowWatcher watcher([&](QWidget* w) {
        if (!qobject_cast<CDlgProgressText*>(w))
            return;
        ++seen;
        enabledSeen += NewButton()->isEnabled() + screen->GetDlgItem(1025)->isEnabled();
        QTest::mouseClick(NewButton(), Qt::LeftButton);
        addStarted = addStarted || screen->IsAddMode();
    });
    DriveModal<CDlgDstChoicePB>({[](CDlgDstChoicePB* d) {
        auto* combo = d->findChild<CIconComboBox*>();
        ASSERT_NE(combo, nullptr);
        combo->setCurrentIndex(combo->findData(5));  // the SIM
        QTest::mouseClick(d->GetDlgItem(1), Qt::LeftButton);
    }});
    Click(1131);
    watcher.Stop();
    EXPECT_NE(PhoneEntries("SM").find("Pc4"), std::string::npos) << "the copy ran";
    EXPECT_GT(seen, 0) << "the copy was watched while it ran";
    EXPECT_EQ(enabledSeen, 0);
    EXPECT_FALSE(addStarted);
    // Afterwards New works again.
    EXPECT_TRUE(NewButton()->isEnabled());
    Click(1069);
    EXPECT_TRUE(screen->IsAddMode());
}

// A change typed into the form of one entry, then a click on another entry:
// the change is neither dropped unasked nor written over the entry clicked.
// Yes saves it to the entry it was typed for, No leaves that entry as it
// was; either way the form then shows the entry clicked.
TEST_F(PhoneBookByHand, MovingToAnotherEntryAsksWhatBecomesOfAChange)
{
    StartPhone("");
    Open();
    ASSERT_TRUE(screen->Pane()->IsSrcSIM());
    const std::string question = Text(31252);
    auto rowOf = [&](const QString& name) {
        for (int r = 0; r < List()->GetRowCount(); ++r)
            if (List()->GetRowText(r, 0) == name || List()->GetRowText(r, 1) == name)
                return r;
        return -1;
    };
    auto formName = [&] { return qobject_cast<QLineEdit*>(screen->GetDlgItem(1012))->text(); };

    for (const int answer : {IDYES, IDNO}) {
        SCOPED_TRACE(answer == IDYES ? "yes" : "no");
        app.dialogResult = answer;
        app.systemResult = answer;
        app.shown.clear();
        const QString typed = answer == IDYES ? QStringLiteral("Bobby") : QStringLiteral("Robert");
        ClickRow(rowOf(answer == IDYES ? QStringLiteral("Bob") : QStringLiteral("Bobby")));
        Type(1012, typed);
        ASSERT_TRUE(screen->GetDlgItem(1025)->isVisible()) << "OK offered for the change";
        ClickRow(rowOf(QStringLiteral("Alice")));
        // The question comes once the click has been handled.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !app.shown.empty(); }, 5000));

        EXPECT_EQ(Boxes(), std::vector<std::string>{question});
        const std::string book = PhoneEntries("SM");
        EXPECT_NE(book.find("\"Alice\""), std::string::npos) << "the entry clicked is untouched: " << book;
        EXPECT_NE(book.find("\"Bobby\""), std::string::npos) << book;
        EXPECT_EQ(book.find("\"Bob\""), std::string::npos) << book;
        EXPECT_EQ(book.find("\"Robert\""), std::string::npos) << "no change written on No: " << book;
        EXPECT_EQ(List()->GetSelectedCount(), 1);
        EXPECT_EQ(List()->GetSingleSelectedRow(), rowOf(QStringLiteral("Alice")));
        EXPECT_EQ(formName(), QStringLiteral("Alice"));
        EXPECT_FALSE(screen->GetDlgItem(1025)->isVisible());
    }
}

// The entry form, new or changed: its OK and Cancel look and stand as a
// dialog's (their answers' pictures, at the right under the fields, Cancel
// last), and Escape in a field ends the form as its Cancel does, nothing
// written.
TEST_F(PhoneBookByHand, TheEntryFormsOkAndCancelAreADialogsAndEscapeCancelsIt)
{
    StartPhone("");
    Open();
    ASSERT_TRUE(screen->Pane()->IsSrcSIM());
    const std::vector<std::string> rows = Rows();
    const std::string book = PhoneEntries("SM");
    auto* ok = qobject_cast<QPushButton*>(screen->GetDlgItem(1025));
    auto* cancel = qobject_cast<QPushButton*>(screen->GetDlgItem(1026));
    auto* name = qobject_cast<QLineEdit*>(screen->GetDlgItem(1012));
    ASSERT_TRUE(ok && cancel && name);
    auto picture = [](const QIcon& icon) { return icon.pixmap(16, 16).toImage(); };

    QTest::mouseClick(NewButton(), Qt::LeftButton);
    ASSERT_TRUE(screen->IsAddMode());
    ASSERT_TRUE(ok->isVisible() && cancel->isVisible());
    EXPECT_FALSE(ok->icon().isNull());
    EXPECT_TRUE(picture(ok->icon()) == picture(DialogButtonPicture(IDOK, ok->style()))) << "OK's picture";
    EXPECT_TRUE(picture(cancel->icon()) == picture(DialogButtonPicture(IDCANCEL, cancel->style())))
        << "Cancel's picture";
    EXPECT_EQ(cancel->geometry().right(), name->geometry().right()) << "Cancel ends where the fields end";
    EXPECT_LT(ok->geometry().right(), cancel->geometry().left()) << "OK before Cancel";
    EXPECT_EQ(ok->geometry().top(), cancel->geometry().top());
    for (QPushButton* b : {ok, cancel}) {
        SCOPED_TRACE(b->text().toStdString());
        EXPECT_GE(b->width(), b->fontMetrics().horizontalAdvance(b->text()) + b->iconSize().width())
            << "the text and its picture fit";
        // Nothing else of the form under it: the entry buttons stand left of OK.
        for (QWidget* other : b->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other != ok && other != cancel && other->isVisible()) {
                EXPECT_FALSE(other->geometry().intersects(b->geometry())) << other->objectName().toStdString();
            }
        }
    }

    // Escape in the new entry's fields: the form ends, nothing is written.
    QTest::keyClicks(name, QStringLiteral("Escaped"));
    auto* number = qobject_cast<QLineEdit*>(screen->GetDlgItem(1013));
    QTest::mouseClick(number, Qt::LeftButton);
    QTest::keyClicks(number, QStringLiteral("0699"));
    QTest::keyClick(number, Qt::Key_Escape);
    EXPECT_FALSE(screen->IsAddMode());
    EXPECT_FALSE(ok->isVisible());
    EXPECT_FALSE(cancel->isVisible());
    EXPECT_TRUE(name->text().isEmpty());
    EXPECT_TRUE(List()->isEnabled());
    EXPECT_EQ(Rows(), rows);

    // And in a change of an entry: the form shows the entry as it is.
    ClickRow(0);
    const QString kept = name->text();
    ASSERT_FALSE(kept.isEmpty());
    Type(1012, QStringLiteral("Changed"));
    ASSERT_TRUE(screen->IsModifyMode());
    ASSERT_TRUE(cancel->isVisible());
    QTest::keyClick(name, Qt::Key_Escape);
    EXPECT_FALSE(cancel->isVisible());
    EXPECT_EQ(name->text(), kept);
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(PhoneEntries("SM"), book);
    EXPECT_TRUE(Boxes().empty());
}

// A number the phone keeps as national (161) is copied to the PC phonebook
// and from there to another place on the SIM: it goes back with its type,
// not as an unknown one (129).
TEST_F(PhoneBookByHand, ANumberTypeGoesToThePCAndBackToThePhone)
{
    // One entry besides: a selection of every row would ask first.
    const std::string pc = MakePCDatabase("defpb.mdb", {Entry("Keep", "0101")});
    StartPhone("entry SM 3 \"0612345678\" 161 \"National\"\n");
    Open();
    ASSERT_TRUE(screen->Pane()->IsSrcSIM());
    auto rowNamed = [this](const char* name) {
        for (int r = 0; r < List()->GetRowCount(); ++r)
            if (List()->GetRowText(r, 0) == QLatin1String(name))
                return r;
        return -1;
    };
    auto copyTo = [this](int destination) {
        DriveModal<CDlgDstChoicePB>({[destination](CDlgDstChoicePB* d) {
            auto* combo = d->findChild<CIconComboBox*>();
            ASSERT_NE(combo, nullptr);
            combo->setCurrentIndex(combo->findData(destination));
            QTest::mouseClick(d->GetDlgItem(1), Qt::LeftButton);
        }});
        Click(1131);
    };
    ASSERT_GE(rowNamed("National"), 0);
    ClickRow(rowNamed("National"));
    copyTo(4);  // the PC phonebook
    {
        CJetDatabase db;
        db.Open(pc);
        CEntryPhoneRecordset rs(&db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntryPhone ORDER BY Location");
        ASSERT_EQ(rs.GetRecordCount(), 2);
        rs.MoveNext();
        EXPECT_EQ(rs.Phone, "0612345678");
        EXPECT_EQ(rs.NumberType, 161);
    }

    QTest::mouseClick(screen->Pane()->GetPCButton(), Qt::LeftButton);
    QCoreApplication::processEvents();
    ASSERT_TRUE(screen->Pane()->IsSrcPC());
    ASSERT_GE(rowNamed("National"), 0);
    ClickRow(rowNamed("National"));
    copyTo(5);  // the SIM
    const std::string entries = PhoneEntries("SM");
    EXPECT_NE(entries.find("3 \"0612345678\" 161 \"National\""), std::string::npos) << entries;
    size_t copies = 0;
    for (const std::string& line : Lines(entries))
        copies += line.find("\"0612345678\" 161 \"National\"") != std::string::npos;
    EXPECT_EQ(copies, 2u) << entries;
    EXPECT_EQ(entries.find(" 129 \"National\""), std::string::npos) << entries;
}

TEST_F(PhoneBookByHand, ANewPCDatabaseOverAnExistingFileAsksOnce)
{
    MakePCDatabase("defpb.mdb", {Entry("Ann", "0101")});
    const std::string old = MakePCDatabase("old.mdb", {Entry("Carl", "0303")});
    WritePhoneConf(0, app.GetFolderPath() + "defpb.mdb", true);
    StartPhone();
    Open();
    screen->Pane()->GetPCButton()->click();
    ASSERT_TRUE(screen->Pane()->IsSrcPC());
    app.dialogResult = IDYES;
    app.systemResult = IDYES;
    app.shown.clear();

    // The user types the existing file's name in the file dialog; any
    // question of the dialog itself is answered yes and counted.
    int dialogQuestions = 0;
    bool typed = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            ++dialogQuestions;
            box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes)->click() : box->accept();
        } else if (auto* files = qobject_cast<QFileDialog*>(modal); files && !typed) {
            typed = true;
            auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(QString::fromStdString(old));
            QTest::keyClick(name, Qt::Key_Return);
        }
    });
    watch.start(10);
    PCMenu(ID_PC_NEW_DATABASE);
    watch.stop();
    EXPECT_TRUE(typed);
    EXPECT_EQ(dialogQuestions, 0) << "the file dialog does not ask as well";
    const QString replace = QString::fromStdString(Text(31317, {old.c_str()}));
    int asked = 0;
    for (const auto& s : app.shown)
        asked += s.text == replace;
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(screen->Pane()->IsSrcPC());
    EXPECT_EQ(List()->GetRowCount(), 0) << "the file was replaced by a new, empty database";
}

}  // namespace
