// Service-centre profiles: ".SRV" files, the list's lookups, the profile
// dialog's failed save, and a phone profile written to the simulator and
// read back.
#include "walkthrough.h"
#include "../phonebook/pb_fixture.h"

#include "diskfaults.h"
#include "dlgservicecenter.h"
#include "entrylistctrl.h"
#include "profile.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <sstream>

using pbtest::PhonebookSimTest;

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

class ServiceCenterTest : public PhonebookSimTest {
protected:
    std::string Files() { return app.GetFilesDir(); }
    QString Q(const std::string& s) { return QString::fromStdString(s); }
    static CServiceCenter* Phone(int index, int type, const std::string& number)
    {
        auto* p = new CServiceCenter;
        p->SetType(type);
        p->SetIndex(index);
        p->SetPhoneNumber(number);
        p->SetDisplayName(false);
        return p;
    }
};

TEST_F(ServiceCenterTest, SrvFilesRoundTripAndForgiveTheirKeys)
{
    const std::string canonical =
        "NAME=Office\r\nTYPE=2\r\nINDEX=-1\r\nPHONENUMBER=+33 6 89 00 40 00\r\nTEXTFORMAT=5\r\nVALIDITYPERIOD=2\r\n";
    WriteAll(Files() + "a.SRV", canonical);
    CServiceCenter p;
    ASSERT_TRUE(p.Load(Q(Files() + "a.SRV")));
    EXPECT_EQ(p.GetName(), "Office");
    EXPECT_EQ(p.GetPhoneNumber(), "+33 6 89 00 40 00");
    EXPECT_EQ(p.GetDialNumber(), "+33689004000");
    ASSERT_TRUE(p.Save(Q(Files() + "b.SRV")));
    EXPECT_EQ(ReadAll(Files() + "b.SRV"), canonical);
    EXPECT_EQ(p.GetFilePath(), Q(Files() + "b.SRV"));

    // Lower-case keys, a quoted name with a comma, a text format out of
    // range (kept as read, written clamped), a PC profile with an index.
    WriteAll(Files() + "c.SRV",
             "name=\"Home, main\"\r\ntype=2\r\nindex=4\r\nphonenumber=\"+3312\"\r\ntextformat=9\r\nvalidityperiod=3\r\n");
    CServiceCenter q;
    ASSERT_TRUE(q.Load(Q(Files() + "c.SRV")));
    EXPECT_EQ(q.GetName(), "Home main");
    EXPECT_EQ(q.GetPhoneNumber(), "+3312");
    EXPECT_EQ(q.GetFormat(), 9);
    EXPECT_EQ(q.GetIndex(), -1);
    ASSERT_TRUE(q.Save(QString()));
    EXPECT_EQ(ReadAll(Files() + "c.SRV"),
              "NAME=Home main\r\nTYPE=2\r\nINDEX=-1\r\nPHONENUMBER=+3312\r\nTEXTFORMAT=7\r\nVALIDITYPERIOD=3\r\n");

    // A number without a name: named after it, but not a profile to list.
    WriteAll(Files() + "d.SRV", "PHONENUMBER=+3399\r\n");
    CServiceCenter r;
    EXPECT_FALSE(r.Load(Q(Files() + "d.SRV")));
    EXPECT_EQ(r.GetName(), "+3399");
    WriteAll(Files() + "e.SRV", "NAME=Nothing\r\n");
    EXPECT_FALSE(r.Load(Q(Files() + "e.SRV")));

    CServiceCenterList list;
    list.Load(Q(Files()), "*.SRV", nullptr);
    ASSERT_EQ(list.GetCount(), 2);  // "Office" twice (a and b) counts once
    EXPECT_EQ(list.GetAt(0)->GetName(), "Home main");
    EXPECT_EQ(list.GetAt(1)->GetName(), "Office");
}

