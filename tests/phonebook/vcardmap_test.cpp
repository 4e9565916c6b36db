#include "dlgdraganddrop.h"
#include "pbdatabase.h"
#include "vcard.h"

#include "../app/test_support.h"
#include "pccharset.h"
#include "profile.h"
#include "strutil.h"
#include "utilities.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

using zorqtest::TempProgramDir;

namespace {

class VCardMapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tmpDir_.Set(dir_.path());
        SetIniProfileFile(dir_.path());
        app_.SetDataDirectories(dir_.path() + "zorqmmi");
        ASSERT_TRUE(zorqtest::CopyFile(zorqtest::BuiltBundle(), dir_.path() + "ZORQenu.rcc"));
        ASSERT_TRUE(app_.LoadResourceLibrary("enu"));
        path_ = app_.GetFolderPath() + "defpb.mdb";
        ASSERT_TRUE(CreatePBDatabase(path_));
        WritePhoneConf(0, path_, true);
        db_.Open(path_);
        rs_ = std::make_unique<CEntryPhoneRecordset>(&db_);
        rs_->Open(dbOpenTable, "EntryPhone");
        rs_->SetCurrentIndex("indLoc");
    }

    void TearDown() override { tmpDir_.Restore(); }
    zorqtest::TmpDirOverride tmpDir_;

    TempProgramDir dir_;
    zorqtest::RecordingApp app_;
    std::string path_;
    CJetDatabase db_;
    std::unique_ptr<CEntryPhoneRecordset> rs_;
};

}  // namespace

TEST(ComposeEntryNameTest, EachFormInTurn)
{
    struct Case {
        const char* a;
        const char* b;
        int max;
        const char* name;
    } cases[] = {
        {"Smith", "John", 250, "Smith John "},  // both parts, both spaces
        {"Smith", "John", 12, "Smith John "},
        {"Smith", "John", 11, "SmithJohn "},   // closing space only
        {"Smith", "John", 10, "SmithJohn"},    // no space
        {"Smith", "John", 9, "Smith J "},      // the initial, both spaces
        {"Smith", "John", 8, "SmithJ "},
        {"Smith", "John", 7, "SmithJ"},
        {"Smith", "John", 6, "SmitJ"},         // first part cut
        {"Smith", "", 250, "Smith  "},
        {"Smith", "", 6, "Smith "},            // never longer than the maximum
        {"Smith", "", 5, "Smi"},
        {"Smith", "", 4, "Sm"},
        {"", "John", 250, "John "},
        {"", "", 250, " "},
        {"Smith", "John", 1, "J"},
        {"Smith", "John", 0, ""},
    };
    for (const Case& c : cases) {
        std::string name = "old";
        ComposeEntryName(name, c.a, c.b, c.max);
        EXPECT_EQ(name, c.name) << c.a << "|" << c.b << "|" << c.max;
        EXPECT_LE(static_cast<int>(name.size()), std::max(c.max, 0));
    }
}

TEST_F(VCardMapTest, ExportFollowsTheExportSetting)
{
    rs_->AddNew();
    rs_->Name = "Smith";
    rs_->Phone = "123";
    rs_->Otherphone = "456";
    rs_->Fax = "789";
    rs_->Email = "s@x";
    rs_->Address = "1 Main St";
    rs_->Company = "Acme";
    rs_->Notes = "note";

    WriteIniProfileInt("DragAndDrop", "ExportAs", 2);
    CVCard work;
    rs_->ExportToVCard(work);
    const std::string text = work.ToText();
    EXPECT_NE(text.find("TEL;WORK;VOICE:123\r\n"), std::string::npos);
    EXPECT_NE(text.find("TEL;PAGER;VOICE:456\r\n"), std::string::npos);
    EXPECT_NE(text.find("TEL;WORK;FAX:789\r\n"), std::string::npos);
    EXPECT_EQ(text.find("HOME"), std::string::npos);
    EXPECT_EQ(work.GetWorkStreet(), "1 Main St");
    EXPECT_EQ(work.GetOrgName(), "Acme");

    WriteIniProfileInt("DragAndDrop", "ExportAs", 1);
    CVCard home;
    rs_->ExportToVCard(home);
    EXPECT_EQ(home.GetHomeVoice(), "123");
    EXPECT_EQ(home.GetCellVoice(), "456");
    EXPECT_EQ(home.GetHomeEmail(), "s@x");
    EXPECT_EQ(home.GetEmail(), "s@x");
    EXPECT_EQ(home.GetWorkVoice(), "");
    rs_->CancelUpdate();
}

