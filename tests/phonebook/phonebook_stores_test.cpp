// The phonebook screen on each of its stores against the simulator: the
// SIM's fixed-dialling phonebook behind PIN2, the phone memory, and PC
// databases chosen and created from the PC button's menu.
#include "screen_fixture.h"

#include "confirm.h"
#include "filedlg.h"
#include "pbsourcedata.h"
#include "profile.h"
#include "srclist.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>

#ifdef ZORQ_HAVE_SECURITY_DIALOG
#include "dlgsecurcode.h"
#endif

using pbtest::PhoneBookScreenTest;

namespace {

class StoresTest : public PhoneBookScreenTest {
protected:
    void NewEntry(const QString& name, const QString& number)
    {
        screen->OnCommand(1069);
        ASSERT_TRUE(screen->IsAddMode());
        Type(1012, name);
        Type(1013, number);
        screen->OnCommand(1025);
    }
    // A right click on the PC button, choosing `command` in its menu (0:
    // the menu is closed without a choice).
    void PCMenu(unsigned command)
    {
        QTimer::singleShot(20, [command] {
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(popup, nullptr) << "the PC menu is shown";
            if (command == 0) {
                popup->close();
                return;
            }
            for (QAction* a : popup->actions())
                if (a->data().toUInt() == command)
                    popup->setActiveAction(a);
            QTest::keyClick(popup, Qt::Key_Return);
        });
        QWidget* pc = screen->Pane()->GetPCButton();
        QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(4, 4), pc->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(pc, &e);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
};

}  // namespace

#ifdef ZORQ_HAVE_SECURITY_DIALOG
TEST_F(StoresTest, FixedDiallingAsksPin2OncePerConnection)
{
    StartPhone();
    FullFeaturePhone();
    app.codeDialog = [](QWidget* parent, int kind, int newCodeForm, int value) {
        CDlgSecurCode dlg(parent, kind, CDlgSecurCode::MODE_PHONE, newCodeForm, value);
        return dlg.DoModal();
    };
    Open();
    screen->Pane()->GetSIMFDNButton()->click();
    ASSERT_TRUE(screen->Pane()->Data().IsSrcSIMFDN());
    EXPECT_EQ(List()->GetRowCount(), 0);
    EXPECT_EQ(app.codeDialogRuns, 0) << "reading the store needs no PIN2";

    // A cancelled prompt writes nothing and is asked again next time.
    DriveModal<CDlgSecurCode>({[](CDlgSecurCode* d) { d->EndDialog(IDCANCEL); }});
    screen->OnCommand(1069);
    EXPECT_FALSE(screen->IsAddMode());
    EXPECT_EQ(app.codeDialogRuns, 1);

    // A wrong PIN2 shows the attempts left; the right one lets the entry in.
    int kind = -1;
    DriveModal<CDlgSecurCode>({
        [&](CDlgSecurCode* d) {
            kind = d->Kind();
            qobject_cast<QLineEdit*>(d->GetDlgItem(1121))->setText("0000");
            qobject_cast<QAbstractButton*>(d->GetDlgItem(1))->click();
        },
        [](CDlgSecurCode* d) {
            qobject_cast<QLineEdit*>(d->GetDlgItem(1121))->setText("5678");
            qobject_cast<QAbstractButton*>(d->GetDlgItem(1))->click();
        },
    });
    NewEntry("Emergency", "112");
    EXPECT_EQ(kind, 3) << "the prompt asks for PIN2";
    EXPECT_EQ(app.codeDialogRuns, 2);
    EXPECT_NE(std::find(Boxes().begin(), Boxes().end(), Text(31777, {"2"})), Boxes().end());
    EXPECT_EQ(PhoneEntries("FD"), "1 \"112\" 129 \"Emergency\"\n");
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Emergency|112|"}));

    // The rest of the connection asks no more: another entry, a copy from
    // the SIM and an erase.
    NewEntry("Police", "17");
    screen->Pane()->GetSIMButton()->click();
    ASSERT_TRUE(screen->Pane()->IsSrcSIM());
    List()->SelectRow(List()->FindRowByLocation(2));  // Bob
    screen->ClickDstMirrorDatabase(6, nullptr);
    screen->Pane()->GetSIMFDNButton()->click();
    ASSERT_TRUE(screen->Pane()->Data().IsSrcSIMFDN());
    EXPECT_EQ(PhoneEntries("FD"), "1 \"112\" 129 \"Emergency\"\n2 \"17\" 129 \"Police\"\n3 \"0687654321\" 129 \"Bob\"\n");
    EXPECT_EQ(Rows().size(), 3u);
    List()->SelectRow(List()->FindRowByLocation(2));
    AnswerNext<CDlgConfirm>(6);
    screen->OnBTrash();
    EXPECT_EQ(PhoneEntries("FD").find("Police"), std::string::npos);
    EXPECT_EQ(PhonebookSimTest::Rows(GetPBDatabaseName(2)), "1 112 Emergency\n3 0687654321 Bob\n");
    EXPECT_EQ(app.codeDialogRuns, 2);
}
#endif

TEST_F(StoresTest, WithoutCodeEntryTheUserIsSentToThePhone)
{
    // The phone waits for PIN2 and codes cannot be typed in the program:
    // only a message, no prompt.
    Start("pin-state SIM PIN2\n");
    EXPECT_FALSE(doc->VerifyPin2Code());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31433)}));
    sim->command("pin-state SIM PUK2");
    EXPECT_FALSE(doc->VerifyPin2Code());
    EXPECT_EQ(Boxes().back(), Text(31440));
    // A ready phone lets the caller go on without asking.
    app.shown.clear();
    sim->command("pin-state READY");
    EXPECT_TRUE(doc->VerifyPin2Code());
    EXPECT_TRUE(app.shown.empty());
    EXPECT_EQ(app.codeDialogRuns, 0);
    // A phone that does not answer is no permission.
    sim->command("mute on");
    EXPECT_FALSE(doc->VerifyPin2Code());
}