TEST_F(ServiceCenterTest, DamagedProfileFilesAreNamedAndLeftAsTheyAre)
{
    // The number last, so that the file cut short has none.
    const std::string good =
        "NAME=Office\r\nTYPE=2\r\nINDEX=-1\r\nTEXTFORMAT=5\r\nVALIDITYPERIOD=2\r\nPHONENUMBER=+33 6 89 00 40 00\r\n";
    WriteAll(Files() + "good.SRV", good);
    const auto damaged = zorqtest::WriteDamagedShapes(Files(), "bad", ".SRV", good);
    std::vector<std::string> before;
    for (const auto& d : damaged)
        before.push_back(ReadAll(d.path));
    CServiceCenterList list;
    list.Load(Q(Files()), "*.SRV", nullptr);
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetAt(0)->GetName(), "Office");
    for (size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE(damaged[i].shape);
        int naming = 0;
        for (const auto& box : app.shown)
            naming += box.text.contains(QString::fromStdString(damaged[i].path));
        if (damaged[i].shape == "folder")
            EXPECT_EQ(naming, 0) << "a folder is not listed as a profile";
        else
            EXPECT_GE(naming, 1) << "no message names the file";
        EXPECT_EQ(ReadAll(damaged[i].path), before[i]);
    }
}

TEST_F(ServiceCenterTest, SaveSucceedsOnlyWhenTheWholeFileIsWritten)
{
    CServiceCenter p;
    p.SetName("Kept", true);
    p.SetPhoneNumber("+331");
    ASSERT_TRUE(p.Save(Q(Files() + "kept.SRV")));
    const std::string before = ReadAll(Files() + "kept.SRV");
    // A folder that does not exist: nothing written, failure reported.
    p.SetPhoneNumber("+332");
    EXPECT_FALSE(p.Save(Q(Files() + "gone/kept.SRV")));
    EXPECT_EQ(p.GetFilePath(), Q(Files() + "kept.SRV"));
    // The new file cannot be written whole (as on a full disk): the old one
    // stays whole and no temporary file is left.
    {
        zorqtest::FileSizeLimit full(16);
        ASSERT_TRUE(full.Active());
        EXPECT_FALSE(p.Save(Q(Files() + "kept.SRV")));
    }
    EXPECT_EQ(ReadAll(Files() + "kept.SRV"), before);
    EXPECT_TRUE(p.Save(Q(Files() + "kept.SRV")));
    EXPECT_NE(ReadAll(Files() + "kept.SRV"), before);
    for (const auto& e : std::filesystem::directory_iterator(Files()))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

TEST_F(ServiceCenterTest, ANewProfileTakesTheUmaskAndARewrittenOneKeepsItsMode)
{
    CServiceCenter p;
    p.SetName("Modes", true);
    p.SetPhoneNumber("+331");
    {
        zorqtest::UmaskScope mask(077);
        ASSERT_TRUE(p.Save(QString()));
    }
    const std::string path = p.GetFilePath().toStdString();
    EXPECT_EQ(zorqtest::FileMode(path), 0600u);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    p.SetPhoneNumber("+332");
    ASSERT_TRUE(p.Save(QString()));
    EXPECT_EQ(zorqtest::FileMode(path), 0640u);
    {
        zorqtest::UmaskScope mask(002);
        ASSERT_TRUE(p.Save(Q(Files() + "wide.SRV")));
    }
    EXPECT_EQ(zorqtest::FileMode(Files() + "wide.SRV"), 0664u);
}

TEST_F(ServiceCenterTest, PhoneProfileLookupsAndNames)
{
    CServiceCenterList list;
    list.Add(Phone(0, CServiceCenter::kPhoneDefault, "+330"));
    list.Add(Phone(1, CServiceCenter::kPhone, ""));
    list.Add(Phone(2, CServiceCenter::kPhone, "+332"));
    auto* pc = new CServiceCenter;
    pc->SetName("Abc", true);
    pc->SetPhoneNumber("+33 2");
    list.Add(pc);
    EXPECT_EQ(list.CountPhoneProfiles(), 3);
    // 1 to the last first, then 0; a profile without a number does not count.
    EXPECT_EQ(list.GetFirstDefinedProfile(-1), 2);
    EXPECT_EQ(list.GetFirstDefinedProfile(1), 0);
    EXPECT_EQ(list.FindByIndex(2)->GetPhoneNumber(), "+332");
    EXPECT_EQ(list.FindByIndex(-1), nullptr);  // the PC profile has no phone index
    EXPECT_EQ(list.FindSameParameters(list.FindByIndex(2)), pc);  // "Abc" sorts first
    EXPECT_EQ(list.GetFirstPhoneProfileRow(), 1);
    EXPECT_EQ(list.GetAt(1)->GetName(), app.FormatString(31874, {"1"}));

    list.RenameProfiles(true);
    EXPECT_NE(list.FindByName(app.FormatString(31723, {"0"})), nullptr);
    EXPECT_NE(list.FindByName(app.FormatString(31724, {"2"})), nullptr);
    EXPECT_EQ(list.CountPhoneProfiles(), 3);
    list.RemoveByType(CServiceCenter::kPhone);
    list.RemoveByType(CServiceCenter::kPhoneDefault);
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetFirstDefinedProfile(-1), -1);

    // With no remembered choice and no phone profile with a number, the
    // panel selects the first row.
    QWidget owner2;
    CServiceCenterListWnd wnd(&owner2);
    wnd.SetDocument(&list);
    wnd.SelectSavedProfile();
    EXPECT_EQ(wnd.GetSelectedProfile(), pc);
}

