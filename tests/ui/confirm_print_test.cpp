#include "confirm.h"
#include "print.h"

#include "ui_test_util.h"
#include "walkthrough.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPrinter>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

struct ConfirmTest : ::testing::Test {
    uitest::RecordingUi ui;
    QWidget owner;
};

TEST_F(ConfirmTest, AnswersOverASequenceOfItems)
{
    CDlgConfirm dlg(&owner);
    dlg.SetKind(CONFIRM_PB_ENTRY);
    struct Step { const char* name; int button; int expected; };
    const Step steps[] = {{"Anna", IDYES, 6}, {"Bert", IDNO, 7}, {"Carl", 0, 2}, {"Dora", IDYESTOALL, 1078}};
    QStringList shown;
    for (const Step& s : steps) {
        dlg.SetItemName(s.name);
        uitest::OnNextModal([&](QWidget* w) {
            shown << w->findChild<QLabel*>("id1083")->text();
            if (shown.size() == 1)
                zorqtest::SaveScreen(w, QStringLiteral("confirm_delete"));
            if (s.button)
                uitest::ClickId(w, s.button);
            else
                QTest::keyClick(w, Qt::Key_Escape);
        });
        EXPECT_EQ(dlg.DoModal(), s.expected) << s.name;
    }
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown[0], ui.FormatString(31314, {"Anna"}));
    EXPECT_TRUE(shown[3].contains("Dora"));
}

TEST_F(ConfirmTest, MessagesByKindAndTheDisabledYesToAll)
{
    CDlgConfirm dlg(&owner);
    dlg.SetItemName("x");
    EXPECT_EQ(dlg.Message(), ui.FormatString(31744, {"x"}));  // kind never set
    for (int kind : {4, 5, 99})
        EXPECT_EQ(CDlgConfirm::MessageIdOfKind(kind), 31744);
    EXPECT_EQ(CDlgConfirm::MessageIdOfKind(2), 31315);
    EXPECT_EQ(CDlgConfirm::MessageIdOfKind(3), 31748);
    EXPECT_EQ(CDlgConfirm::MessageIdOfKind(6), 31718);

    dlg.DisableAllButton();
    bool clicked = true;
    uitest::OnNextModal([&](QWidget* w) {
        clicked = uitest::ClickId(w, IDYESTOALL);
        // Even a forced command cannot end the dialog with Yes to all.
        static_cast<CDlgConfirm*>(w)->OnCommand(IDYESTOALL);
        QTimer::singleShot(50, w, [w] { uitest::ClickId(w, IDNO); });
    });
    EXPECT_EQ(dlg.DoModal(), IDNO);
    EXPECT_FALSE(clicked);
}

TEST_F(ConfirmTest, TheMelodyTwinShowsTheCallersTextAndCaption)
{
    CDlgConfirmMelody dlg(&owner);
    dlg.SetText("Overwrite Waltz?");
    dlg.SetTitle("Melody");
    uitest::OnNextModal([&](QWidget* w) {
        EXPECT_EQ(w->findChild<QLabel*>("id1083")->text(), "Overwrite Waltz?");
        EXPECT_EQ(w->windowTitle(), "Melody");
        uitest::ClickId(w, IDYES);
    });
    EXPECT_EQ(dlg.DoModal(), IDYES);
}

// ---------------------------------------------------------------- printing

int PdfPages(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray pdf = f.readAll();
    return static_cast<int>(QString::fromLatin1(pdf).count(QRegularExpression("/Type\\s*/Page[^s]")));
}

struct PrintTest : ::testing::Test {
    uitest::RecordingUi ui;
    uitest::TempDir dir;
    QWidget window;
    QPrinter printer{QPrinter::HighResolution};
    void SetUp() override
    {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.file("report.pdf"));
        printer.setPageSize(QPageSize(QPageSize::A6));
    }
};