TEST_F(StoresTest, PhoneMemoryIsReadEditedAndItsLimitsHold)
{
    StartPhone();
    Open();
    screen->Pane()->GetPhoneButton()->click();
    ASSERT_TRUE(screen->Pane()->IsSrcPhone());
    EXPECT_TRUE(doc->IsPBStorageRead(3));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Home|0299887766|", "Office|+33145678900|"}));
    EXPECT_EQ(Label(1110).toStdString(), Text(31839, {"198"}));
    // Only the name and the number can be edited for a phone store.
    List()->SelectRow(0);
    EXPECT_TRUE(screen->GetDlgItem(1012)->isEnabled());
    EXPECT_FALSE(screen->GetDlgItem(1014)->isEnabled());

    // A number longer than the store takes is refused before anything is sent.
    const std::string before = PhoneEntries("ME");
    screen->OnCommand(1069);
    Type(1012, "Long");
    Type(1013, QString(33, '1'));
    screen->OnCommand(1025);
    EXPECT_EQ(Boxes().back(), Text(31468, {"32"}));
    EXPECT_EQ(PhoneEntries("ME"), before);
    screen->OnCommand(1026);

    // The name limit of the phone memory (20) is wider than the SIM's.
    NewEntry("Twenty characters ok", "0611");
    EXPECT_NE(PhoneEntries("ME").find("3 \"0611\" 129 \"Twenty characters ok\""), std::string::npos) << PhoneEntries("ME");
    EXPECT_EQ(PhonebookSimTest::Rows(GetPBDatabaseName(3)),
              "1 +33145678900 Office\n2 0299887766 Home\n3 0611 Twenty characters ok\n");

    // Change the name of Office; delete Home.
    List()->DeselectAll();
    List()->SelectRow(List()->FindRowByLocation(1));
    Type(1012, "Work");
    screen->OnCommand(1025);
    EXPECT_NE(PhoneEntries("ME").find("1 \"+33145678900\" 145 \"Work\""), std::string::npos);
    List()->DeselectAll();
    List()->SelectRow(List()->FindRowByLocation(2));
    AnswerNext<CDlgConfirm>(6);
    screen->OnBTrash();
    EXPECT_EQ(PhoneEntries("ME").find("Home"), std::string::npos);
    EXPECT_EQ(PhonebookSimTest::Rows(GetPBDatabaseName(3)), "1 +33145678900 Work\n3 0611 Twenty characters ok\n");
}

