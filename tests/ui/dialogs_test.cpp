#include "confirm.h"
#include "dstchoice.h"
#include "filedlg.h"
#include "finddlg.h"

#include "ui_test_util.h"
#include "uitext.h"
#include "walkthrough.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <map>
#include <vector>

#include <gtest/gtest.h>

namespace {

// ---------------------------------------------------------------- destinations

struct DstTest : ::testing::Test {
    uitest::RecordingUi ui;
    QWidget owner;
    // The walk-through picture of the dialog: taken once, by the one test
    // that names it, so that every run shows the same choice.
    const char* shot_ = nullptr;

    // Opens the dialog, records the listed values and picks `pick` (-1: none).
    template <class Dlg>
    int Run(Dlg& dlg, int pick, std::vector<int>* listed = nullptr)
    {
        uitest::OnNextModal([&, pick](QWidget* w) {
            auto* combo = w->findChild<CIconComboBox*>("id1129");
            ASSERT_NE(combo, nullptr);
            if (listed)
                for (int i = 0; i < combo->count(); ++i)
                    listed->push_back(combo->ValueAt(i) * 10 + combo->KindAt(i));
            combo->setCurrentIndex(pick);
            if (shot_) {
                zorqtest::SaveScreen(w, QString::fromLatin1(shot_));
                shot_ = nullptr;
            }
            if (pick < 0)
                QTimer::singleShot(30, w, [w] { uitest::ClickId(w, IDCANCEL); });
            uitest::ClickId(w, IDOK);
        });
        return dlg.DoModal();
    }
};

TEST_F(DstTest, PhonebookDestinationsForEveryCombination)
{
    shot_ = "copy_destination_choice";
    for (int source = 0; source <= 3; ++source)
        for (int mask = 0; mask < 8; ++mask) {
            CDlgDstChoicePB dlg(source, &owner);
            dlg.SetDstSIMEnabled(mask & 1);
            dlg.SetDstSIMFDNEnabled(mask & 2);
            dlg.SetDstPhoneEnabled(mask & 4);
            std::vector<int> listed;
            std::vector<int> expected;
            for (int v = 4; v <= 7; ++v) {
                const bool offered = v == 4 || (v == 5 && (mask & 1)) || (v == 6 && (mask & 2)) || (v == 7 && (mask & 4));
                if (offered && v != source + 4)
                    expected.push_back(v * 10);
            }
            expected.push_back(4 * 10 + CDlgDstChoice::DST_EXISTING_PC_FILE);
            expected.push_back(4 * 10 + CDlgDstChoice::DST_NEW_PC_FILE);
            // The last store, or the first file entry when no store is left.
            const bool stores = expected.size() > 2;
            const int pick = stores ? static_cast<int>(expected.size()) - 3 : 0;
            ASSERT_EQ(Run(dlg, pick, &listed), IDOK);
            EXPECT_EQ(listed, expected) << source << " " << mask;
            EXPECT_EQ(dlg.GetDst(), expected[pick] / 10);
            EXPECT_EQ(dlg.GetChoice(), stores ? CDlgDstChoice::DST_STORE : CDlgDstChoice::DST_EXISTING_PC_FILE);
        }
}

TEST_F(DstTest, MessageDestinationsForEveryCombination)
{
    // Listed entries as value * 10 + kind: 3 PC, 4 SIM, 5 phone memory;
    // kind 1 and 2 are the existing and the new PC file.
    const struct {
        int source;
        bool sim, phone;
        std::vector<int> listed;
    } cases[] = {
        {0, false, false, {31, 32}},         {0, true, false, {40, 31, 32}},
        {0, false, true, {50, 31, 32}},      {0, true, true, {40, 50, 31, 32}},
        {1, false, false, {30, 31, 32}},     {1, true, false, {30, 31, 32}},
        {1, false, true, {30, 50, 31, 32}},  {1, true, true, {30, 50, 31, 32}},
        {2, false, false, {30, 31, 32}},     {2, true, false, {30, 40, 31, 32}},
        {2, false, true, {30, 31, 32}},      {2, true, true, {30, 40, 31, 32}},
    };
    for (const auto& c : cases)
        for (int pick = 0; pick < static_cast<int>(c.listed.size()); ++pick) {
            CDlgDstChoiceSMS dlg(c.source, &owner);
            dlg.SetDstSIMEnabled(c.sim);
            dlg.SetDstPhoneEnabled(c.phone);
            std::vector<int> listed;
            ASSERT_EQ(Run(dlg, pick, &listed), IDOK);
            const std::string where = "source " + std::to_string(c.source) + " sim " + std::to_string(c.sim) +
                                      " phone " + std::to_string(c.phone) + " pick " + std::to_string(pick);
            EXPECT_EQ(listed, c.listed) << where;
            EXPECT_EQ(dlg.GetDst(), c.listed[pick] / 10) << where;
            EXPECT_EQ(dlg.GetChoice(), c.listed[pick] % 10) << where;
        }
}

TEST_F(DstTest, TheTwoFileEntriesAnswerThePCWithTheirChoice)
{
    CDlgDstChoicePB pb(1, &owner);
    EXPECT_EQ(Run(pb, 1), IDOK);  // PC, existing file, new file
    EXPECT_EQ(pb.GetDst(), 4);
    EXPECT_EQ(pb.GetChoice(), CDlgDstChoice::DST_EXISTING_PC_FILE);
    EXPECT_EQ(Run(pb, 2), IDOK);
    EXPECT_EQ(pb.GetChoice(), CDlgDstChoice::DST_NEW_PC_FILE);

    CDlgDstChoiceSMS sms(0, &owner);
    sms.SetDstSIMEnabled(true);
    sms.SetDstPhoneEnabled(true);
    std::vector<int> listed;
    EXPECT_EQ(Run(sms, 3, &listed), IDOK);
    EXPECT_EQ(listed, (std::vector<int>{40, 50, 31, 32}));  // its own PC store left out
    EXPECT_EQ(sms.GetDst(), 3);
    EXPECT_EQ(sms.GetChoice(), CDlgDstChoice::DST_NEW_PC_FILE);
    CDlgDstChoiceSMS fromSim(1, &owner);
    fromSim.SetDstSIMEnabled(true);
    listed.clear();
    EXPECT_EQ(Run(fromSim, 0, &listed), IDOK);
    EXPECT_EQ(listed, (std::vector<int>{30, 31, 32}));
    EXPECT_EQ(fromSim.GetDst(), 3);
    EXPECT_EQ(fromSim.GetChoice(), CDlgDstChoice::DST_STORE);
}

TEST_F(DstTest, OkWithoutASelectionAsksAgain)
{
    CDlgDstChoicePB dlg(0, &owner);
    EXPECT_EQ(Run(dlg, -1), IDCANCEL);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, ui.LoadString(31800));
    CIconComboBox combo;
    EXPECT_EQ(combo.AddItem("", 4), -1);
    EXPECT_EQ(combo.count(), 0);
    CDstComboSMS sms;
    EXPECT_EQ(sms.GetIconName(2), "IDI_MENU_EPROM");
    EXPECT_EQ(sms.GetIconName(6), "");
    CDstComboPB pb;
    EXPECT_EQ(pb.GetIconName(6), "IDI_MENU_SIM_FDN");
}

