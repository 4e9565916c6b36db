#include "screen_fixture.h"

#include "confirm.h"
#include "dlgprogress.h"
#include "entrylistctrl.h"
#include "escape_key.h"
#include "finddlg.h"
#include "phonebook.h"
#include "profile.h"
#include "qxpbsrcnewlist.h"
#include "vcard.h"
#include "uiwidgets.h"
#include "walkthrough.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPrinter>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <algorithm>

using pbtest::PhonebookSimTest;

using pbtest::PhoneBookScreenTest;

TEST_F(PhoneBookScreenTest, OpensOnTheSIMAndListsItsEntries)
{
    StartPhone();
    Open();
    EXPECT_TRUE(screen->Pane()->IsSrcSIM());
    EXPECT_TRUE(doc->IsPBStorageRead(1));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Alice|+33612345678|", "Bob|0687654321|", "Zoe|0612345678|"}));
    EXPECT_EQ(Label(1002).toStdString(), Text(31251, {"", "3"}));
    EXPECT_EQ(Label(1110).toStdString(), Text(31839, {"247"}));
    // The SIM offers three sort orders.
    EXPECT_EQ(qobject_cast<QComboBox*>(screen->GetDlgItem(1030))->count(), 3);

    // Selecting a row fills the form; the walk-through shows it.
    List()->SelectRow(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(screen->FieldText(1012), QStringLiteral("Bob"));
    EXPECT_EQ(screen->FieldText(1013), QStringLiteral("0687654321"));
    EXPECT_TRUE(screen->IsModifyMode());
    EXPECT_FALSE(zorqtest::SaveScreen(screen.get(), QStringLiteral("phonebook")).isEmpty());

    // The new-entry button has a picture of its own: the handset reads as
    // "dial", which the context menu's dial command shows.
    QPushButton* add = screen->Pane()->GetFourthButton();
    const QImage addPicture = add->icon().pixmap(16, 16).toImage();
    ASSERT_FALSE(addPicture.isNull());
    EXPECT_NE(addPicture, UiLoadIcon(QStringLiteral("IDI_MENU_DIAL")).pixmap(16, 16).toImage());
    EXPECT_NE(addPicture, UiLoadIcon(QStringLiteral("162")).pixmap(16, 16).toImage());  // the phone source
}

TEST_F(PhoneBookScreenTest, AddChangeAndDeleteOnTheSIM)
{
    StartPhone();
    Open();
    screen->OnCommand(1069);
    ASSERT_TRUE(screen->IsAddMode());
    Type(1012, QStringLiteral("Carol"));
    Type(1013, QStringLiteral("+33 6 11 22"));
    EXPECT_FALSE(zorqtest::SaveScreen(screen.get(), QStringLiteral("phonebook-new-entry")).isEmpty());
    screen->OnCommand(1025);
    EXPECT_FALSE(screen->IsAddMode());
    EXPECT_NE(PhoneEntries("SM").find("3 \"+3361122\" 145 \"Carol\""), std::string::npos);
    EXPECT_EQ(Rows().size(), 4u);

    // A refusal of the phone: message, nothing changes.
    List()->SelectRow(0);
    Type(1012, QStringLiteral("Alicia"));
    const auto before = Rows();
    const std::string mirror = PhonebookSimTest::Rows(GetPBDatabaseName(1));
    sim->command("set sim-busy 30");
    screen->OnCommand(1025);
    sim->command("set sim-busy 0");
    ASSERT_FALSE(app.shown.empty());
    EXPECT_EQ(app.shown.back().text.trimmed().toStdString(), Text(31363));
    EXPECT_EQ(Rows(), before);
    EXPECT_EQ(PhonebookSimTest::Rows(GetPBDatabaseName(1)), mirror);

    // The same change accepted.
    screen->OnCommand(1025);
    EXPECT_NE(PhoneEntries("SM").find("\"Alicia\""), std::string::npos);

    // Delete Bob (confirmed).
    List()->DeselectAll();
    List()->SelectRow(List()->FindRowByLocation(2));
    AnswerNext<CDlgConfirm>(6);
    screen->OnBTrash();
    EXPECT_EQ(PhoneEntries("SM").find("Bob"), std::string::npos);
    EXPECT_EQ(List()->FindRowByLocation(2), -1);
}

// Clicks `button` and answers Yes to every question of the run as it comes;
// how many were asked.
static int ClickAnsweringYes(QWidget* button)
{
    int asked = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&asked] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<CDlgConfirm*>(w); d && d->isVisible()) {
                ++asked;
                d->EndDialog(6);
            }
    });
    answer.start(20);
    QTest::mouseClick(button, Qt::LeftButton);
    answer.stop();
    return asked;
}

