#include "utilities.h"
#include "strutil.h"

#include "test_support.h"
#include "profile.h"
#include "zorqapp.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QTemporaryDir>
#include <QDate>
#include <QElapsedTimer>
#include <QWidget>
#include <QElapsedTimer>
#include <QExposeEvent>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>

using zorqtest::TempProgramDir;

namespace {

// A picture asked for again (a screen opened once more) is the same icon:
// what it draws is filed once in Qt's pixmap cache, not once more at every
// opening, which grew the program's memory for as long as it ran.
TEST(Utilities, APictureFileAskedForAgainDrawsFromTheSameIcon)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString red = dir.filePath(QStringLiteral("red.png")), blue = dir.filePath(QStringLiteral("blue.png"));
    for (const auto& [path, colour] : {std::pair{red, Qt::red}, std::pair{blue, Qt::blue}}) {
        QPixmap picture(16, 16);
        picture.fill(colour);
        ASSERT_TRUE(picture.save(path));
    }
    const QIcon first = LoadIconFile(red);
    ASSERT_FALSE(first.isNull());
    const qint64 drawn = first.pixmap(16, 16).cacheKey();
    EXPECT_EQ(LoadIconFile(red).pixmap(16, 16).cacheKey(), drawn);
    EXPECT_NE(LoadIconFile(blue).pixmap(16, 16).cacheKey(), drawn);
    EXPECT_TRUE(LoadIconFile(dir.filePath(QStringLiteral("absent.png"))).isNull());
}

TEST(Utilities, FilterDialCharsKeepsTheFirstPlusOnly)
{
    std::string out = "stale";
    FilterDialChars("+33 (1) 23-45 +6 p7#", out);
    EXPECT_EQ(out, "+33123456p7#");  // '+' later on dropped, 'p' and '#' kept
    FilterDialChars("++12", out);
    EXPECT_EQ(out, "+12");
    EXPECT_FALSE(IsDialChar('P'));
    EXPECT_TRUE(IsDialChar('*'));
}

TEST(Utilities, LanguageCodeToIdIsCaseSensitive)
{
    EXPECT_EQ(LanguageCodeToLangId("fra"), 12);
    EXPECT_EQ(LanguageCodeToLangId("FRA"), 9);
    EXPECT_EQ(LanguageCodeToLangId("kor"), 18);
}

TEST(Utilities, ParseDateTextDefaultsAndLimits)
{
    double v = 0;
    ASSERT_TRUE(ParseDateText("2001", v));
    int y, m, d, h, mi, s;
    SplitDateTime(v, y, m, d, h, mi, s);
    EXPECT_EQ(y, 2001);
    EXPECT_EQ(m, 1);
    EXPECT_EQ(d, 1);
    ASSERT_TRUE(ParseDateText("2001/02/03 23:59:59", v));
    SplitDateTime(v, y, m, d, h, mi, s);
    EXPECT_EQ(m * 100 + d, 203);
    EXPECT_EQ(h * 10000 + mi * 100 + s, 235959);
    EXPECT_FALSE(CheckDateText("2001/02/03 25:00"));
    EXPECT_FALSE(CheckDateText("2001/02/03 24:00"));  // 24 is no hour of a day
    EXPECT_FALSE(CheckDateText("2001/02/03 10:60"));
    EXPECT_FALSE(CheckDateText("2001/02/30"));
    EXPECT_FALSE(CheckDateText("soon"));
}

// A date field and the lists beside it must show one date the same way.
TEST(Utilities, TheDatePatternWritesWhatTheDateTextWrites)
{
    const QDate dates[] = {QDate(2026, 12, 9), QDate(2003, 1, 2), QDate(1999, 10, 31)};
    for (const char* code : {"enu", "fra", "ita", "deu", "esp", "chi", "jpn", "kor"}) {
        const int lang = LanguageCodeToLangId(code);
        const QString pattern = QString::fromStdString(DatePattern(lang));
        for (const QDate& d : dates)
            EXPECT_EQ(d.toString(pattern).toStdString(), FormatDateText(MakeDateTime(d.year(), d.month(), d.day()), lang))
                << code;
    }
}