struct Owner : CDstSelectedOwner {
    int calls = 0;
    void SetDstSelected() override { ++calls; }
};

TEST_F(DstTest, MirrorChoiceTellsTheOwnerOnlyWhenErasing)
{
    Owner screen;
    for (bool erase : {false, true}) {
        CDlgDstMirrorDatabase dlg(&screen, &owner);
        dlg.SetOwnerKind(2);
        dlg.SetPosition(10, 20);
        uitest::OnNextModal([&](QWidget* w) {
            EXPECT_TRUE(w->findChild<QRadioButton*>("id1123")->isChecked());
            if (!erase)
                zorqtest::SaveScreen(w, QStringLiteral("copy_mirror_choice"));
            if (erase)
                w->findChild<QRadioButton*>("id1122")->click();
            uitest::ClickId(w, IDOK);
        });
        EXPECT_EQ(dlg.DoModal(), IDOK);
        EXPECT_EQ(dlg.IsEraseFirst(), erase);
    }
    EXPECT_EQ(screen.calls, 1);
    CDlgDstMirrorDatabase cancelled(&screen, &owner);
    uitest::OnNextModal([&](QWidget* w) {
        w->findChild<QRadioButton*>("id1122")->click();
        uitest::ClickId(w, IDCANCEL);
    });
    EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
    EXPECT_EQ(screen.calls, 1);
}

// ---------------------------------------------------------------- find