// The phone refuses an erasure (the SIM busy between the storage's selection
// and the erasure, as a long run met it): the user is told, the entry stays
// in the list and on the phone, and a run of several stops at the refusal.
TEST_F(PhoneBookScreenTest, ADeletionThePhoneRefusesIsToldAndStopsTheRun)
{
    StartPhone();
    Open();
    screen->window()->show();
    QWidget* del = screen->GetDlgItem(1027);
    ASSERT_NE(del, nullptr);
    for (int selected : {1, 2}) {
        List()->DeselectAll();
        for (int location = 1; location <= selected; ++location)
            List()->SelectRow(List()->FindRowByLocation(location));
        ASSERT_EQ(List()->GetSelectedCount(), selected);
        ASSERT_TRUE(del->isEnabled());
        const auto rows = Rows();
        const std::string entries = PhoneEntries("SM");
        const QString refused =
            List()->GetRowText(List()->FindRowByLocation(1), screen->Pane()->IsLocationShown() ? 1 : 0);
        sim->command("set pb-write-error 14");
        app.shown.clear();
        const int asked = ClickAnsweringYes(del);
        sim->command("set pb-write-error 0");
        EXPECT_EQ(asked, 1) << selected << " selected: the run went on past the refusal";
        ASSERT_EQ(app.shown.size(), 1u) << selected << " selected";
        EXPECT_EQ(app.shown.back().text.trimmed().toStdString(), Text(31895, {refused}));
        EXPECT_EQ(Rows(), rows);
        EXPECT_EQ(PhoneEntries("SM"), entries);
    }
}

// The SIM cannot even be selected for the run (busy): nothing is asked or
// deleted, and the user is told which entry was not deleted and why, in the
// words of a failed SIM selection.
TEST_F(PhoneBookScreenTest, ADeletionWhoseStorageCannotBeSelectedNamesTheEntryAndTheCause)
{
    StartPhone();
    Open();
    screen->window()->show();
    QWidget* del = screen->GetDlgItem(1027);
    ASSERT_NE(del, nullptr);
    List()->DeselectAll();
    List()->SelectRow(List()->FindRowByLocation(2));
    List()->SelectRow(List()->FindRowByLocation(1));
    ASSERT_TRUE(del->isEnabled());
    const auto rows = Rows();
    const std::string entries = PhoneEntries("SM");
    const QString first =
        List()->GetRowText(List()->GetSelectedRows().front(), screen->Pane()->IsLocationShown() ? 1 : 0);
    ASSERT_FALSE(first.isEmpty());
    sim->command("set sim-busy 30");
    app.shown.clear();
    const int asked = ClickAnsweringYes(del);
    sim->command("set sim-busy 0");
    EXPECT_EQ(asked, 0);
    ASSERT_EQ(app.shown.size(), 1u);
    EXPECT_EQ(app.shown.back().text.trimmed().toStdString(),
              Text(31894, {first, QString::fromStdString(Text(31472))}));
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(PhoneEntries("SM"), entries);
}

