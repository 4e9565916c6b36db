// Every change the phonebook screen makes in the phone, with the phone's
// answer lost or cut half-way: the phone carried it out all the same. The
// user is told that the phone did not answer and what it holds when asked
// again, never that the entry could not be written; the list shows what the
// phone holds; and a run goes on past the silent change without writing
// over the place the phone filled.
#include "screen_fixture.h"

#include "confirm.h"
#include "dstchoice.h"
#include "uiwidgets.h"
#include "user_actions.h"

#include <QAbstractButton>
#include <QMimeData>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <map>

namespace {

using pbtest::PCBookTest;
using pbtest::QuestionAnswerer;

constexpr int kName = 1012, kNumber = 1013, kOk = 1025, kDelete = 1027, kCopyTo = 1131;

enum class Kind {
    CopyToSIM,
    CopyToPhoneMemory,
    ReplacingCopyErase,
    CardDrop,
    FormNew,
    FormEdit,
    LocationMove,
    DeletionRun,
};

struct Case {
    const char* name;
    Kind kind;
    const char* fault;  // the simulator's fault command
};

std::ostream& operator<<(std::ostream& out, const Case& c) { return out << c.name; }

// A card of another program with one mobile number.
QByteArray Card(const char* name, const char* number)
{
    return QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN:") + name + "\r\nFN:" + name + "\r\nTEL;CELL:" + number +
           "\r\nEND:VCARD\r\n";
}

class SilentPhonebookChange : public PCBookTest, public ::testing::WithParamInterface<Case> {
protected:
    void SetUp() override
    {
        PCBookTest::SetUp();
        // Sorted by location: the list shows the places and takes edits.
        WriteIniProfileInt("PhoneBook", "ComboSort", 0);
    }

    // The entries of a phone book as "location|name|number", in order.
    std::vector<std::string> BookOnPhone(const std::string& book)
    {
        static const QRegularExpression line(QStringLiteral("^(\\d+) \"([^\"]*)\" \\d+ \"([^\"]*)\"$"));
        std::vector<std::string> out;
        for (const std::string& l : Lines(PhoneEntries(book))) {
            const QRegularExpressionMatch m = line.match(QString::fromStdString(l));
            if (m.hasMatch())
                out.push_back((m.captured(1) + "|" + m.captured(3) + "|" + m.captured(2)).toStdString());
            else
                EXPECT_TRUE(l.empty()) << "unread entry line: " << l;
        }
        return Sorted(out);
    }
    // The name the phone holds at `location` of `book` (empty: none).
    std::string PhoneNameAt(const std::string& book, int location)
    {
        const std::string head = std::to_string(location) + "|";
        for (const std::string& e : BookOnPhone(book))
            if (e.rfind(head, 0) == 0)
                return e.substr(head.size(), e.find('|', head.size()) - head.size());
        return std::string();
    }
    // The screen's list as "location|name|number", in order.
    std::vector<std::string> Listed()
    {
        EXPECT_TRUE(screen->Pane()->IsLocationShown());
        return Sorted(Rows());
    }
    static std::vector<std::string> Sorted(std::vector<std::string> v)
    {
        std::sort(v.begin(), v.end(), [](const std::string& a, const std::string& b) {
            return std::stoi(a) < std::stoi(b);
        });
        return v;
    }
    // The list of the phone book behind `button`, shown by a click.
    std::vector<std::string> ListOf(QWidget* button)
    {
        QTest::mouseClick(button, Qt::LeftButton);
        QCoreApplication::processEvents();
        return Listed();
    }

    // The copy button, the destination chosen in its dialog, OK; the
    // question whether to replace what the destination holds answered.
    void CopyTo(int destination, bool replace)
    {
        DriveModal<CDlgDstChoicePB>({[destination](CDlgDstChoicePB* d) {
            auto* combo = d->findChild<CIconComboBox*>();
            ASSERT_NE(combo, nullptr);
            combo->setCurrentIndex(combo->findData(destination));
            QTest::mouseClick(d->GetDlgItem(1), Qt::LeftButton);
        }});
        modal.OnModal<CDlgDstMirrorDatabase>([replace](CDlgDstMirrorDatabase* d) {
            if (auto* b = qobject_cast<QAbstractButton*>(d->GetDlgItem(replace ? 1122 : 1123)))
                b->setChecked(true);
            d->OnOK();
        });
        ClickButton(kCopyTo);
    }

    // A drag of `data` entering `target` and dropped there.
    static bool Drop(QWidget* target, const QMimeData* data)
    {
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        return drop.isAccepted();
    }

