#include "melody.h"
#include "melody_fixture.h"

#include "diskfaults.h"
#include "melodypaths.h"
#include "strutil.h"

#include <QElapsedTimer>
#include <QTest>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace {

using zorqtest::DoneCounter;
using zorqtest::ReadFile;
using zorqtest::WriteFile;

class MelodyTest : public zorqtest::MelodyFixture {
protected:
    QString Write(const std::string& name, const std::string& bytes)
    {
        const std::string path = dir_.path() + name;
        WriteFile(path, bytes);
        return Q(path);
    }
    static QString Q(const std::string& s) { return QString::fromStdString(s); }
    std::vector<std::string> Files(const std::string& folder)
    {
        std::vector<std::string> names;
        if (DIR* d = opendir(folder.c_str())) {
            while (dirent* e = readdir(d))
                if (e->d_name[0] != '.')
                    names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    }
};

const char kTango[] = "NAME=Tango\r\nTEMPO=120\r\nA4 c500\r\nC#5 c250\r\nM c500\r\nBb3 c1000\r\n";

TEST_F(MelodyTest, MdyFilesRoundTripByteForByte)
{
    const QString path = Write("tango.MDY", kTango);
    CMelody m;
    ASSERT_TRUE(m.Load(path));
    EXPECT_EQ(m.GetMelodyName(), "Tango");
    EXPECT_EQ(m.GetTempo(), 120);
    EXPECT_EQ(m.GetNoteCount(), 4);
    EXPECT_EQ(m.GetFileName(), "tango.MDY");
    EXPECT_EQ(m.GetFilePath(), path);

    const std::string copy = dir_.path() + "copy.MDY";
    ASSERT_TRUE(m.Save(Q(copy)));
    EXPECT_EQ(ReadFile(copy), kTango);
    EXPECT_EQ(m.GetFilePath(), Q(copy));
    // Saving over its own file keeps the bytes too, and leaves no temporary.
    ASSERT_TRUE(m.Save(QString()));
    EXPECT_EQ(ReadFile(copy), kTango);
    for (const std::string& f : Files(dir_.path()))
        EXPECT_EQ(f.find(".MDY."), std::string::npos) << f;
}

TEST_F(MelodyTest, MdyReadingRules)
{
    CMelody m;
    // Keys ignore case, names lose quotes and commas, LENGTH is carried.
    ASSERT_TRUE(m.Load(Write("a.MDY", "name= \"A,B\" \r\nlength=12\r\ntempo=200\r\nA4\r\nX=1\r\n")));
    EXPECT_EQ(m.GetMelodyName(), "AB");
    EXPECT_EQ(m.GetLength(), 12);
    ASSERT_EQ(m.GetNoteCount(), 1);
    EXPECT_EQ(m.GetNoteAt(0)->GetDuration(), 200);  // one beat of the tempo read before

    // Reading stops at the first empty line.
    EXPECT_FALSE(m.Load(Write("b.MDY", "NAME=B\r\nTEMPO=100\r\n\r\nA4 c100\r\n")));
    // No notes, silences only, no name line, an empty name: refused.
    EXPECT_FALSE(m.Load(Write("c.MDY", "NAME=C\r\nTEMPO=100\r\n")));
    EXPECT_FALSE(m.Load(Write("d.MDY", "NAME=D\r\nM c100\r\nM c200\r\n")));
    EXPECT_FALSE(m.Load(Write("e.MDY", "TEMPO=100\r\nA4 c100\r\n")));
    EXPECT_FALSE(m.Load(Write("f.MDY", "NAME=\"\"\r\nA4 c100\r\n")));
    // A missing file leaves the melody as it was.
    CMelody kept;
    ASSERT_TRUE(kept.Load(Write("g.MDY", kTango)));
    EXPECT_FALSE(kept.Load(Q(dir_.path() + "missing.MDY")));
    EXPECT_EQ(kept.GetMelodyName(), "Tango");
    EXPECT_EQ(kept.GetNoteCount(), 4);
}

TEST_F(MelodyTest, TempoStaysWithinOneTo999)
{
    CMelody m;
    EXPECT_EQ(m.GetTempo(), 500);
    ASSERT_TRUE(m.Load(Write("t.MDY", "NAME=T\r\nTEMPO=1000\r\nA4 c10\r\n")));
    EXPECT_EQ(m.GetTempo(), 500);
    // Tempo 0 would give notes without length: it takes the profile's tempo.
    WriteFile(dir_.path() + "ZorqMMI.ini", "[Melody]\r\nTempo=300\r\n");
    m.SetTempo(0);
    EXPECT_EQ(m.GetTempo(), 300);
    m.SetTempo(999);
    EXPECT_EQ(m.GetTempo(), 999);
    WriteFile(dir_.path() + "ZorqMMI.ini", "[Melody]\r\nTempo=0\r\n");
    m.SetTempo(-4);
    EXPECT_EQ(m.GetTempo(), 500);
    CMelody fresh;
    EXPECT_EQ(fresh.GetTempo(), 500);
}

TEST_F(MelodyTest, SavingChoosesTheFileName)
{
    CMelody m;
    ASSERT_TRUE(m.Load(Write("t.MDY", kTango)));
    // A folder: the melody's name and ".MDY" in it.
    ASSERT_TRUE(m.Save(Q(MelodyDir())));
    EXPECT_EQ(m.GetFilePath(), Q(MelodyDir() + "Tango.MDY"));
    EXPECT_EQ(m.GetFileName(), "Tango.MDY");
    // Names from users or the phone never leave the folder.
    m.SetName(QStringLiteral("../../etc/x"), false);
    ASSERT_TRUE(m.Save(Q(MelodyDir())));
    EXPECT_EQ(m.GetFilePath(), Q(MelodyDir() + "___.__etc_x.MDY"));
    m.SetName(QStringLiteral(".."), false);
    ASSERT_TRUE(m.Save(Q(MelodyDir())));
    EXPECT_EQ(m.GetFilePath(), Q(MelodyDir() + "__.MDY"));
    m.SetName(QStringLiteral("a\x01/b"), false);
    ASSERT_TRUE(m.Save(Q(MelodyDir())));
    EXPECT_EQ(m.GetFilePath(), Q(MelodyDir() + "a_b.MDY"));
    // Without any path: a new unique name in the melody folder.
    m.SetFilePath(QString());
    ASSERT_TRUE(m.Save(QString()));
    EXPECT_TRUE(m.GetFilePath().startsWith(Q(MelodyDir())));
    EXPECT_TRUE(m.GetFilePath().endsWith(".MDY"));
    CMelody back;
    ASSERT_TRUE(back.Load(m.GetFilePath()));
    EXPECT_TRUE(back.IsSameNotes(&m, -1));
}

TEST_F(MelodyTest, AFailedSaveReportsFailureAndKeepsTheOldFile)
{
    CMelody m;
    ASSERT_TRUE(m.Load(Write("t.MDY", kTango)));
    EXPECT_FALSE(m.Save(Q(dir_.path() + "no-folder/x.MDY")));
    EXPECT_EQ(m.GetFilePath(), Q(dir_.path() + "t.MDY"));
    // A target that cannot be replaced (a folder of that name).
    ::mkdir((dir_.path() + "busy.MDY").c_str(), 0755);
    EXPECT_FALSE(m.Save(Q(dir_.path() + "busy.MDY")));
    for (const std::string& f : Files(dir_.path()))
        EXPECT_EQ(f.find(".MDY."), std::string::npos) << "temporary left: " << f;
    EXPECT_EQ(ReadFile(dir_.path() + "t.MDY"), kTango);
}

TEST_F(MelodyTest, ANewMelodyTakesTheUmaskAndARewrittenOneKeepsItsMode)
{
    CMelody m;
    ASSERT_TRUE(m.Load(Write("t.MDY", kTango)));
    m.SetFilePath(QString());
    {
        zorqtest::UmaskScope mask(077);
        ASSERT_TRUE(m.Save(QString()));
    }
    const std::string path = m.GetFilePath().toStdString();
    EXPECT_EQ(zorqtest::FileMode(path), 0600u);
    ASSERT_EQ(::chmod(path.c_str(), 0604), 0);
    m.SetTempo(120);
    ASSERT_TRUE(m.Save(QString()));
    EXPECT_EQ(zorqtest::FileMode(path), 0604u);
    {
        zorqtest::UmaskScope mask(002);
        ASSERT_TRUE(m.Save(Q(MelodyDir() + "wide.MDY")));
    }
    EXPECT_EQ(zorqtest::FileMode(MelodyDir() + "wide.MDY"), 0664u);
}

TEST_F(MelodyTest, SavingOnAFullDiskFailsAndKeepsTheOldFile)
{
    zorqtest::SmallDisk disk(dir_.path(), 64 * 1024);
    ASSERT_FALSE(disk.Folder().empty());
    CMelody m;
    ASSERT_TRUE(m.Load(Write("t.MDY", kTango)));
    ASSERT_TRUE(m.Save(Q(disk.Folder() + "kept.MDY")));
    const std::string before = ReadFile(disk.Folder() + "kept.MDY");
    disk.Fill();
    for (int i = 0; i < 40; ++i) {
        auto* note = new CNote;
        ASSERT_TRUE(note->Parse("C#5 c250", m.GetTempo(), 4));
        m.AddNote(note);
    }
    EXPECT_FALSE(m.Save(QString()));
    disk.Release();
    EXPECT_EQ(ReadFile(disk.Folder() + "kept.MDY"), before);
    for (const std::string& f : Files(disk.Folder()))
        EXPECT_EQ(f, "kept.MDY") << "left behind";
}

TEST_F(MelodyTest, PhoneHeaderStrings)
{
    CMelody m;
    m.SetName(QStringLiteral("Tango"), false);
    m.SetTempo(120);
    m.SetPhoneIndex(3);
    EXPECT_EQ(m.MakeHeaderString(), "3,\"Tango\",120");
    EXPECT_EQ(m.MakePlayHeaderString(true), "\"Tango\",120,1");
    EXPECT_EQ(m.MakePlayHeaderString(false), "\"Tango\",120,0");
    EXPECT_EQ(m.GetPhoneIndex(), 3);  // restored after the play header
    m.SetPhoneIndex(-1);
    EXPECT_EQ(m.MakeHeaderString(), "\"Tango\",120");
    m.SetName(QString(), false);
    EXPECT_EQ(m.MakeHeaderString(), "");
    EXPECT_EQ(m.MakePlayHeaderString(true), "");

    CMelody p;
    ASSERT_TRUE(p.InitHeaderWithString("3,\"Tango\",120"));
    EXPECT_EQ(p.GetPhoneIndex(), 3);
    EXPECT_EQ(p.GetMelodyName(), "Tango");
    EXPECT_EQ(p.GetTempo(), 120);
    // A comma inside the quoted name neither cuts it nor shifts the tempo.
    CMelody jazz;
    ASSERT_TRUE(jazz.InitHeaderWithString("7,\"Jazz, blue\",90"));
    EXPECT_EQ(jazz.GetPhoneIndex(), 7);
    EXPECT_EQ(jazz.GetMelodyName(), "Jazz blue");
    EXPECT_EQ(jazz.GetTempo(), 90);
    // Without a tempo the melody keeps its own; a bad index reads as 0.
    CMelody bare;
    ASSERT_TRUE(bare.InitHeaderWithString("x,Solo"));
    EXPECT_EQ(bare.GetPhoneIndex(), 0);
    EXPECT_EQ(bare.GetMelodyName(), "Solo");
    EXPECT_EQ(bare.GetTempo(), 500);
    CMelody bad;
    EXPECT_FALSE(bad.InitHeaderWithString(",\"A\",1"));
    EXPECT_FALSE(bad.InitHeaderWithString("3,"));
    EXPECT_FALSE(bad.InitHeaderWithString(""));
}

TEST_F(MelodyTest, NotesStringsComeInPiecesOf160)
{
    CMelody m;
    std::string notes;
    for (int i = 0; i < 45; ++i)
        notes += "C#5 c250 ";  // 8 characters and a blank each
    ASSERT_TRUE(m.AnalyseNote(notes + "D4 c10"));
    ASSERT_EQ(m.GetNoteCount(), 46);
    const std::string s = m.MakeNotesString(-1);
    // A CR stands before the token that would pass 160, 320, ... characters,
    // never inside a token; the last token has no blank after it.
    size_t start = 0;
    int pieces = 0;
    for (;;) {
        const size_t cr = s.find('\r', start);
        const std::string piece = s.substr(start, cr == std::string::npos ? std::string::npos : cr - start);
        ++pieces;
        if (cr == std::string::npos)
            break;
        EXPECT_LE(cr, static_cast<size_t>(pieces * 160));
        EXPECT_GT(cr + 8, static_cast<size_t>(pieces * 160)) << "the next token would have fitted";
        EXPECT_EQ(s.substr(cr + 1, 3), "C#5");
        start = cr + 1;
    }
    EXPECT_EQ(pieces, 3);
    EXPECT_EQ(s.substr(s.size() - 6), "D4 c10");
    EXPECT_EQ(s.find("\r"), 153u);  // 17 tokens of 9; the 18th would reach 161
    EXPECT_EQ(m.MakeNotesString(2), "C#5 c250 C#5 c250 ");

    // Read back through the phone's form, the notes are the same.
    CMelody back;
    ASSERT_TRUE(back.AnalyseNote(s));
    EXPECT_TRUE(back.IsSameNotes(&m, -1));
}

TEST_F(MelodyTest, PhoneNotesParsing)
{
    CMelody m;
    m.SetTempo(100);
    EXPECT_TRUE(m.AnalyseNote("C4 c250  D4 c250 E4 c250 F4"));  // a lone last word is dropped
    EXPECT_EQ(m.GetNoteCount(), 3);
    EXPECT_FALSE(m.IsAllSilence());
    CMelody rests;
    EXPECT_TRUE(rests.AnalyseNote("M c100 M c100"));
    EXPECT_TRUE(rests.IsAllSilence());
    EXPECT_TRUE(rests.IsLastNoteSilence());
    CMelody none;
    EXPECT_FALSE(none.AnalyseNote("junk"));
    EXPECT_TRUE(none.IsAllSilence());
}

TEST_F(MelodyTest, CopiesShareNothing)
{
    CMelody a;
    ASSERT_TRUE(a.Load(Write("t.MDY", kTango)));
    a.SetPhoneIndex(5);
    CMelody b;
    b.CopyFrom(&a);
    EXPECT_EQ(b.GetMelodyName(), "Tango");
    EXPECT_EQ(b.GetPhoneIndex(), 5);
    EXPECT_EQ(b.GetTempo(), 120);
    EXPECT_EQ(b.GetFilePath(), a.GetFilePath());
    EXPECT_TRUE(b.IsSameNotes(&a, -1));
    b.GetFirstNote()->SetOctave(7);
    EXPECT_FALSE(b.IsSameNotes(&a, -1));
    EXPECT_TRUE(b.IsSameNotes(&a, 0));
    EXPECT_EQ(a.GetNoteAt(0)->GetOctave(), 4);
    b.CopyFrom(nullptr);
    EXPECT_EQ(b.GetMelodyName(), "Tango");
}

TEST_F(MelodyTest, EditorTextAndSilences)
{
    CMelody m;
    m.SetTempo(500);
    ASSERT_TRUE(m.AnalyseNote("C4 c500 D4 c1000 E5 c500 M c500"));
    EXPECT_EQ(m.MakeEditorText(-1), "cDe+p");
    EXPECT_EQ(m.MakeEditorText(2), "cD");
    m.AddSilence();
    EXPECT_EQ(m.GetNoteCount(), 5);
    EXPECT_TRUE(m.IsLastNoteSilence());
    EXPECT_EQ(m.GetNoteAt(4)->GetText(), "M c500");
    ASSERT_TRUE(m.AnalyseNote("F4 c300 G4"));
    EXPECT_EQ(m.MakeEditorText(-1), "");
    EXPECT_FALSE(m.AreAllNotesRelative());
}

TEST_F(MelodyTest, PlaysOnThePcAndStops)
{
    DoneCounter window;
    CMelody m;
    m.SetTempo(100);
    ASSERT_TRUE(m.AnalyseNote("A4 c30 M c10 C5 c30"));  // 0.7 s
    ASSERT_TRUE(m.Play(&window, false));
    EXPECT_TRUE(m.IsPlaying());
    QElapsedTimer t;
    t.start();
    while (window.done == 0 && t.elapsed() < 5000)
        QTest::qWait(5);
    EXPECT_EQ(window.done, 1);
    EXPECT_FALSE(m.IsPlaying());

    // Looping plays until stopped; stopping reports once.
    ASSERT_TRUE(m.Play(&window, true));
    QTest::qWait(1000);
    EXPECT_TRUE(m.IsPlaying());
    EXPECT_EQ(window.done, 1);
    EXPECT_TRUE(m.Stop());
    EXPECT_FALSE(m.IsPlaying());
    QTest::qWait(30);
    EXPECT_EQ(window.done, 2);
    // The temporary MIDI file went with the playback.
    for (const std::string& f : Files(MelodyDir()))
        EXPECT_EQ(f.find(".MID"), std::string::npos) << f;
}

TEST_F(MelodyTest, ACopyOrTheEndOfAPlayingMelodyIsSafe)
{
    DoneCounter window;
    auto m = std::make_unique<CMelody>();
    ASSERT_TRUE(m->AnalyseNote("A4 c500 B4 c500"));
    ASSERT_TRUE(m->Play(&window, true));
    {
        CMelody copy;
        copy.CopyFrom(m.get());
        EXPECT_FALSE(copy.IsPlaying());
        copy.Reset();  // must not touch the original's playback
    }
    QTest::qWait(100);
    EXPECT_TRUE(m->IsPlaying());
    EXPECT_EQ(Files(MelodyDir()).size(), 1u);  // its MIDI file is still there
    m.reset();  // destroyed while playing: stops and waits first
    EXPECT_TRUE(Files(MelodyDir()).empty());
}

TEST_F(MelodyTest, WithoutAnyOutputTheUserIsToldAndTheWindowReleased)
{
    CPcPlayer::SetAudioOutput("no-such-driver", "");
    DoneCounter window;
    CMelody m;
    ASSERT_TRUE(m.AnalyseNote("A4 c10 B4 c10"));
    EXPECT_FALSE(m.Play(&window, false));
    EXPECT_FALSE(m.IsPlaying());
    ASSERT_EQ(app_.shown.size(), 1u);
    EXPECT_EQ(app_.shown[0].text, QString("The melody could not be played."));
    QTest::qWait(20);
    EXPECT_EQ(window.done, 1);
}

}  // namespace

