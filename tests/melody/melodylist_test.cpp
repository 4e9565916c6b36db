#include "melody_fixture.h"
#include "melodylist.h"

#include "diskfaults.h"

#include <gtest/gtest.h>

namespace {

using zorqtest::WriteFile;

// Counts the progress messages of a folder load.
class ProgressCounter : public QObject {
public:
    std::vector<long> counts;
    bool event(QEvent* e) override
    {
        if (e->type() == CWndMsgEvent::EventType()) {
            counts.push_back(static_cast<long>(static_cast<CWndMsgEvent*>(e)->lParam()));
            return true;
        }
        return QObject::event(e);
    }
};

class MelodyListTest : public zorqtest::MelodyFixture {
protected:
    void Put(const std::string& file, const std::string& name, const std::string& notes)
    {
        WriteFile(MelodyDir() + file, "NAME=" + name + "\r\nTEMPO=100\r\n" + notes);
    }
};

TEST_F(MelodyListTest, AFolderLoadsSortedAndSkipsBadFiles)
{
    Put("1.MDY", "beta", "A4 c100\r\n");
    Put("2.MDY", "Alpha", "B4 c100\r\n");
    Put("3.MDY", "gamma", "C4 c100\r\n");
    Put("4.MDY", "ALPHA", "D4 c100\r\n");           // same name: only the first read stays
    WriteFile(MelodyDir() + "5.MDY", "garbage\r\n");  // no melody
    Put("6.MDY", "Rest", "M c100\r\n");              // silences only
    WriteFile(MelodyDir() + "other.txt", "NAME=X\r\nA4\r\n");
    CMelodyList list;
    ProgressCounter progress;
    EXPECT_TRUE(list.LoadMelodyFolder(QString::fromStdString(MelodyDir()), "*.MDY", &progress));
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetMelodyAt(0)->GetMelodyName(), "Alpha");
    EXPECT_EQ(list.GetMelodyAt(1)->GetMelodyName(), "Beta");
    EXPECT_EQ(list.GetMelodyAt(2)->GetMelodyName(), "Gamma");
    EXPECT_EQ(list.GetMelodyAt(0)->GetFileName(), "2.MDY");
    EXPECT_EQ(progress.counts, (std::vector<long>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(list.GetMelodyAt(3), nullptr);

    CMelodyList empty;
    EXPECT_TRUE(empty.LoadMelodyFolder(QString::fromStdString(dir_.path() + "Work/"), "*.MDY", nullptr));
    EXPECT_EQ(empty.GetCount(), 0);
}

TEST_F(MelodyListTest, DamagedMelodyFilesAreNamedOnceAndLeftAsTheyAre)
{
    Put("good.MDY", "Good", "A4 c100\r\nB4 c100\r\n");
    const std::string good = zorqtest::ReadFile(MelodyDir() + "good.MDY");
    const auto damaged = zorqtest::WriteDamagedShapes(MelodyDir(), "bad", ".MDY", good);
    std::vector<std::string> before;
    for (const auto& d : damaged)
        before.push_back(zorqtest::ReadFile(d.path));
    CMelodyList list;
    EXPECT_TRUE(list.LoadMelodyFolder(QString::fromStdString(MelodyDir()), "*.MDY", nullptr));
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetMelodyAt(0)->GetMelodyName(), "Good");
    for (size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE(damaged[i].shape);
        int naming = 0;
        for (const QString& text : Shown())
            naming += text.contains(QString::fromStdString(damaged[i].path));
        // A folder is no melody file: it is not listed at all.
        if (damaged[i].shape == "folder")
            EXPECT_EQ(naming, 0);
        else
            EXPECT_GE(naming, 1) << "no message names the file";
        EXPECT_EQ(zorqtest::ReadFile(damaged[i].path), before[i]);
    }
    // The next look at the folder in this run does not repeat them.
    const size_t boxes = Shown().size();
    EXPECT_TRUE(list.LoadMelodyFolder(QString::fromStdString(MelodyDir()), "*.MDY", nullptr));
    EXPECT_LE(Shown().size() - boxes, 1u) << "only the open error of the link may come again";
}

TEST_F(MelodyListTest, IndexOfComparesNotesOnly)
{
    Put("1.MDY", "One", "A4 c100\r\nB4 c100\r\n");
    Put("2.MDY", "Two", "C4 c100\r\n");
    CMelodyList list;
    list.LoadMelodyFolder(QString::fromStdString(MelodyDir()), "*.MDY", nullptr);
    CMelody other;
    other.SetName("Else", false);
    other.SetTempo(300);
    ASSERT_TRUE(other.AnalyseNote("A4 c100 B4 c100"));
    EXPECT_EQ(list.IndexOf(&other, -1), 0);
    CMelody c;
    ASSERT_TRUE(c.AnalyseNote("C4 c100"));
    EXPECT_EQ(list.IndexOf(&c, -1), 1);
    CMelody none;
    ASSERT_TRUE(none.AnalyseNote("C4 c200"));
    EXPECT_EQ(list.IndexOf(&none, -1), -1);
    EXPECT_EQ(list.IndexOf(nullptr, -1), -1);
}

}  // namespace