TEST_F(PhoneBookScreenTest, FindSortAndDial)
{
    StartPhone("entry SM 4 \"0611\" 129 \"Bobby\"\n");
    Open();
    // Name and number must both match.
    EXPECT_TRUE(screen->FindInAllColumns(QStringLiteral("bob"), QStringLiteral("06"), false));
    EXPECT_EQ(screen->FoundRows().size(), 2);
    EXPECT_TRUE(screen->FindInAllColumns(QStringLiteral("bob"), QStringLiteral("0611"), true) == false);
    EXPECT_TRUE(screen->FindInAllColumns(QStringLiteral("bobby"), QStringLiteral("0611"), true));
    EXPECT_TRUE(screen->FindInColumn(0, QStringLiteral("b"), false));
    EXPECT_FALSE(screen->FindNextRow());
    EXPECT_EQ(screen->FieldText(1012), QStringLiteral("Bob"));
    EXPECT_FALSE(screen->FindNextRow());
    EXPECT_EQ(screen->FieldText(1012), QStringLiteral("Bobby"));
    EXPECT_TRUE(screen->FindNextRow());

    // Sorted by number ('+' sorts before the digits).
    auto* sort = qobject_cast<QComboBox*>(screen->GetDlgItem(1030));
    sort->setCurrentIndex(2);
    screen->OnSortChange();
    EXPECT_EQ(Rows().front(), "Alice|+33612345678|");
    EXPECT_EQ(Rows()[1], "Bobby|0611|");
    sort->setCurrentIndex(0);
    screen->OnSortChange();
    EXPECT_EQ(Rows().front(), "1|Alice|+33612345678");

    // Dial: one row selected; two rows only beep.
    app.shown.clear();
    List()->SelectRow(List()->FindRowByLocation(2));
    screen->OnCommand(32773);
    EXPECT_TRUE(app.shown.empty());
}

TEST_F(PhoneBookScreenTest, DroppedCardsOnASourceButtonBecomeEntries)
{
    StartPhone();
    Open();
    CVCard card;
    card.SetFormattedName("Dee");
    card.SetCellVoice("+33 7 00");
    QMimeData data;
    data.setData(QStringLiteral("text/vcard"), QByteArray::fromStdString(card.ToText()));
    QWidget* pc = screen->GetDlgItem(1001);
    const std::string pcPath = MakePCDatabase("defpb.mdb", {});
    EXPECT_EQ(screen->CanDropData(pc, &data), Qt::CopyAction);
    EXPECT_TRUE(screen->OnDropData(pc, &data));
    EXPECT_EQ(PhonebookSimTest::Rows(pcPath), "1 +33 7 00 Dee  H\n");
    // Nothing is accepted on the pane's own storage.
    EXPECT_EQ(screen->CanDropData(screen->GetDlgItem(1003), &data), Qt::IgnoreAction);
}

TEST_F(PhoneBookScreenTest, DraggedEntriesCarryFilesAndVCardText)
{
    StartPhone();
    Open();
    List()->SelectAll();
    QStringList files;
    QByteArray text;
    ASSERT_TRUE(screen->Pane()->BuildDragPayload(files, text));
    ASSERT_EQ(files.size(), 3);
    EXPECT_TRUE(QFile::exists(files[0]));
    EXPECT_EQ(SplitVCardText(text.toStdString()).size(), 3u);
    CVCard first;
    ASSERT_TRUE(first.ReadFromFile(files[0].toStdString()));
    EXPECT_EQ(first.GetFormattedName(), "Alice");
}

TEST_F(PhoneBookScreenTest, PrintsTheSelectedEntriesToPdf)
{
    StartPhone();
    Open();
    screen->pdf = std::make_unique<QPrinter>();
    const QString pdf = QString::fromStdString(host.folder + "entries.pdf");
    screen->pdf->setOutputFormat(QPrinter::PdfFormat);
    screen->pdf->setOutputFileName(pdf);
    List()->SelectAll();
    screen->OnPrint();
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.read(5).startsWith("%PDF"));
}