namespace {

TEST_F(MelodyTest, NonAsciiNamesRoundTrip)
{
    const std::string bytes = "NAME=Caf\xE9\r\nTEMPO=100\r\nA4 c100\r\n";
    CMelody m;
    ASSERT_TRUE(m.Load(Write("cafe.MDY", bytes)));
    EXPECT_EQ(m.GetMelodyName(), QString::fromUtf8("Café"));
    m.SetPhoneIndex(2);
    EXPECT_EQ(m.MakeHeaderString(), "2,\"Caf\xE9\",100");
    ASSERT_TRUE(m.Save(QString()));
    EXPECT_EQ(ReadFile(dir_.path() + "cafe.MDY"), bytes);
}

}  // namespace

// ---- Saves killed while they run ---------------------------------------------------------

// A process saving melodies (new ones, each under a name of its own, and one
// file rewritten again and again) killed with SIGKILL at twenty moments:
// afterwards every ".MDY" file of the melody folder reads as a whole melody
// with all its notes; nothing empty or half written is left to be listed.
TEST_F(MelodyTest, SavesKilledAtAnyMomentLeaveNoHalfWrittenMelody)
{
    CMelody base;
    ASSERT_TRUE(base.Load(Write("t.MDY", kTango)));
    for (int i = 0; i < 200; ++i) {
        auto* note = new CNote;
        ASSERT_TRUE(note->Parse(i % 2 ? "C#5 c250" : "Bb3 c500", base.GetTempo(), 4));
        base.AddNote(note);
    }
    const int notes = base.GetNoteCount();
    ASSERT_TRUE(base.Save(Q(MelodyDir() + "kept.MDY")));
    size_t melodies = 0;
    for (int k = 0; k < 20; ++k) {
        SCOPED_TRACE(k);
        int started[2];
        ASSERT_EQ(pipe(started), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(started[0]);
            for (int i = 0;; ++i) {
                CMelody m;
                m.Load(Q(MelodyDir() + "kept.MDY"));
                m.SetTempo(100 + i % 50);
                m.Save(QString());
                m.SetFilePath(QString());
                m.Save(QString());
                if (i == 0) {
                    // One round of both kinds of save is done: the kill may come.
                    (void)!write(started[1], "s", 1);
                    close(started[1]);
                }
            }
        }
        close(started[1]);
        // However slow the machine, the kill falls among saves, not before the first.
        char byte = 0;
        ASSERT_EQ(read(started[0], &byte, 1), 1);
        close(started[0]);
        // The moment of the kill is what varies, 2 to 40 ms into the saving.
        usleep(static_cast<useconds_t>(2000 + k * 2000));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        for (const std::string& f : Files(MelodyDir())) {
            if (f.size() < 4 || f.compare(f.size() - 4, 4, ".MDY") != 0)
                continue;
            CMelody m;
            EXPECT_TRUE(m.Load(Q(MelodyDir() + f))) << f << " is not a whole melody";
            EXPECT_EQ(m.GetNoteCount(), notes) << f;
            ++melodies;
        }
    }
    std::printf("%zu melody files read back whole after 20 kills\n", melodies);
    EXPECT_GT(melodies, 20u) << "the saving process hardly ran";
}
