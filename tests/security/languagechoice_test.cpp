// The language combo of the set-up screen over the bundles in the program folder.
#include "languagechoice.h"
#include "test_support.h"

#include <QComboBox>

namespace {

class LanguageChoice : public ::testing::Test {
protected:
    void SetUp() override
    {
        app.SetDataDirectories(dir.path() + "zorqmmi");
        zorqtest::CopyFile(zorqtest::BuiltBundle(), dir.path() + "ZORQenu.rcc");
        ASSERT_TRUE(app.LoadResourceLibrary("enu"));
    }
    void Install(const char* code) { zorqtest::CopyFile(zorqtest::BuiltBundle(), dir.path() + "ZORQ" + code + ".rcc"); }
    QStringList Names() const
    {
        QStringList names;
        for (int i = 0; i < combo.count(); ++i)
            names << combo.itemText(i);
        return names;
    }
    zorqtest::TempProgramDir dir;
    zorqtest::RecordingApp app;
    QComboBox combo;
};

TEST_F(LanguageChoice, OffersTheInstalledBundlesAndSelectsTheCurrentOne)
{
    Install("ita");
    FillLanguageCombo(&combo, dir.path(), "ita");
    EXPECT_EQ(Names(), QStringList({"English", "Italiano"}));
    EXPECT_EQ(SelectedLanguage(&combo), "ita");

    FillLanguageCombo(&combo, dir.path(), "fra");  // no French bundle: English
    EXPECT_EQ(Names(), QStringList({"English", "Italiano"}));
    EXPECT_EQ(SelectedLanguage(&combo), "enu");
    combo.setCurrentIndex(0);
    EXPECT_EQ(SelectedLanguage(&combo), "enu");
}

TEST_F(LanguageChoice, WithoutEnglishTheFirstRowKeepsItsOwnCode)
{
    std::remove((dir.path() + "ZORQenu.rcc").c_str());
    Install("deu");
    Install("kor");
    FillLanguageCombo(&combo, dir.path(), "xxx");
    EXPECT_EQ(Names(), QStringList({"Deutsch", "Korean"}));
    combo.setCurrentIndex(0);
    EXPECT_EQ(SelectedLanguage(&combo), "deu");
    combo.setCurrentIndex(1);
    EXPECT_EQ(SelectedLanguage(&combo), "kor");
}

TEST_F(LanguageChoice, NoBundleNoRow)
{
    std::remove((dir.path() + "ZORQenu.rcc").c_str());
    FillLanguageCombo(&combo, dir.path(), "enu");
    EXPECT_EQ(combo.count(), 0);
    EXPECT_EQ(SelectedLanguage(&combo), "");
}

}  // namespace