namespace {

// Counts the progress windows shown; in the first one, presses Cancel once
// the copy has handled events twice (a few hundred cards in).
class ProgressWatch : public QObject {
public:
    explicit ProgressWatch(bool cancel) : cancel_(cancel) { qApp->installEventFilter(this); }
    ~ProgressWatch() override { qApp->removeEventFilter(this); }
    int shown = 0;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Show && qobject_cast<CDlgProgress*>(o)) {
            auto* dlg = static_cast<CDlgProgress*>(o);
            // Cancel once the drop is under way: the bar has moved on.
            if (++shown == 1 && cancel_) {
                auto* poll = new QTimer(dlg);
                QObject::connect(poll, &QTimer::timeout, dlg, [dlg, poll] {
                    if (dlg->GetPos() == 0)
                        return;
                    poll->stop();
                    if (auto* cancel = dlg->findChild<QAbstractButton*>(QStringLiteral("id2")))
                        QTest::mouseClick(cancel, Qt::LeftButton);
                });
                poll->start(0);
            }
        }
        return false;
    }

private:
    bool cancel_;
};

QByteArray ManyCards(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i) {
        CVCard card;
        card.SetFamilyName("Card" + std::to_string(i));
        card.SetHomeVoice("+3310000" + std::to_string(i));
        text += QByteArray::fromStdString(card.ToText());
    }
    return text;
}

// Plays a drag of `data` over `w` and drops it, as the window system does.
bool PlayDrop(QWidget* w, QMimeData* data)
{
    const QPoint at(5, 5);
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &drop);
    return drop.isAccepted();
}

}  // namespace

TEST_F(PhoneBookScreenTest, ADropOfManyCardsRunsUnderOneProgressThatCancels)
{
    StartPhone();
    Open();
    const std::string pcPath = MakePCDatabase("defpb.mdb", {});
    QWidget* pc = screen->GetDlgItem(1001);
    {
        ProgressWatch watch(false);
        QMimeData data;
        data.setData(QStringLiteral("text/vcard"), ManyCards(300));
        ASSERT_TRUE(PlayDrop(pc, &data));
        EXPECT_EQ(watch.shown, 1);
    }
    const auto count = [&] {
        const std::string rows = PhonebookSimTest::Rows(pcPath);
        return static_cast<int>(std::count(rows.begin(), rows.end(), '\n'));
    };
    EXPECT_EQ(count(), 300);
    EXPECT_TRUE(app.shown.empty());

    // Cancel stops the drop after the card in hand; what was copied stays.
    {
        ProgressWatch watch(true);
        QMimeData data;
        data.setData(QStringLiteral("text/vcard"), ManyCards(1000));
        ASSERT_TRUE(PlayDrop(pc, &data));
        EXPECT_EQ(watch.shown, 1);
    }
    const int after = count();
    EXPECT_GT(after, 300);
    EXPECT_LT(after, 1300);
    EXPECT_TRUE(app.shown.empty());
}

// Escape in the screen's find dialog and in its deletion question, pressed
// where the focus is: the dialog goes as with Cancel, nothing is found or
// deleted, no window stays behind.
TEST_F(PhoneBookScreenTest, EscapeInTheFindAndDeleteDialogsEndsThemAsCancel)
{
    StartPhone();
    Open();
    screen->window()->show();
    List()->DeselectAll();
    List()->SelectRow(List()->FindRowByLocation(2));
    const auto rows = Rows();
    const std::string entries = PhoneEntries("SM");
    for (int button : {1032, 1027}) {
        QWidget* b = screen->GetDlgItem(button);
        ASSERT_NE(b, nullptr) << button;
        ASSERT_TRUE(b->isEnabled()) << button;
        const auto before = zorqtest::ShownWindows();
        auto escape = button == 1032 ? zorqtest::EscapeNextOf<CDlgFindPB>() : zorqtest::EscapeNextOf<CDlgConfirm>();
        QTest::mouseClick(b, Qt::LeftButton);
        EXPECT_TRUE(zorqtest::WaitForEscape(escape)) << button << ": no dialog came up";
        EXPECT_FALSE(escape->leftOpen) << button << ": Escape left the window up";
        EXPECT_EQ(zorqtest::WindowsLeftBeyond(before), 0) << button;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << button;
    }
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(PhoneEntries("SM"), entries);
    EXPECT_TRUE(screen->isEnabled());
}