TEST_F(ServiceCenterTest, FailedSaveKeepsTheDialogOpenWithTheOldValues)
{
    CServiceCenterList list;
    auto* p = new CServiceCenter;
    p->SetName("Work", true);
    p->SetPhoneNumber("+33100");
    ASSERT_TRUE(p->Save(Q(Files() + "Work.SRV")));
    list.Add(p);
    std::filesystem::remove(Files() + "Work.SRV");
    std::filesystem::create_directories(Files() + "Work.SRV/blocked");  // the file cannot come back

    CDlgServiceCenter dlg(&owner, p, &list);
    bool stayed = false;
    QTimer::singleShot(0, [&] {
        EXPECT_FALSE(zorqtest::SaveScreen(&dlg, QStringLiteral("service_centre_dialog")).isEmpty());
        qobject_cast<QLineEdit*>(dlg.GetDlgItem(1011))->setText("+33999");
        QTest::mouseClick(qobject_cast<QPushButton*>(dlg.GetDlgItem(1)), Qt::LeftButton);
        stayed = dlg.isVisible();
        dlg.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(p->GetPhoneNumber(), "+33100");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], Text(31726));

    // A new profile: saved under its name in the Files folder and listed.
    CDlgServiceCenter add(&owner, nullptr, &list);
    QTimer::singleShot(0, [&] {
        qobject_cast<QLineEdit*>(add.GetDlgItem(1012))->setText("holiday");
        qobject_cast<QLineEdit*>(add.GetDlgItem(1011))->setText("+33 700");
        qobject_cast<QComboBox*>(add.GetDlgItem(1021))->setCurrentIndex(1);
        QTest::mouseClick(qobject_cast<QPushButton*>(add.GetDlgItem(1)), Qt::LeftButton);
    });
    EXPECT_EQ(add.DoModal(), IDOK);
    CServiceCenter* h = list.FindByName("Holiday");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->GetValidity(), 1);
    EXPECT_EQ(ReadAll(Files() + "Holiday.SRV"),
              "NAME=Holiday\r\nTYPE=2\r\nINDEX=-1\r\nPHONENUMBER=+33 700\r\nTEXTFORMAT=0\r\nVALIDITYPERIOD=1\r\n");
}

TEST_F(ServiceCenterTest, PhoneProfileIsWrittenToThePhoneAndReadBack)
{
    Start();
    gv_SPIO_com_status = 2;
    CServiceCenter p;
    p.SetType(CServiceCenter::kPhone);
    p.SetIndex(2);
    p.SetPhoneNumber("+33611223344");
    p.SetValidity(1);
    p.SetFormat(0);
    ASSERT_TRUE(p.Save(QString()));
    CServiceCenter back;
    back.SetType(CServiceCenter::kPhone);
    back.SetIndex(2);
    ASSERT_EQ(mtr_SMS_get_model_parameters(&back), MTR_DONE);
    EXPECT_EQ(back.GetPhoneNumber(), "+33611223344");
    EXPECT_EQ(back.GetValidity(), 1);
    EXPECT_TRUE(Boxes().empty());

    // A profile the phone does not have: one message, not two, whether the
    // engine or the profile tells it.
    struct BoxHost : engine_test::TestHost {
        int MessageBoxByIdWithNumber(int, int, int) override { return ++boxes, 1; }
        int MessageBoxById(int, int) override { return ++boxes, 1; }
        int boxes = 0;
    } boxHost;
    boxHost.folder = host.folder;
    engine_set_host(&boxHost);
    CServiceCenter bad(p);
    bad.SetIndex(9);
    EXPECT_FALSE(bad.Save(QString()));
    engine_set_host(&host);
    EXPECT_EQ(boxHost.boxes + static_cast<int>(Boxes().size()), 1);
}

}  // namespace