TEST(PrintSplit, AtLeastOneCharacterALineAndBreaksAtBlanks)
{
    auto chars = [](const QString& s) { return static_cast<int>(s.size()) * 10; };
    EXPECT_EQ(PrintSplitLine("alpha beta gamma", 90, chars), (QStringList{"alpha", "beta", "gamma"}));
    EXPECT_EQ(PrintSplitLine("abcdefghijkl", 50, chars), (QStringList{"abcde", "fghij", "kl"}));
    // Narrower than one character: one character a line, and it ends.
    EXPECT_EQ(PrintSplitLine("abc", 3, chars), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(PrintSplitLine("", 3, chars), QStringList{""});
}

TEST_F(PrintTest, ThreeItemsGiveTheExpectedPagesAndLines)
{
    window.show();
    ASSERT_TRUE(PrintBeginOn(&printer, "Phonebook", &window, 1));
    EXPECT_FALSE(window.isEnabled());
    // The heading: 3 + 1 + 1 + 2, and one more line on this narrow page,
    // where the date and page leave the title no room beside them.
    const int heading = PrintCurrentLine();
    ASSERT_EQ(PrintHeadingTitleBoxes().size(), 1);
    EXPECT_EQ(heading, PrintHeadingTitleBoxes().first().top() > PrintHeadingStampBox().top() ? 8 : 7);
    EXPECT_EQ(PrintCountLines(""), 0);
    EXPECT_EQ(PrintCountLines("short"), 1);
    const int perPage = PrintLinesPerPage();
    ASSERT_GT(perPage, 12);

    // Each item takes its text's lines and a spaced separator (4 lines); a
    // third item that no longer fits goes to a second page.
    const int room = perPage - heading - 4;
    const int firstLines = room / 2 - 4;
    QStringList text;
    for (int i = 0; i < firstLines; ++i)
        text << QStringLiteral("line %1").arg(i);
    const QString item = text.join("\r\n");
    int pages = 1;
    for (int i = 0; i < 3; ++i) {
        const int lines = PrintCountLines(item);
        EXPECT_EQ(lines, firstLines);
        if (PrintIsPageFull(lines)) {
            ASSERT_TRUE(PrintNewPage());
            ++pages;
        }
        const int before = PrintCurrentLine();
        PrintText("Name", item);
        PrintSeparatorSpaced();
        EXPECT_EQ(PrintCurrentLine(), before + lines + 4);
    }
    EXPECT_EQ(pages, 2);
    EXPECT_EQ(PrintPageNumber(), 2);
    EXPECT_EQ(PrintCurrentLine(), heading + firstLines + 4);
    PrintEnd(true);
    EXPECT_TRUE(window.isEnabled());
    EXPECT_FALSE(PrintIsBusy());
    EXPECT_EQ(PdfPages(dir.file("report.pdf")), 2);
}

TEST_F(PrintTest, ALongTitleGoesOnOverLinesOfItsOwnClearOfTheDateAndPage)
{
    // A database name as long as the A6 page is wide, on every page.
    const QString title = QStringLiteral("Messages of the family and of all our friends abroad, 2025 and 2026");
    ASSERT_TRUE(PrintBeginOn(&printer, title, nullptr, 0));
    // A failed check leaves the job ended, not painting on a printer gone.
    struct EndJob {
        ~EndJob()
        {
            if (PrintIsBusy())
                PrintEnd(false);
        }
    } endJob;
    for (int page = 1; page <= 2; ++page) {
        const QList<QRect> lines = PrintHeadingTitleBoxes();
        const QRect stamp = PrintHeadingStampBox();
        ASSERT_GT(lines.size(), 1) << "the title is longer than a line";
        ASSERT_FALSE(stamp.isEmpty());
        for (const QRect& line : lines) {
            EXPECT_FALSE(line.intersects(stamp)) << "page " << page;
            EXPECT_LE(line.right(), printer.width());
        }
        // The rule and the first entry come under the title's last line.
        EXPECT_GT(PrintCurrentLine() * (stamp.height()), lines.last().bottom()) << "page " << page;
        if (page == 1) {
            ASSERT_TRUE(PrintNewPage());
        }
    }
    PrintEnd(true);
    // On a wide page: a short title keeps its place beside the date and the
    // heading its seven lines; a long one wraps beside them.
    printer.setPageSize(QPageSize(QPageSize::A4));
    ASSERT_TRUE(PrintBeginOn(&printer, "Phonebook", nullptr, 0));
    EXPECT_EQ(PrintHeadingTitleBoxes().size(), 1);
    EXPECT_EQ(PrintHeadingTitleBoxes().first().top(), PrintHeadingStampBox().top());
    EXPECT_EQ(PrintCurrentLine(), 7);
    PrintEnd(true);
    ASSERT_TRUE(PrintBeginOn(&printer, title + QStringLiteral(", and the year before"), nullptr, 0));
    ASSERT_GT(PrintHeadingTitleBoxes().size(), 1);
    EXPECT_EQ(PrintHeadingTitleBoxes().first().top(), PrintHeadingStampBox().top());
    for (const QRect& line : PrintHeadingTitleBoxes())
        EXPECT_FALSE(line.intersects(PrintHeadingStampBox()));
    PrintEnd(true);
}

TEST_F(PrintTest, AWordWiderThanThePageStillEnds)
{
    printer.setResolution(20);  // a very coarse device: few characters fit a line
    ASSERT_TRUE(PrintBeginOn(&printer, "Messages", nullptr, 0));
    const QString word(400, 'W');
    const int before = PrintCurrentLine();
    const int lines = PrintCountLines(word);
    EXPECT_GT(lines, 1);
    PrintWrapped(word);
    // Its pieces go on over the next page when this one is full.
    if (before + lines <= PrintLinesPerPage()) {
        EXPECT_EQ(PrintCurrentLine(), before + lines);
    } else {
        EXPECT_GT(PrintPageNumber(), 1);
    }
    PrintEnd(true);
}

TEST_F(PrintTest, ASecondJobDuringAJobIsRefused)
{
    ASSERT_TRUE(PrintBeginOn(&printer, "First", nullptr, 0));
    // A handler that runs while pages are produced asks for another job.
    bool second = true;
    QTimer::singleShot(0, [&] {
        QPrinter other(QPrinter::HighResolution);
        other.setOutputFormat(QPrinter::PdfFormat);
        other.setOutputFileName(dir.file("second.pdf"));
        second = PrintBeginOn(&other, "Second", nullptr, 0);
    });
    ASSERT_TRUE(PrintNewPage());  // handles pending events between pages
    EXPECT_FALSE(second);
    EXPECT_EQ(PrintPageNumber(), 2);
    EXPECT_FALSE(PrintBegin("Third", nullptr));
    PrintEnd(false);
    EXPECT_FALSE(PrintIsBusy());
}

TEST_F(PrintTest, BulletsSeparatorsAndThePageWindow)
{
    ASSERT_TRUE(PrintBeginOn(&printer, "Report", nullptr, 0));
    const int l0 = PrintCurrentLine();
    PrintBullet("Item");
    EXPECT_EQ(PrintCurrentLine(), l0 + 1);
    PrintSeparator();
    EXPECT_EQ(PrintCurrentLine(), l0 + 3);
    PrintText("Empty", "");
    EXPECT_EQ(PrintCurrentLine(), l0 + 3);
    PrintNewPage();
    CDlgPrinting* shown = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* p = qobject_cast<CDlgPrinting*>(w); p && p->isVisible())
            shown = p;
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->PageText(), ui.FormatString(31417, {"2"}));
    PrintEnd(true);
}

}  // namespace