TEST(Utilities, DateAndTimeTexts)
{
    const double dt = MakeDateTime(2026, 12, 8, 19, 5, 9);
    EXPECT_EQ(FormatDateText(dt, 9), "12/8/2026");
    EXPECT_EQ(FormatTimeText(dt, 9), "7:05:09 PM");
    EXPECT_EQ(FormatShortTimeText(dt, 9), "7:05 PM");  // the day-half marker stays
    EXPECT_EQ(FormatDateTimeText(dt, 7), "08.12.2026 19:05");
    EXPECT_EQ(FormatShortTimeText(dt, 16), "19.05");
    const double dateOnly = MakeDateTime(2026, 12, 8);
    EXPECT_EQ(FormatTimeText(dateOnly, 12), "00:00:00");
    EXPECT_EQ(FormatHourMinute(MakeDateTime(2000, 1, 1, 7, 3)), "07:03");
    EXPECT_EQ(FormatCurrencyText("1.50", 9), "$1.50");
    EXPECT_DOUBLE_EQ(MakeDateTime(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(MakeDateTime(1900, 1, 1, 12), 2.5);
}

TEST(Utilities, SmallTextHelpers)
{
    std::string t = "hello";
    CapitalizeFirst(t);
    EXPECT_EQ(t, "Hello");
    std::string e;
    CapitalizeFirst(e);
    EXPECT_EQ(e, "");
    EXPECT_EQ(CountChar("a,b,,c", ','), 3);
    std::string msg = "Welcome to [APP_NAME]. [APP_NAME]!";
    ReplaceAppName(msg);
    EXPECT_EQ(msg, "Welcome to Pellard Tarvel Data. Pellard Tarvel Data!");
    char buf[16] = "    ";
    TrimTrailingBlanks(buf, 16);
    EXPECT_STREQ(buf, "");
    char part[16] = "ab  cd  ";
    TrimTrailingBlanks(part, 4);  // only the first four characters are looked at
    EXPECT_STREQ(part, "ab");
}

TEST(Utilities, PathPieces)
{
    EXPECT_EQ(GetFileNamePart("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(GetFileNamePart("c.txt"), "c.txt");
    EXPECT_EQ(GetPathDirectory("/a/b/c.txt"), "/a/b/");
    EXPECT_EQ(GetBaseName("/a/b.d/c.txt"), "c");
    EXPECT_EQ(GetBaseName("/a/b.d/c"), "b");  // cut at the last '.', as the program did
    EXPECT_EQ(GetBaseName(""), "");
}

TEST(Utilities, UniqueAndTemporaryNames)
{
    TempProgramDir dir;
    std::string name = dir.path() + "card";
    MakeUniqueFileName(name, ".vcf");
    EXPECT_EQ(name, dir.path() + "card");
    zorqtest::WriteFile(dir.path() + "card.vcf", "x");
    zorqtest::WriteFile(dir.path() + "card2.vcf", "x");
    MakeUniqueFileName(name, ".vcf");
    EXPECT_EQ(name, dir.path() + "card3");

    const std::string t1 = MakeTempName(dir.path(), "mid");
    const std::string t2 = MakeTempName(dir.path(), "mid");
    ASSERT_FALSE(t1.empty());
    EXPECT_NE(t1, t2);
    EXPECT_TRUE(FileExists(t1));  // the name is claimed by creating the file
    const std::string base = GetFileNamePart(t1);
    ASSERT_EQ(base.size(), 12u);
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(base[i] >= 'A' && base[i] <= 'Z');
    EXPECT_EQ(base.substr(8), ".mid");
    EXPECT_TRUE(MakeTempName(dir.path() + "missing/", "mid").empty());
}

TEST(Utilities, TextLinesAndFiles)
{
    TempProgramDir dir;
    const std::string path = dir.path() + "lines.txt";
    zorqtest::WriteFile(path, "first line  \r\nsecond\t\xE9t\xE9\r\n\r\n");
    std::FILE* f = nullptr;
    ASSERT_EQ(OpenFileWithRetry(f, path), 0);
    char buf[64];
    EXPECT_EQ(ReadTextLine(f, buf, 63), 12);  // count before the trailing blanks go
    EXPECT_STREQ(buf, "first line");
    EXPECT_EQ(ReadTextLine(f, buf, 63), 9);  // the tab is skipped
    EXPECT_STREQ(buf, "second\xE9t\xE9");
    EXPECT_EQ(ReadTextLine(f, buf, 63), 0);  // the empty line
    EXPECT_EQ(ReadTextLine(f, buf, 63), -1);  // end of file
    std::fclose(f);

    char small[4];
    zorqtest::WriteFile(path, "abcdef\n");
    f = std::fopen(path.c_str(), "rb");
    EXPECT_EQ(ReadTextLine(f, small, 3), 3);
    EXPECT_STREQ(small, "abc");
    std::fclose(f);

    const char bytes[] = {1, 2, 3, 0, 5};
    ASSERT_TRUE(WriteFileBytes(dir.path() + "b.bin", bytes, sizeof bytes));
    char back[5] = {};
    ASSERT_TRUE(ReadFileBytes(dir.path() + "b.bin", back, sizeof back));
    EXPECT_EQ(std::string(back, 5), std::string(bytes, 5));
    EXPECT_FALSE(ReadFileBytes(dir.path() + "b.bin", back, 6));  // shorter than asked
    EXPECT_EQ(GetFileSizeByName(dir.path() + "*.bin"), 5);
    EXPECT_EQ(GetFileSizeByName(dir.path() + "*.none"), 0);

    std::FILE* w = std::fopen((dir.path() + "w.txt").c_str(), "wb");
    EXPECT_TRUE(WriteTextLine("KEY=value", w));
    std::fclose(w);
    EXPECT_EQ(zorqtest::ReadFile(dir.path() + "w.txt"), "KEY=value\r\n");

    zorqtest::WriteFile(dir.path() + "Work/a.vcf", "x");
    zorqtest::WriteFile(dir.path() + "Work/b.vcf", "x");
    zorqtest::WriteFile(dir.path() + "Work/keep.txt", "x");
    EXPECT_TRUE(DeleteFilesInFolder(dir.path() + "Work", "*.vcf"));
    EXPECT_FALSE(FileExists(dir.path() + "Work/a.vcf"));
    EXPECT_TRUE(FileExists(dir.path() + "Work/keep.txt"));
    EXPECT_FALSE(DeleteFilesInFolder("", "*"));
    DeleteFileIfExists(dir.path() + "Work/keep.txt");
    DeleteFileIfExists(dir.path() + "Work/keep.txt");
    EXPECT_FALSE(FileExists(dir.path() + "Work/keep.txt"));
}

TEST(Utilities, OpenWithRetryOnAMissingFileReturnsAtOnceWithoutMessage)
{
    TempProgramDir dir;
    zorqtest::RecordingApp app;
    std::FILE* f = nullptr;
    EXPECT_EQ(OpenFileWithRetry(f, dir.path() + "nothing.here"), fileNotFound);
    EXPECT_EQ(f, nullptr);
    EXPECT_TRUE(app.shown.empty());
    // A folder cannot be read as a file: reported once, not retried.
    EXPECT_NE(OpenFileWithRetry(f, dir.path() + "nothing/deeper"), fileNone);
}

TEST(Utilities, WaitWindowExistsOnce)
{
    ShowWaitWindow(0);  // nothing to destroy
    EXPECT_EQ(GetWaitWindow(), nullptr);
    ShowWaitWindow(1);
    QWidget* first = GetWaitWindow();
    ASSERT_NE(first, nullptr);
    ShowWaitWindow(1);
    EXPECT_EQ(GetWaitWindow(), first);
    ShowWaitWindow(5);
    EXPECT_EQ(GetWaitWindow(), first);
    ShowWaitWindow(0);
    EXPECT_EQ(GetWaitWindow(), nullptr);
}

TEST(Utilities, LanguageSettingGoesThroughTheProfile)
{
    TempProgramDir dir;
    SetIniProfileFile(dir.path());
    EXPECT_EQ(GetLanguageSetting(), "");
    SetLanguageSetting("fra");
    EXPECT_EQ(GetLanguageSetting(), "fra");
    EXPECT_NE(zorqtest::ReadFile(dir.path() + "ZorqMMI.ini").find("sLanguage=fra"), std::string::npos);
}

// Database files in the profile: a name of the Database folder is stored
// alone and found again there; other files keep their full path; a profile
// that holds the full path of a Database file is read as well.
TEST(Utilities, DatabaseNamesAreStoredSoThatTheyAreFoundAgain)
{
    TempProgramDir dir;
    SetIniProfileFile(dir.path());
    zorqtest::RecordingApp app;
    app.SetDataDirectories(dir.path() + "zorqmmi");
    const std::string folder = app.GetFolderPath();
    ASSERT_FALSE(folder.empty());
    struct Case {
        std::string chosen, stored;
    };
    for (const Case& c : {Case{folder + "mine.mdb", "mine.mdb"}, Case{"/srv/shared/team.mdb", "/srv/shared/team.mdb"},
                          Case{folder + "old/kept.mdb", folder + "old/kept.mdb"}}) {
        CZorqMMIApp::WriteDatabaseSetting("SMS", c.chosen);
        EXPECT_EQ(GetIniProfileString("Databases", "SMS", ""), c.stored);
        EXPECT_EQ(CZorqMMIApp::GetDatabaseSetting("SMS", "defsms.mdb"), c.chosen);
    }
    WriteIniProfileString("Databases", "Phonebook", folder + "defpb.mdb");
    EXPECT_EQ(CZorqMMIApp::GetDatabaseSetting("Phonebook", "defpb.mdb"), folder + "defpb.mdb");
    WriteIniProfileString("Databases", "Phonebook", "");
    EXPECT_EQ(CZorqMMIApp::GetDatabaseSetting("Phonebook", "defpb.mdb"), folder + "defpb.mdb");
}


// A stored full path that leads nowhere is taken from this program folder
// only by its last two parts, when they are exactly one of the program's
// data folders and a file there: a folder whose name merely ends like one,
// another case, a deeper folder or any other end is kept, whatever the
// program folder holds under that end. Each path taken is told once, from
// the loop, naming both paths.
TEST(Utilities, AStoredPathThatLeadsNowhereIsTakenOnlyFromTheDataFolders)
{
    TempProgramDir dir;
    SetIniProfileFile(dir.path());
    zorqtest::RecordingApp app;
    app.SetDataDirectories(dir.path() + "zorqmmi");
    ASSERT_TRUE(zorqtest::CopyFile(zorqtest::BuiltBundle(), dir.path() + "ZORQenu.rcc"));
    ASSERT_TRUE(app.LoadResourceLibrary("enu"));
    const std::string& here = dir.path();
    for (const char* sub : {"Database/sub", "Work", "books", "MyDatabase", "database"})
        ASSERT_EQ(::mkdir((here + sub).c_str(), 0700) == 0 || errno == EEXIST, true) << sub;
    for (const char* file : {"Database/defpb.mdb", "Database/sub/defpb.mdb", "Work/kept.mdb", "books/family.mdb",
                             "family.mdb", "MyDatabase/defpb.mdb", "database/defpb.mdb"})
        zorqtest::WriteFile(here + file, "x");
    const std::string gone = here + "gone";  // a drive that is not mounted
    struct Case {
        std::string stored, used;
    };
    const Case cases[] = {
        {gone + "/Database/defpb.mdb", here + "Database/defpb.mdb"},
        {gone + "/Work/kept.mdb", here + "Work/kept.mdb"},
        {gone + "/books/family.mdb", gone + "/books/family.mdb"},
        {gone + "/family.mdb", gone + "/family.mdb"},
        {gone + "/MyDatabase/defpb.mdb", gone + "/MyDatabase/defpb.mdb"},
        {gone + "/database/defpb.mdb", gone + "/database/defpb.mdb"},
        {gone + "/Database/sub/defpb.mdb", gone + "/Database/sub/defpb.mdb"},
        {gone + "/Database/missing.mdb", gone + "/Database/missing.mdb"},
        {gone + "/Database/", gone + "/Database/"},
    };
    for (int round = 0; round < 2; ++round)
        for (const Case& c : cases)
            EXPECT_EQ(CZorqMMIApp::ResolveDatabaseName(c.stored), c.used) << c.stored;
    QElapsedTimer waited;
    waited.start();
    while (app.shown.size() < 2 && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
    QStringList told;
    for (const auto& box : app.shown)
        told << box.text;
    EXPECT_EQ(told.join("\n").toStdString(),
              "The database " + gone + "/Database/defpb.mdb was not found. In its place the program uses " + here +
                  "Database/defpb.mdb, the file of the same name in its own folder.\nThe database " + gone +
                  "/Work/kept.mdb was not found. In its place the program uses " + here +
                  "Work/kept.mdb, the file of the same name in its own folder.");
}

}  // namespace

// A window coming back from minimised: the window manager exposes it more
// than once while it puts it back (here every 100 ms, four times). The wait
// ends only once those exposures have stopped, so that the work that holds
// the thread afterwards finds the window on screen and painted; a paint
// seen at the first exposure is not enough.
TEST(Utilities, TheWaitForARestoredWindowOutlastsTheWindowManagersExposures)
{
    QWidget window;
    window.resize(200, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QElapsedTimer clock;
    int exposures = 0;
    qint64 lastExposure = -1;
    QTimer again;
    QObject::connect(&again, &QTimer::timeout, [&] {
        QExposeEvent expose(QRegion(QRect(QPoint(0, 0), window.size())));
        QCoreApplication::sendEvent(window.windowHandle(), &expose);
        lastExposure = clock.elapsed();
        if (++exposures == 4)
            again.stop();
    });
    clock.start();
    again.start(100);
    window.update();
    EXPECT_TRUE(WaitUntilRepainted(&window));
    const qint64 ended = clock.elapsed();
    EXPECT_EQ(exposures, 4) << "the wait ended at " << ended << " ms, while the window was still being exposed";
    EXPECT_GE(ended, lastExposure + 250);
    EXPECT_LT(ended, 2000) << "the window had painted: the wait does not run to its limit";
}