TEST_F(VCardMapTest, ImportsAndTheirNames)
{
    CVCard cellOnly;
    cellOnly.SetFamilyName("Smith");
    cellOnly.SetGivenName("John");
    cellOnly.SetCellVoice("+33 6 12");
    rs_->AddNew();
    EXPECT_TRUE(rs_->ImportHomeFromVCard(&cellOnly));
    EXPECT_EQ(rs_->Name, "Smith John H");
    EXPECT_EQ(rs_->Phone, "+33 6 12");
    EXPECT_EQ(rs_->ShortPhone, "+33612");
    EXPECT_EQ(rs_->Otherphone, "");
    EXPECT_FALSE(rs_->ImportHomeVoiceFromVCard(&cellOnly, 250));
    EXPECT_EQ(rs_->Name, "Smith John H");  // the name is set all the same
    EXPECT_TRUE(rs_->ImportCellVoiceFromVCard(&cellOnly, 250));
    EXPECT_EQ(rs_->Name, "Smith John C");
    EXPECT_FALSE(rs_->ImportWorkFromVCard(&cellOnly));  // no work number, no pager

    CVCard fnOnly;
    fnOnly.SetFormattedName("Smith");
    fnOnly.SetHomeVoice("1");
    EXPECT_TRUE(rs_->ImportHomeVoiceFromVCard(&fnOnly, 250));
    EXPECT_EQ(rs_->Name, "Smith  H");

    CVCard noName;
    noName.SetWorkVoice("2");
    noName.SetPagerVoice("3");
    noName.SetWorkEmail("w@x");
    noName.SetEmail("e@x");
    EXPECT_TRUE(rs_->ImportWorkFromVCard(&noName));
    EXPECT_EQ(rs_->Name, "W");
    EXPECT_EQ(rs_->Phone, "2");
    EXPECT_EQ(rs_->Otherphone, "3");
    EXPECT_EQ(rs_->Email, "w@x");
    EXPECT_FALSE(rs_->ImportHomeFromVCard(nullptr));

    WriteIniProfileString("DragAndDrop", "WorkVoiceExt", "");
    EXPECT_TRUE(rs_->ImportWorkVoiceFromVCard(&noName, 250));
    EXPECT_EQ(rs_->Name, "");
    rs_->CancelUpdate();
}

TEST_F(VCardMapTest, ImportedNameWithSuffixFitsTheStorage)
{
    // A SIM name length of 14: the name is composed in 13 so that the
    // suffix still fits.
    CVCard card;
    card.SetFamilyName("Abcdefghijkl");  // 12 characters
    card.SetGivenName("Zed");
    card.SetHomeVoice("1");
    rs_->AddNew();
    ASSERT_TRUE(rs_->ImportHomeVoiceFromVCard(&card, 14));
    EXPECT_EQ(rs_->Name, "AbcdefghijkZH");
    for (int max = 0; max <= 20; ++max) {
        rs_->ImportHomeVoiceFromVCard(&card, max);
        EXPECT_LE(static_cast<int>(rs_->Name.size()), max) << max;
    }
    CVCard longName;
    longName.SetFormattedName("Abcdefghijklm");  // 13 characters, no second part
    longName.SetHomeVoice("1");
    rs_->ImportHomeVoiceFromVCard(&longName, 14);
    EXPECT_EQ(rs_->Name, "AbcdefghijkH");
    rs_->CancelUpdate();
}