    // The location of `row` typed over in the list, as a person does: F2,
    // the new location, Enter; the move runs once the edit has ended.
    void TypeLocation(int row, const QString& location)
    {
        ClickRow(row);
        QTest::keyClick(List(), Qt::Key_F2);
        auto* edit = List()->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr) << "no edit opened";
        edit->selectAll();
        QTest::keyClicks(edit, location);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    void Fault(const std::string& command) { ASSERT_EQ(sim->command(command), "ok"); }
    std::string Fault(int nth) { return std::string(GetParam().fault) + " +CPBW= " + std::to_string(nth); }
};

TEST_P(SilentPhonebookChange, IsToldUnansweredAndTheListShowsWhatThePhoneHolds)
{
    const Case& c = GetParam();
    const std::vector<PBEntry> three{Entry("Anna", "0601"), Entry("Berta", "0602"), Entry("Clara", "0603")};
    std::vector<std::string> boxes;
    std::string book = "SM";
    QWidget* bookButton = nullptr;  // the button that shows the book
    int silentPlace = 0;            // where the silent change went

    switch (c.kind) {
    case Kind::CopyToSIM:
    case Kind::CopyToPhoneMemory: {
        const bool sim = c.kind == Kind::CopyToSIM;
        book = sim ? "SM" : "ME";
        StartPhone("clear-phonebook " + book + "\n");
        Open();
        screen->window()->show();
        EXPECT_FALSE(ClickPCWithBook(MakePCDatabase("copy.mdb", three)));
        ASSERT_EQ(List()->GetRowCount(), 3);
        List()->SelectAll();
        QCoreApplication::processEvents();
        // The second entry's answer goes missing; the third follows it.
        Fault(Fault(2));
        app.shown.clear();
        CopyTo(sim ? 5 : 7, false);
        boxes = Boxes();
        bookButton = sim ? screen->Pane()->GetSIMButton() : screen->Pane()->GetPhoneButton();
        silentPlace = 2;
        EXPECT_EQ(BookOnPhone(book), (std::vector<std::string>{"1|Anna|0601", "2|Berta|0602", "3|Clara|0603"}));
        break;
    }
    case Kind::ReplacingCopyErase: {
        StartPhone("clear-phonebook SM\nentry SM 5 0605 129 Olga\n");
        Open();
        screen->window()->show();
        ASSERT_EQ(List()->GetRowCount(), 1);
        EXPECT_FALSE(ClickPCWithBook(MakePCDatabase("copy.mdb", {three[0], three[1]})));
        ASSERT_EQ(List()->GetRowCount(), 2);
        List()->SelectAll();
        QCoreApplication::processEvents();
        // The erase of Olga goes unanswered; the copy writes after it.
        Fault(Fault(1));
        app.shown.clear();
        CopyTo(5, true);
        boxes = Boxes();
        bookButton = screen->Pane()->GetSIMButton();
        EXPECT_EQ(BookOnPhone("SM"), (std::vector<std::string>{"1|Anna|0601", "2|Berta|0602"}));
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes.front(), Text(31928, {"Olga"}));
        break;
    }
    case Kind::CardDrop: {
        StartPhone("clear-phonebook SM\n");
        Open();
        screen->window()->show();
        EXPECT_FALSE(ClickPCWithBook(MakePCDatabase("copy.mdb", {Entry("Pia", "0609")})));
        QMimeData cards;
        cards.setData("text/vcard", Card("Anna", "0601") + Card("Berta", "0602") + Card("Clara", "0603"));
        Fault(Fault(2));
        app.shown.clear();
        EXPECT_TRUE(Drop(screen->Pane()->GetSIMButton(), &cards));
        boxes = Boxes();
        bookButton = screen->Pane()->GetSIMButton();
        silentPlace = 2;
        const std::vector<std::string> held = BookOnPhone("SM");
        ASSERT_EQ(held.size(), 3u) << PhoneEntries("SM");
        for (const char* name : {"1|Anna", "2|Berta", "3|Clara"})
            EXPECT_NE(PhoneEntries("SM").find(std::string(name).substr(2)), std::string::npos) << name;
        for (size_t i = 0; i < held.size(); ++i)
            EXPECT_EQ(held[i].substr(0, 2), std::to_string(i + 1) + "|") << "each card in a place of its own";
        break;
    }
    case Kind::FormNew:
    case Kind::FormEdit: {
        StartPhone();
        Open();
        screen->window()->show();
        ASSERT_TRUE(screen->Pane()->IsSrcSIM());
        if (c.kind == Kind::FormNew) {
            QTest::mouseClick(screen->Pane()->GetFourthButton(), Qt::LeftButton);
            ASSERT_TRUE(screen->IsAddMode());
            Type(kName, QStringLiteral("Dora"));
            Type(kNumber, QStringLiteral("0604"));
            silentPlace = 3;  // the first free place of the SIM
        } else {
            ClickRow(List()->FindRowByLocation(2));
            ASSERT_EQ(screen->FieldText(kName), QStringLiteral("Bob"));
            Type(kName, QStringLiteral("Bobby"));
            silentPlace = 2;
        }
        Fault(Fault(1));
        app.shown.clear();
        ClickButton(kOk);
        boxes = Boxes();
        EXPECT_FALSE(screen->IsAddMode()) << "the form stayed open over an entry the phone holds";
        EXPECT_EQ(PhoneNameAt("SM", silentPlace), c.kind == Kind::FormNew ? "Dora" : "Bobby");
        // The next new entry does not go where the silent one went.
        QTest::mouseClick(screen->Pane()->GetFourthButton(), Qt::LeftButton);
        ASSERT_TRUE(screen->IsAddMode());
        Type(kName, QStringLiteral("Emma"));
        Type(kNumber, QStringLiteral("0605"));
        app.shown.clear();
        ClickButton(kOk);
        EXPECT_TRUE(Boxes().empty());
        EXPECT_EQ(PhoneNameAt("SM", silentPlace), c.kind == Kind::FormNew ? "Dora" : "Bobby")
            << "written over";
        EXPECT_NE(PhoneEntries("SM").find("\"Emma\""), std::string::npos) << PhoneEntries("SM");
        bookButton = screen->Pane()->GetSIMButton();
        break;
    }
    case Kind::LocationMove: {
        StartPhone();
        Open();
        screen->window()->show();
        ASSERT_TRUE(screen->Pane()->IsSrcSIM());
        // The write at 7 goes unanswered; the erase of 2 follows it.
        Fault(Fault(1));
        app.shown.clear();
        TypeLocation(List()->FindRowByLocation(2), QStringLiteral("7"));
        ASSERT_TRUE(QTest::qWaitFor([this] { return !app.shown.empty(); }, 60000)) << "nothing was told";
        boxes = Boxes();
        silentPlace = 7;
        EXPECT_EQ(PhoneNameAt("SM", 7), "Bob");
        EXPECT_EQ(PhoneNameAt("SM", 2), "") << "the move stopped at the silence";
        bookButton = screen->Pane()->GetSIMButton();
        break;
    }
    case Kind::DeletionRun: {
        StartPhone();
        Open();
        screen->window()->show();
        ASSERT_TRUE(screen->Pane()->IsSrcSIM());
        zorqtest::ClickRows(List(), {List()->FindRowByLocation(1), List()->FindRowByLocation(2)});
        ASSERT_EQ(List()->GetSelectedCount(), 2);
        Fault(Fault(1));
        QuestionAnswerer answers([](int) { return IDYESTOALL; });
        app.shown.clear();
        ClickButton(kDelete);
        boxes = Boxes();
        // The run stops at the silence, whatever the phone says when asked.
        EXPECT_EQ(PhoneNameAt("SM", 1), "");
        EXPECT_EQ(PhoneNameAt("SM", 2), "Bob");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes.front(), Text(31920, {"Alice"}));
        bookButton = screen->Pane()->GetSIMButton();
        break;
    }
    }

    if (silentPlace > 0) {
        const std::string held = PhoneNameAt(book, silentPlace);
        ASSERT_FALSE(held.empty()) << "the phone did not carry the change out";
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes.front(), Text(31924, {QString::fromStdString(held)}));
    }
    for (const std::string& box : boxes) {
        EXPECT_EQ(box.find("could not"), std::string::npos) << box;
        EXPECT_EQ(box.find("refused"), std::string::npos) << box;
    }
    EXPECT_EQ(gv_SPIO_com_status, SPIO_com_available) << "the program no longer reaches the phone";
    EXPECT_EQ(modal.Unexpected(), 0);
    // The list is what the phone holds, as it stands and shown anew from
    // the mirror after another book.
    ASSERT_NE(bookButton, nullptr);
    const bool simBook = bookButton == screen->Pane()->GetSIMButton();
    if (simBook && screen->Pane()->IsSrcSIM()) {
        EXPECT_EQ(Listed(), BookOnPhone(book));
    }
    ListOf(simBook ? screen->Pane()->GetPhoneButton() : screen->Pane()->GetSIMButton());
    EXPECT_EQ(ListOf(bookButton), BookOnPhone(book));
}

