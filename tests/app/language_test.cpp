#include "zorqapp.h"

#include "debugtrace.h"
#include "dialog.h"
#include "langbundle.h"
#include "strutil.h"
#include "test_support.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <map>

using zorqtest::BuiltBundle;
using zorqtest::CopyFile;
using zorqtest::ReadFile;
using zorqtest::TempProgramDir;
using zorqtest::WriteFile;

namespace {

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetIniProfileFile(dir_.path());
        app_.SetDataDirectories(dir_.path() + "zorqmmi");
        unsetenv("LC_ALL");
        unsetenv("LC_MESSAGES");
        setenv("LANG", "en_US.UTF-8", 1);
    }
    void TearDown() override { gv_bDebug = 0; }
    void Install(const std::string& code) { ASSERT_TRUE(CopyFile(BuiltBundle(), Bundle(code))); }
    std::string Bundle(const std::string& code) const { return dir_.path() + "ZORQ" + code + ".rcc"; }

    TempProgramDir dir_;
    zorqtest::RecordingApp app_;
};

TEST_F(LanguageTest, FoldersEndInASlash)
{
    EXPECT_EQ(app_.GetAppDir(), dir_.path());
    EXPECT_EQ(app_.GetResDir(), dir_.path() + "Res/");
    EXPECT_EQ(app_.GetFolderPath(), dir_.path() + "Database/");
    EXPECT_EQ(app_.GetWorkDirectory(), dir_.path() + "Work/");
    EXPECT_EQ(app_.GetFilesDir(), dir_.path() + "Files/");
    EXPECT_EQ(app_.GetMelodyDir(), dir_.path() + "Melody/");
    zorqtest::RecordingApp other;
    other.SetDataDirectories("/opt/zorq  /zorqmmi");
    EXPECT_EQ(other.GetAppDir(), "/opt/zorq/");
    EXPECT_EQ(other.GetWorkDirectory(), "/opt/zorq/Work/");
}

TEST_F(LanguageTest, ChosenLanguageWithItsBundle)
{
    Install("enu");
    Install("deu");
    WriteIniProfileString("intl", "sLanguage", "deu");
    ASSERT_TRUE(app_.GetLanguageCode());
    EXPECT_EQ(app_.GetLanguage(), "deu");
    EXPECT_EQ(GetResourceModule(), app_.GetResources());
    EXPECT_EQ(app_.GetResources()->FilePath().toStdString(), Bundle("deu"));
}

TEST_F(LanguageTest, GermanWithOnlyEnglishFallsBackButKeepsGermanHelp)
{
    Install("enu");
    WriteFile(dir_.path() + "ZORQdeu.html", "<html>Hilfe</html>");
    WriteIniProfileString("intl", "sLanguage", "deu");
    ASSERT_TRUE(app_.GetLanguageCode());
    EXPECT_EQ(app_.GetLanguage(), "enu");
    EXPECT_EQ(app_.GetResources()->FilePath().toStdString(), Bundle("enu"));
    EXPECT_EQ(app_.GetHelpFilePath(), dir_.path() + "ZORQdeu.html");
}

TEST_F(LanguageTest, LocaleWithoutBundleGivesEnglish)
{
    Install("enu");
    WriteFile(dir_.path() + "ZORQenu.html", "<html>Help</html>");
    setenv("LANG", "pt_BR.UTF-8", 1);
    ASSERT_TRUE(app_.GetLanguageCode());
    EXPECT_EQ(app_.GetLanguage(), "enu");
    EXPECT_EQ(app_.GetHelpFilePath(), dir_.path() + "ZORQenu.html");
    // French locale, French bundle missing: English again.
    setenv("LANG", "fr_FR.UTF-8", 1);
    ASSERT_TRUE(app_.GetLanguageCode());
    EXPECT_EQ(app_.GetLanguage(), "enu");
}

TEST_F(LanguageTest, UpperCaseCodeTriesEnglishNext)
{
    Install("enu");
    WriteIniProfileString("intl", "sLanguage", "ENU");
    ASSERT_TRUE(app_.GetLanguageCode());  // "ZORQENU.rcc" is missing here: then "enu"
    EXPECT_EQ(app_.GetLanguage(), "enu");
}

TEST_F(LanguageTest, DamagedBundleFallsBackAndNoBundleFails)
{
    Install("enu");
    WriteFile(Bundle("ita"), "not a resource file");
    WriteIniProfileString("intl", "sLanguage", "ita");
    ASSERT_TRUE(app_.GetLanguageCode());
    EXPECT_EQ(app_.GetLanguage(), "enu");

    zorqtest::RecordingApp bare;
    TempProgramDir empty;
    bare.SetDataDirectories(empty.path() + "zorqmmi");
    EXPECT_FALSE(bare.LoadResourceLibrary("deu"));
    EXPECT_EQ(bare.GetLanguage(), "enu");
    EXPECT_EQ(bare.GetResources(), nullptr);
    EXPECT_TRUE(bare.FreeResourceLibrary());
    EXPECT_TRUE(bare.FreeResourceLibrary());
}

