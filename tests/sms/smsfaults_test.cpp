// The message screen against a damaged PC message database: the database's
// open error is shown instead of an empty list, and the file is left as it is.
#include "sms_fixture.h"

#include "dbdamage.h"
#include "diskfaults.h"
#include "profile.h"

#include <QApplication>
#include <QMenu>
#include <QTimer>

using smstest::Row;
using smstest::ShortMsgSimTest;
using zorqtest::DbDamage;

namespace {

// The message screen opened on the PC store with `path` as its file; the PC
// menu the screen offers when the file will not open is closed without a
// choice. Gives the messages shown.
class PCMessagesTest : public ShortMsgSimTest {
protected:
    std::vector<std::string> OpenOnPCFile(const std::string& path)
    {
        EXPECT_TRUE(WriteIniProfileString("Databases", "SMS", path));
        WriteIniProfileInt("SMSMT", "Source", 0);
        app.shown.clear();
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (QWidget* popup = QApplication::activePopupWidget())
                popup->close();
        });
        closer.start(20);
        Open(0);
        closer.stop();
        return Boxes();
    }
    // The path as messages show it: the program folder shortened ("...").
    std::string Shown(std::string path)
    {
        path.replace(0, app.GetAppDir().size(), "...");
        return path;
    }
};

}  // namespace

TEST_F(PCMessagesTest, ADamagedPCMessageDatabaseIsReportedNotShownEmptyAndLeftAsItIs)
{
    StartSMS();
    std::vector<Row> rows;
    for (int i = 1; i <= 300; ++i)
        rows.push_back({i, 1, "@+3361" + std::to_string(i) + "\r\n", "Message number " + std::to_string(i)});
    for (DbDamage what : {DbDamage::TableRoot, DbDamage::IndexRoot, DbDamage::TableLeaf}) {
        SCOPED_TRACE(zorqtest::DbDamageName(what));
        const std::string name = std::string("damaged-") + zorqtest::DbDamageName(what) + ".mdb";
        const std::string path = MakePCMessages(rows, name);
        ASSERT_TRUE(zorqtest::DamageDatabase(path, "EntrySMS", "indLoc", what));
        const std::string before = zorqtest::ReadFile(path);
        const std::vector<std::string> boxes = OpenOnPCFile(path);
        ASSERT_FALSE(boxes.empty()) << "the damaged file passed for an empty store";
        EXPECT_EQ(boxes.front(), Text(31456, {QString::fromStdString(Shown(path))}));
        EXPECT_EQ(List()->GetRowCount(), 0);
        Close();
        EXPECT_EQ(zorqtest::ReadFile(path), before) << "the damaged file was written to";
    }
}

// A PC message file cut short, empty, random bytes, a folder or a name no
// open can follow: the screen names it instead of showing an empty list, and
// the file is left as it was.
TEST_F(PCMessagesTest, EveryDamagedShapeOfThePCMessageFileIsNamedAndLeftAsItIs)
{
    StartSMS();
    std::vector<Row> rows;
    for (int i = 1; i <= 300; ++i)
        rows.push_back({i, 1, "@+3361" + std::to_string(i) + "\r\n", "Message number " + std::to_string(i)});
    const std::string good = zorqtest::ReadFile(MakePCMessages(rows, "shape-good.mdb"));
    for (const auto& d : zorqtest::WriteDamagedShapes(app.GetFolderPath(), "messages", ".mdb", good)) {
        SCOPED_TRACE(d.shape);
        const std::string before = zorqtest::ReadFile(d.path);
        const std::vector<std::string> boxes = OpenOnPCFile(d.path);
        ASSERT_FALSE(boxes.empty()) << "the damaged file passed for an empty store";
        EXPECT_NE(boxes.front().find(Shown(d.path)), std::string::npos) << boxes.front();
        EXPECT_EQ(List()->GetRowCount(), 0);
        Close();
        EXPECT_EQ(zorqtest::ReadFile(d.path), before) << "the damaged file was written to";
    }
}