const Case kCases[] = {
    {"CopyToSIMLost", Kind::CopyToSIM, "fault drop"},
    {"CopyToSIMCut", Kind::CopyToSIM, "fault cut"},
    {"CopyToPhoneMemoryLost", Kind::CopyToPhoneMemory, "fault drop"},
    {"CopyToPhoneMemoryCut", Kind::CopyToPhoneMemory, "fault cut"},
    {"ReplacingCopyEraseLost", Kind::ReplacingCopyErase, "fault drop"},
    {"ReplacingCopyEraseCut", Kind::ReplacingCopyErase, "fault cut"},
    {"CardDropLost", Kind::CardDrop, "fault drop"},
    {"CardDropCut", Kind::CardDrop, "fault cut"},
    {"FormNewLost", Kind::FormNew, "fault drop"},
    {"FormNewCut", Kind::FormNew, "fault cut"},
    {"FormEditLost", Kind::FormEdit, "fault drop"},
    {"FormEditCut", Kind::FormEdit, "fault cut"},
    {"LocationMoveLost", Kind::LocationMove, "fault drop"},
    {"LocationMoveCut", Kind::LocationMove, "fault cut"},
    {"DeletionRunLost", Kind::DeletionRun, "fault drop"},
    {"DeletionRunCut", Kind::DeletionRun, "fault cut"},
};

INSTANTIATE_TEST_SUITE_P(Rows, SilentPhonebookChange, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
