// The message screen against a damaged PC message database: the database's
// open error is shown instead of an empty list, and the file is left as it is.
#include "sms_fixture.h"

#include "dbdamage.h"
#include "profile.h"

#include <QApplication>
#include <QMenu>
#include <QTimer>

using smstest::Row;
using smstest::ShortMsgSimTest;
using zorqtest::DbDamage;

TEST_F(ShortMsgSimTest, ADamagedPCMessageDatabaseIsReportedNotShownEmptyAndLeftAsItIs)
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
        ASSERT_TRUE(WriteIniProfileString("Databases", "SMS", path));
        WriteIniProfileInt("SMSMT", "Source", 0);
        app.shown.clear();
        // The screen offers its PC menu when the PC store will not open: the
        // user closes it without a choice.
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (QWidget* popup = QApplication::activePopupWidget())
                popup->close();
        });
        closer.start(20);
        Open(0);
        closer.stop();
        const std::vector<std::string> boxes = Boxes();
        ASSERT_FALSE(boxes.empty()) << "the damaged file passed for an empty store";
        // The program folder in the path is shown shortened ("...").
        std::string shown = path;
        shown.replace(0, app.GetAppDir().size(), "...");
        EXPECT_EQ(boxes.front(), Text(31456, {QString::fromStdString(shown)}));
        EXPECT_EQ(List()->GetRowCount(), 0);
        Close();
        EXPECT_EQ(zorqtest::ReadFile(path), before) << "the damaged file was written to";
    }
}