TEST_F(StoresTest, PCDatabasesAreOpenedAndCreatedFromThePCMenu)
{
    MakePCDatabase("defpb.mdb", {Entry("Ann", "0101"), Entry("Ben", "0202")});
    const std::string work = MakePCDatabase("work.mdb", {Entry("Carl", "0303")});
    const std::string fresh = app.GetFolderPath() + "fresh.mdb";
    StartPhone();
    Open();
    screen->Pane()->GetPCButton()->click();
    ASSERT_TRUE(screen->Pane()->IsSrcPC());
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Ann|0101|", "Ben|0202|"}));
    EXPECT_EQ(Label(1110).toStdString(), Text(31840));

    // Another database chosen in the menu replaces the list and is kept.
    SetFileDlgRunner([&](CQXFileDlg& d) {
        d.selectFile(QString::fromStdString(work));
        return IDOK;
    });
    PCMenu(ID_PC_OPEN_DATABASE);
    EXPECT_TRUE(screen->Pane()->IsSrcPC());
    EXPECT_TRUE(screen->Pane()->GetPCButton()->isChecked());
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Carl|0303|"}));
    // A file of the Database folder is kept by its name and found there again.
    EXPECT_EQ(GetIniProfileString("Databases", "Phonebook", ""), "work.mdb");
    EXPECT_EQ(CPBSourceData::GetPCDatabasePath(), work);
    EXPECT_NE(Label(1002).indexOf("work"), -1) << Label(1002).toStdString();

    // A new database, from the SIM: the pane moves to the new, empty file,
    // and an entry with every field lands in it.
    screen->Pane()->GetSIMButton()->click();
    ASSERT_TRUE(screen->Pane()->IsSrcSIM());
    SetFileDlgRunner([&](CQXFileDlg& d) {
        d.selectFile(QString::fromStdString(fresh));
        return IDOK;
    });
    PCMenu(ID_PC_NEW_DATABASE);
    SetFileDlgRunner(nullptr);
    EXPECT_TRUE(screen->Pane()->IsSrcPC()) << "the menu's close keeps the new database";
    EXPECT_TRUE(QFile::exists(QString::fromStdString(fresh)));
    EXPECT_EQ(List()->GetRowCount(), 0);
    EXPECT_EQ(Label(1002).toStdString(), Text(31253, {Text(31464, {"fresh"}).c_str()}));
    screen->OnCommand(1069);
    Type(1012, "Dora");
    Type(1013, "0404");
    Type(1018, "dora@example.org");
    screen->OnCommand(1025);
    CJetDatabase db;
    db.Open(fresh);
    CEntryPhoneRecordset rs(&db);
    rs.Open(dbOpenDynaset, "SELECT * FROM EntryPhone");
    ASSERT_FALSE(rs.IsEOF());
    EXPECT_EQ(rs.Name, "Dora");
    EXPECT_EQ(rs.Email, "dora@example.org");
    rs.Close();

    // The menu closed without a choice goes back to the store shown before.
    screen->Pane()->GetSIMButton()->click();
    PCMenu(0);
    EXPECT_TRUE(screen->Pane()->IsSrcSIM());
    EXPECT_TRUE(screen->Pane()->GetSIMButton()->isChecked());
    EXPECT_EQ(Rows().size(), 3u);
}