struct PBScreen : CFindPBOwner {
    std::vector<QString> calls;
    bool hit = false;
    bool FindInColumn(int column, const QString& text, bool exact) override
    {
        calls.push_back(QStringLiteral("col%1:%2:%3").arg(column).arg(text).arg(exact));
        return hit;
    }
    bool FindInAllColumns(const QString& a, const QString& b, bool exact) override
    {
        calls.push_back(QStringLiteral("all:%1:%2:%3").arg(a, b).arg(exact));
        return hit;
    }
    void UnselectAll() override { calls.push_back("unselect"); }
    void FindNext() override { calls.push_back("next"); }
};

struct SMSScreen : CFindSMSOwner {
    std::vector<QString> calls;
    bool FindMsg(const QString& text, bool exact) override
    {
        calls.push_back(QStringLiteral("find:%1:%2").arg(text).arg(exact));
        return text == "hello";
    }
    void ClearFindSelection() override { calls.push_back("clear"); }
    void FindNext() override { calls.push_back("next"); }
};

TEST(FindDialogs, PhonebookSearchesTheFilledColumns)
{
    uitest::RecordingUi ui;
    QWidget owner;
    PBScreen screen;
    CDlgFindPB dlg(&screen, &owner);
    uitest::OnNextModal([&](QWidget* w) {
        auto* second = w->findChild<QLineEdit*>("id1034");
        auto* first = w->findChild<QLineEdit*>("id1032");
        EXPECT_EQ(dlg.MessageText(), ui.LoadString(31430));
        QTest::keyClicks(second, "0123");
        uitest::ClickId(w, IDOK);  // only the second field: column 1
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(dlg.MessageText(), ui.LoadString(31218));
        EXPECT_TRUE(dlg.MessageIsBold());
        QTest::keyClicks(first, "A");  // the first keystroke brings the hint back
        EXPECT_EQ(dlg.MessageText(), ui.LoadString(31430));
        EXPECT_FALSE(dlg.MessageIsBold());
        w->findChild<QCheckBox*>("id1033")->setChecked(true);
        uitest::ClickId(w, IDOK);  // both fields
        second->clear();
        screen.hit = true;
        uitest::ClickId(w, IDOK);  // only the first field: column 0, found
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(screen.calls, (std::vector<QString>{"col1:0123:0", "all:A:0123:1", "col0:A:1", "unselect", "next"}));
}

TEST(FindDialogs, MessagesNeverSearchAnEmptyText)
{
    uitest::RecordingUi ui;
    QWidget owner;
    SMSScreen screen;
    CDlgFindSMS dlg(&screen, &owner);
    dlg.SetFindText("Find in the received messages");
    dlg.SetPosition(182, 105);
    uitest::OnNextModal([&](QWidget* w) {
        EXPECT_EQ(w->findChild<QLabel*>("id1147")->text(), "Find in the received messages");
        uitest::ClickId(w, IDOK);
        EXPECT_TRUE(dlg.IsNotFoundShown());
        QTest::keyClicks(w->findChild<QLineEdit*>("id1034"), "hello");
        uitest::ClickId(w, IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(screen.calls, (std::vector<QString>{"find:hello:0", "clear", "next"}));
}

// ---------------------------------------------------------------- files

TEST(FileDialog, CaptionsFiltersAndTheSaveForm)
{
    uitest::RecordingUi ui;
    EXPECT_EQ(CQXFileDlg::NameFilters("Databases (*.mdb)|*.mdb|All files (*.*)|*.*||"),
              (QStringList{"Databases (*.mdb)", "All files (*.*)"}));
    // Patterns the description does not show are added to it.
    EXPECT_EQ(CQXFileDlg::NameFilters("Melodies|*.MDY;*.mdy|Other (*.txt)|*.*||"),
              (QStringList{"Melodies (*.MDY *.mdy)", "Other (*.txt) (*.*)"}));
    CQXFileDlg keep(true, ".mdb", "", 6, "", nullptr, -1);
    EXPECT_NE(keep.AcceptCaption(), ui.LoadString(31710));
    CQXFileDlg open(true, ".mdb", "", 6, "", nullptr, 31710);
    EXPECT_EQ(open.AcceptCaption(), ui.LoadString(31710));
    CQXFileDlg save(false, ".mdb", "", 6, "", nullptr, 31710);
    EXPECT_EQ(save.AcceptCaption(), ui.LoadString(31688));
    auto* name = save.findChild<QWidget*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    EXPECT_TRUE(name->isHidden());
}

TEST(FileDialog, DatabaseChoiceKeepsThePathWhenCancelled)
{
    uitest::RecordingUi ui;
    uitest::TempDir dir;
    QFile(dir.file("old.mdb")).open(QIODevice::WriteOnly);
    QString path = "unchanged";
    SetFileDlgRunner([](CQXFileDlg&) { return IDCANCEL; });
    EXPECT_EQ(UiOpenDatabaseDlg(31214, path, nullptr, dir.path()), IDCANCEL);
    EXPECT_EQ(path, "unchanged");

    // Choose: only an existing file is taken.
    SetFileDlgRunner([&](CQXFileDlg& d) {
        EXPECT_EQ(d.fileMode(), QFileDialog::ExistingFile);
        EXPECT_EQ(d.directory().absolutePath() + "/", dir.path());
        d.selectFile(dir.file("old.mdb"));
        return IDOK;
    });
    EXPECT_EQ(UiChooseDatabaseDlg(31862, path, nullptr, dir.path()), IDOK);
    EXPECT_EQ(path, dir.file("old.mdb"));
    // Open: a new name is welcome; an existing one is for the caller to
    // ask about (once), the dialog does not ask itself.
    SetFileDlgRunner([&](CQXFileDlg& d) {
        EXPECT_EQ(d.fileMode(), QFileDialog::AnyFile);
        EXPECT_EQ(d.acceptMode(), QFileDialog::AcceptSave);
        EXPECT_TRUE(d.testOption(QFileDialog::DontConfirmOverwrite));
        d.selectFile(dir.file("new.mdb"));
        return IDOK;
    });
    EXPECT_EQ(UiOpenDatabaseDlg(31214, path, nullptr, dir.path()), IDOK);
    EXPECT_EQ(path, dir.file("new.mdb"));
    SetFileDlgRunner(nullptr);
}

// The walk-through of the database chooser on a folder of realistic files:
// its list's columns (name, size, type, date) must show their headings and
// their rows whole.
TEST(FileDialog, TheFileListShowsItsColumnsWhole)
{
    uitest::RecordingUi ui;
    uitest::TempDir dir;
    for (const char* name : {"defsms.mdb", "Family and friends 2026.mdb", "Work messages.mdb"}) {
        QFile f(dir.file(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(123456, 'x'));
    }
    CQXFileDlg dlg(true, ".mdb", "", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_FILEMUSTEXIST,
                   UiLoadAppString(31448), nullptr, 31710);
    dlg.setWindowTitle(UiLoadAppString(31862));
    dlg.setDirectory(dir.path());
    dlg.setViewMode(QFileDialog::Detail);
    dlg.show();
    auto* files = dlg.findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(files, nullptr);
    for (int i = 0; i < 200 && (!files->model() || files->model()->rowCount(files->rootIndex()) < 3); ++i)
        QTest::qWait(20);
    ASSERT_EQ(files->model()->rowCount(files->rootIndex()), 3);
    QTest::qWait(50);  // the sizes and dates the model fills in after
    const QStringList cut = zorqtest::ClippedColumns(&dlg);
    EXPECT_TRUE(cut.isEmpty()) << cut.join("; ").toStdString();
    // The places beside the list show their names whole too.
    auto* places = dlg.findChild<QAbstractItemView*>(QStringLiteral("sidebar"));
    ASSERT_NE(places, nullptr);
    for (int r = 0; r < places->model()->rowCount(); ++r) {
        const QModelIndex i = places->model()->index(r, 0);
        EXPECT_LE(places->visualRect(i).left() + places->fontMetrics().horizontalAdvance(i.data().toString()) +
                      places->iconSize().width() + 8,
                  places->viewport()->width())
            << i.data().toString().toStdString();
    }
    EXPECT_FALSE(zorqtest::SaveScreen(&dlg, QStringLiteral("file_dialog")).isEmpty());
}

class CodeDialog : public CDialog {
public:
    CodeDialog() : CDialog(167) {}
    QString code;
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Text(pDX, 1032, code);
        DDV_MinChars(pDX, code, 4);
    }
};

TEST(FileDialog, MinimumLengthFailsOnlyWhenSaving)
{
    uitest::RecordingUi ui;
    CodeDialog dlg;
    dlg.code = "12";
    EXPECT_TRUE(dlg.UpdateData(false));  // loading the fields checks nothing
    EXPECT_TRUE(ui.boxes.empty());
    auto* edit = qobject_cast<QLineEdit*>(dlg.GetDlgItem(1032));
    ASSERT_NE(edit, nullptr);
    edit->setText("123");
    EXPECT_FALSE(dlg.UpdateData(true));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_TRUE(ui.boxes[0].text.contains("4"));
    EXPECT_EQ(edit->selectedText(), "123");
    edit->setText("1234");
    EXPECT_TRUE(dlg.UpdateData(true));
    EXPECT_EQ(ui.boxes.size(), 1u);
}


// ---------------------------------------------------------------- answer pictures

// An icon's smallest picture as it is kept, in one image format.
QImage SmallestPicture(const QIcon& icon)
{
    const QList<QSize> sizes = icon.availableSizes();
    if (icon.isNull() || sizes.isEmpty())
        return icon.isNull() ? QImage() : icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    const QSize smallest =
        *std::min_element(sizes.begin(), sizes.end(), [](QSize a, QSize b) { return a.width() < b.width(); });
    return icon.pixmap(smallest).toImage().convertToFormat(QImage::Format_ARGB32);
}

// The pictures each answer button of `w` carries, by answer; a button
// with no picture is left out.
std::map<int, QImage> AnswerPictures(QWidget* w)
{
    std::map<int, QImage> found;
    for (int id : {IDOK, IDCANCEL, IDYES, IDNO})
        if (auto* b = w->findChild<QPushButton*>(QStringLiteral("id%1").arg(id)); b && !b->icon().isNull())
            found[id] = SmallestPicture(b->icon());
    return found;
}

// The deletion question, the melody's question, the destination choice and
// the copy's choice, opened as the screens open them: each button that gives
// a box's answer carries the picture that answer has in every message box
// (OK, Cancel, Yes, No), and each dialog's buttons are told apart by them.
// A button that ends its dialog through OK's id but does something else
// (the search's "Find") carries none.
TEST(AnswerPictures, TheQuestionsButtonsCarryTheMessageBoxesPictures)
{
    uitest::RecordingUi ui;
    QWidget owner;
    std::map<int, QImage> boxes;  // what the message boxes show for each answer
    for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
        boxes[id] = SmallestPicture(DialogButtonPicture(id, owner.style()));
        ASSERT_FALSE(boxes[id].isNull()) << id;
    }
    ASSERT_NE(boxes[IDYES], boxes[IDNO]);
    ASSERT_NE(boxes[IDOK], boxes[IDCANCEL]);
    auto expectPictured = [&](QWidget* w, std::vector<int> ids, int close) {
        const std::map<int, QImage> seen = AnswerPictures(w);
        EXPECT_EQ(seen.size(), ids.size()) << w->windowTitle().toStdString();
        for (int id : ids) {
            auto it = seen.find(id);
            ASSERT_NE(it, seen.end()) << w->windowTitle().toStdString() << ": no picture on " << id;
            EXPECT_EQ(it->second, boxes[id]) << w->windowTitle().toStdString() << ": " << id;
        }
        uitest::ClickId(w, close);
    };

    CDlgConfirm confirm(&owner);
    confirm.SetKind(CONFIRM_PB_ENTRY);
    confirm.SetItemName(QStringLiteral("Anna"));
    uitest::OnNextModal([&](QWidget* w) { expectPictured(w, {IDYES, IDNO}, IDNO); });
    EXPECT_EQ(confirm.DoModal(), IDNO);

    CDlgConfirmMelody melody(&owner);
    melody.SetText(QStringLiteral("Replace the melody Spring?"));
    uitest::OnNextModal([&](QWidget* w) { expectPictured(w, {IDYES, IDNO}, IDYES); });
    EXPECT_EQ(melody.DoModal(), IDYES);

    CDlgDstChoicePB destination(0, &owner);
    uitest::OnNextModal([&](QWidget* w) { expectPictured(w, {IDOK, IDCANCEL}, IDCANCEL); });
    EXPECT_EQ(destination.DoModal(), IDCANCEL);

    Owner screen;
    CDlgDstMirrorDatabase copy(&screen, &owner);
    copy.SetOwnerKind(1);
    uitest::OnNextModal([&](QWidget* w) { expectPictured(w, {IDOK, IDCANCEL}, IDCANCEL); });
    EXPECT_EQ(copy.DoModal(), IDCANCEL);

    PBScreen book;
    CDlgFindPB find(&book, &owner);
    uitest::OnNextModal([&](QWidget* w) { expectPictured(w, {IDCANCEL}, IDCANCEL); });
    EXPECT_EQ(find.DoModal(), IDCANCEL);
}

}  // namespace