TEST_F(VCardMapTest, TwoHundredAccentedEntriesSurviveExportAndImport)
{
    WriteIniProfileString("DragAndDrop", "HomeVoiceExt", "");
    const char* const first[] = {"M\xFCller", "\xC7" "a\xEFn", "Se\xF1or", "\xD8stberg", "Dvo\x9A\xE1k"};
    std::vector<PBEntry> entries;
    for (int i = 0; i < 200; ++i) {
        PBEntry e;
        e.Location = static_cast<int16_t>(i + 1);
        e.Name = std::string(first[i % 5]) + " Z\xF6\xE9 " + std::to_string(i);
        e.Phone = "+33 1 23 45 " + std::to_string(1000 + i);
        FilterDialChars(e.Phone, e.ShortPhone);
        e.Otherphone = "06" + std::to_string(i);
        e.Fax = "01" + std::to_string(i);
        e.Email = "user" + std::to_string(i) + "@exemple.fr";
        e.Company = "Soci\xE9t\xE9 " + std::to_string(i % 7);
        e.Address = "3 all\xE9" "e des \xC9rables\r\n75000 Paris";
        e.Notes = i % 2 ? "Note \x80 " + std::to_string(i) : std::string();
        entries.push_back(e);
    }
    std::string clip;
    for (const PBEntry& e : entries) {
        rs_->AddNew();
        rs_->SetFromEntry(e);
        CVCard card;
        rs_->ExportToVCard(card);
        rs_->CancelUpdate();
        std::string path;
        ASSERT_TRUE(card.WriteToFile(path));
        CVCard fromFile;
        ASSERT_TRUE(fromFile.ReadFromFile(path));
        // The file names the card after its entry and holds it whole (the
        // reader takes the N line written from the name as the family name).
        EXPECT_EQ(path, GetTempDirectory() + PcToUtf8(card.GetFormattedName()) + ".VCF");
        EXPECT_EQ(fromFile.GetFamilyName(), card.GetFormattedName());
        fromFile.SetFamilyName("");
        ASSERT_TRUE(fromFile == card) << card.ToText();
        clip += card.ToText();
    }
    const auto pieces = SplitVCardText(clip);
    ASSERT_EQ(pieces.size(), entries.size());
    for (size_t i = 0; i < pieces.size(); ++i) {
        CVCard card;
        ASSERT_TRUE(card.ReadFromMemory(pieces[i].data(), pieces[i].size()));
        rs_->AddNewAtLocation(static_cast<int>(i + 1));
        ASSERT_TRUE(rs_->ImportHomeFromVCard(&card));
        rs_->Location = static_cast<int16_t>(i + 1);
        rs_->Update();
    }
    CEntryPhoneRecordset check(&db_);
    check.Open(dbOpenDynaset, "SELECT * FROM EntryPhone ORDER BY Location");
    for (const PBEntry& e : entries) {
        ASSERT_FALSE(check.IsEOF());
        std::string name = check.Name;
        TrimRight(name);  // the composed name's separating blanks
        EXPECT_EQ(name, e.Name);
        EXPECT_EQ(check.Phone, e.Phone);
        EXPECT_EQ(check.ShortPhone, e.ShortPhone);
        EXPECT_EQ(check.Otherphone, e.Otherphone);
        EXPECT_EQ(check.Fax, e.Fax);
        EXPECT_EQ(check.Email, e.Email);
        EXPECT_EQ(check.Company, e.Company);
        EXPECT_EQ(check.Address, e.Address);
        EXPECT_EQ(check.Notes, e.Notes);
        check.MoveNext();
    }
}

TEST_F(VCardMapTest, SettingsDialogNeedsOneKindAndWritesOnlyOnOK)
{
    WriteIniProfileString("DragAndDrop", "HomeVoiceExt", "");
    WriteIniProfileString("DragAndDrop", "WorkVoiceExt", "B");
    {
        CDlgDragAndDrop dlg;
        QTimer::singleShot(0, [&] {
            EXPECT_EQ(qobject_cast<QLineEdit*>(dlg.GetDlgItem(1152))->text(), "H");
            EXPECT_EQ(qobject_cast<QLineEdit*>(dlg.GetDlgItem(1153))->text(), "B");
            EXPECT_EQ(qobject_cast<QLineEdit*>(dlg.GetDlgItem(1153))->maxLength(), 1);
            for (int id : {1149, 1150, 1151})
                qobject_cast<QCheckBox*>(dlg.GetDlgItem(id))->setChecked(false);
            dlg.OnOK();  // refused: stays open
            EXPECT_TRUE(dlg.isVisible());
            qobject_cast<QCheckBox*>(dlg.GetDlgItem(1151))->setChecked(true);
            qobject_cast<QLineEdit*>(dlg.GetDlgItem(1154))->setText("M");
            dlg.OnOK();
        });
        EXPECT_EQ(dlg.DoModal(), IDOK);
    }
    ASSERT_EQ(app_.shown.size(), 1u);
    EXPECT_EQ(app_.shown[0].text.trimmed(), app_.LoadString(31883));
    EXPECT_EQ(GetIniProfileInt("DragAndDrop", "HomeVoiceNumber", -1), 0);
    EXPECT_EQ(GetIniProfileInt("DragAndDrop", "CellVoiceNumber", -1), 1);
    EXPECT_EQ(GetCellVoiceExt(), "M");
    EXPECT_EQ(GetHomeVoiceExt(), "H");

    CDlgDragAndDrop cancelled;
    QTimer::singleShot(0, [&] {
        qobject_cast<QCheckBox*>(cancelled.GetDlgItem(1149))->setChecked(true);
        cancelled.OnCancel();
    });
    EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
    EXPECT_EQ(GetIniProfileInt("DragAndDrop", "HomeVoiceNumber", -1), 0);
}