TEST_F(LanguageTest, ChangeLanguageSwapsOnlyWhenTheNewBundleLoads)
{
    Install("enu");
    Install("fra");
    ASSERT_TRUE(app_.LoadResourceLibrary("enu"));
    WriteIniProfileString("intl", "sLanguage", "fra");
    ASSERT_TRUE(app_.ChangeLanguage("fra"));
    EXPECT_EQ(app_.GetLanguage(), "fra");
    EXPECT_FALSE(app_.LoadString(31457).isEmpty());

    // Every bundle gone: the change fails and the loaded one stays usable.
    std::remove(Bundle("enu").c_str());
    WriteIniProfileString("intl", "sLanguage", "deu");
    EXPECT_FALSE(app_.ChangeLanguage("deu"));
    EXPECT_EQ(app_.GetLanguage(), "fra");
    ASSERT_NE(app_.GetResources(), nullptr);
    EXPECT_FALSE(app_.LoadString(31457).isEmpty());
    EXPECT_FALSE(app_.ChangeLanguage("FRA"));  // same language: nothing to do
}

TEST_F(LanguageTest, MissingStringIsEmptyWithATraceLine)
{
    Install("enu");
    WriteIniProfileInt("Pellard", "Debug", 1);
    InitDebugFile(dir_.path());
    ASSERT_TRUE(app_.LoadResourceLibrary("enu"));
    EXPECT_TRUE(app_.LoadString(1).isEmpty());
    EXPECT_NE(ReadFile(dir_.path() + "debug.txt").find("missing string 1\r\n"), std::string::npos);
    const QString path = app_.FormatString(31465, {QStringLiteral("/x/%2/defpb.mdb")});
    EXPECT_TRUE(path.contains(QStringLiteral("/x/%2/defpb.mdb"))) << path.toStdString();
}

TEST(LanguageBundle, StringTableAndInserts)
{
    auto table = CLanguageBundle::ParseStrings(
        "# comment\r\n100\tOne line\r\n101\tTwo\\nlines\n\nbad line\n102\t\n");
    EXPECT_EQ(table.value(100), QStringLiteral("One line"));
    EXPECT_EQ(table.value(101), QStringLiteral("Two\nlines"));
    EXPECT_TRUE(table.contains(102));
    EXPECT_EQ(table.size(), 3);
    EXPECT_EQ(FormatInserts(QStringLiteral("%1 of %2, 100%% sure, %3 kept"),
                            {QStringLiteral("a%2"), QStringLiteral("b")}),
              QStringLiteral("a%2 of b, 100% sure, %3 kept"));
}

class MembersDialog : public CDialog {
public:
    MembersDialog() : CDialog(142) {}
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Text(pDX, 166, text);
        DDX_Control(pDX, IDOK, ok);
    }
    QString text;
    QPushButton* ok = nullptr;
};

TEST_F(LanguageTest, DialogTemplateAndDataExchange)
{
    Install("enu");
    ASSERT_TRUE(app_.LoadResourceLibrary("enu"));
    MembersDialog dlg;
    ASSERT_TRUE(dlg.CreateFromTemplate());
    ASSERT_NE(dlg.GetDlgItem(166), nullptr);
    EXPECT_EQ(dlg.GetDlgItem(9999), nullptr);
    dlg.text = QStringLiteral("to the control");
    ASSERT_TRUE(dlg.UpdateData(false));
    EXPECT_EQ(qobject_cast<QLabel*>(dlg.GetDlgItem(166))->text(), QStringLiteral("to the control"));
    ASSERT_NE(dlg.ok, nullptr);
    qobject_cast<QLabel*>(dlg.GetDlgItem(166))->setText(QStringLiteral("back"));
    ASSERT_TRUE(dlg.UpdateData(true));
    EXPECT_EQ(dlg.text, QStringLiteral("back"));

    CDialog missing(4242);
    EXPECT_FALSE(missing.CreateFromTemplate());
    EXPECT_EQ(missing.GetDlgItem(1), nullptr);
    EXPECT_EQ(DluToPixels(QRect(4, 8, 40, 16)), QRect(6, 13, 60, 26));
}

}  // namespace

// The string table merges by union, so two engineers can give one id two
// texts without a conflict; the bundle would then show whichever came last.
// An id may repeat only with the same text.
TEST(StringTable, NoIdHasTwoDifferentTexts)
{
    QFile file(QStringLiteral(ZORQ_STRINGS_SOURCE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    std::map<QString, QString> texts;
    QStringList clashes;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).chopped(1);
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const int tab = line.indexOf('\t');
        if (tab <= 0)
            continue;
        const QString id = line.left(tab);
        const QString text = line.mid(tab + 1);
        auto [it, added] = texts.emplace(id, text);
        if (!added && it->second != text)
            clashes << id + ": \"" + it->second + "\" / \"" + text + "\"";
    }
    EXPECT_GT(texts.size(), 100u);
    EXPECT_TRUE(clashes.isEmpty()) << clashes.join('\n').toStdString();
}
