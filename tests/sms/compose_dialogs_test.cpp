// The recipient directory and the two text dialogs, clicked as a user
// clicks them, against the phone simulator.
#include "../phonebook/pb_fixture.h"
#include "../app/doc_fixture.h"

#include "confirm.h"
#include "deleterun.h"
#include "dlgmsgdirectory.h"
#include "dlgmsgsend.h"
#include "dlgservicecenter.h"
#include "sendoptions.h"
#include "dlgmsgtext.h"
#include "entrylistctrl.h"
#include "message.h"
#include "profile.h"
#include "qxpbsrcnewlist.h"
#include "tab_walk.h"
#include "walkthrough.h"
#include "user_actions.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

using pbtest::PhonebookSimTest;

namespace {

// Runs `act` on the first visible dialog of type T once the event loop
// turns (the dialog is then modal and waiting).
template <class T>
void WhenShown(std::function<void(T*)> act)
{
    QTimer::singleShot(0, [act] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<T*>(w); d && d->isVisible()) {
                act(d);
                return;
            }
    });
}

void Click(QWidget* w)
{
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->isEnabled());
    QTest::mouseClick(w, Qt::LeftButton);
}

class DirectoryTest : public PhonebookSimTest {
protected:
    void SetUp() override
    {
        PhonebookSimTest::SetUp();
        g_nDeletePauseMs = 0;
    }
    void TearDown() override
    {
        dlg.reset();
        g_nDeletePauseMs = 500;
        PhonebookSimTest::TearDown();
    }
    void Open()
    {
        dlg = std::make_unique<CDlgMsgDirectory>(&msg, &owner, doc.get());
        ASSERT_TRUE(dlg->CreateFromTemplate());
        dlg->OnInitDialog();
        dlg->show();
        dlg->FirstLoad();
        QCoreApplication::processEvents();
    }
    CEntryListCtrl* Book() { return dlg->Pane()->GetListCtrl(); }
    int BookRow(const QString& name)
    {
        for (int r = 0; r < Book()->GetRowCount(); ++r)
            if (Book()->GetRowText(r, 0) == name)
                return r;
        return -1;
    }
    int BookRowOfNumber(const QString& number)
    {
        for (int r = 0; r < Book()->GetRowCount(); ++r)
            if (Book()->GetRowText(r, 1) == number)
                return r;
        return -1;
    }
    std::vector<std::string> Shown()
    {
        std::vector<std::string> out;
        CEntryListCtrl* l = dlg->RecipientList();
        for (int r = 0; r < l->GetRowCount(); ++r)
            out.push_back(l->GetRowText(r, 0).toStdString() + "|" + l->GetRowText(r, 1).toStdString());
        return out;
    }
    std::vector<std::string> Recipients()
    {
        std::vector<std::string> out;
        const CAddressList& l = msg.GetAddressList();
        for (int i = 0; i < l.GetCount(); ++i)
            out.push_back(l.GetAt(i)->GetName() + "|" + l.GetAt(i)->GetNumber());
        return out;
    }

    CMessage msg;
    std::unique_ptr<CDlgMsgDirectory> dlg;
};

}  // namespace

TEST_F(DirectoryTest, PicksFromTheSIMAndPCPanesAndFromATypedNewEntry)
{
    MakePCDatabase("defpb.mdb", {Entry("Anna", "+331"), Entry("", "+332")});
    StartPhone();
    Open();
    ASSERT_TRUE(dlg->Pane()->IsSrcSIM());
    ASSERT_GE(BookRow("Bob"), 0);

    // SIM: select Bob and press the add button.
    Book()->SelectRow(BookRow("Bob"));
    Click(dlg->GetDlgItem(1101));
    EXPECT_EQ(Recipients(), (std::vector<std::string>{"Bob|0687654321"}));
    EXPECT_FALSE(Book()->IsRowSelected(BookRow("Bob")));

    // PC: a double click on Anna; the nameless entry's no-name text is no name.
    Click(dlg->Pane()->GetPCButton());
    ASSERT_TRUE(dlg->Pane()->IsSrcPC());
    ASSERT_GE(BookRow("Anna"), 0);
    Book()->SelectRow(BookRow("Anna"));
    Book()->SelectRow(BookRowOfNumber(QStringLiteral("+332")));
    Click(dlg->GetDlgItem(1101));
    // Rows are added in list order (the nameless entry sorts first).
    EXPECT_EQ(Recipients(), (std::vector<std::string>{"Bob|0687654321", "|+332", "Anna|+331"}));
    EXPECT_EQ(Shown(), (std::vector<std::string>{"Bob|0687654321", app.LoadString(31400).toStdString() + "|+332",
                                                 "Anna|+331"}));

    // A new entry typed into the PC phonebook, then added as a recipient.
    WhenShown<CDlgNewEntry>([](CDlgNewEntry* d) {
        auto* name = qobject_cast<QLineEdit*>(d->GetDlgItem(1012));
        auto* number = qobject_cast<QLineEdit*>(d->GetDlgItem(1013));
        EXPECT_FALSE(name->placeholderText().isEmpty());
        QTest::keyClicks(name, QStringLiteral("Dora"));
        QTest::keyClicks(number, QStringLiteral("+33 6 99 88"));
        QTest::mouseClick(d->GetDlgItem(1), Qt::LeftButton);
    });
    dlg->OnBAdd();
    ASSERT_GE(BookRow("Dora"), 0);
    EXPECT_TRUE(Book()->IsRowSelected(BookRow("Dora")));
    Click(dlg->GetDlgItem(1101));
    EXPECT_EQ(Recipients().back(), "Dora|+33 6 99 88");
    EXPECT_EQ(Rows(app.GetFolderPath() + "defpb.mdb").find("+33 6 99 88 Dora") != std::string::npos, true);
    EXPECT_TRUE(app.shown.empty());
}

TEST_F(DirectoryTest, RefusesDuplicatesMissingAndOverlongNumbers)
{
    MakePCDatabase("defpb.mdb", {Entry("Anna", "+331"), Entry("Long", "123456789012345678901"),
                                 Entry("Twenty", "12345678901234567890"), Entry("Empty", "")});
    WriteIniProfileInt("PhoneBook", "Source", 0);
    StartPhone();
    Open();
    ASSERT_TRUE(dlg->Pane()->IsSrcPC());
    for (const char* n : {"Anna", "Long", "Twenty", "Empty"})
        Book()->SelectRow(BookRow(QString::fromLatin1(n)));
    Click(dlg->GetDlgItem(1101));
    EXPECT_EQ(Recipients(), (std::vector<std::string>{"Anna|+331", "Twenty|12345678901234567890"}));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31732), Text(31693, {"20"})}));
    // The recipients' numbers, twenty digits included, show whole.
    CEntryListCtrl* chosen = dlg->RecipientList();
    EXPECT_GE(chosen->columnWidth(1), chosen->fontMetrics().horizontalAdvance(QStringLiteral("12345678901234567890")));
    EXPECT_LE(chosen->columnWidth(0) + chosen->columnWidth(1), chosen->viewport()->width());
    zorqtest::SaveScreen(dlg.get(), QStringLiteral("sms_recipients"));
    // The refused rows stay selected; the added ones do not.
    EXPECT_TRUE(Book()->IsRowSelected(BookRow("Long")));
    EXPECT_FALSE(Book()->IsRowSelected(BookRow("Anna")));

    app.shown.clear();
    Book()->DeselectAll();
    Book()->SelectRow(BookRow("Anna"));
    Click(dlg->GetDlgItem(1101));
    EXPECT_EQ(Recipients().size(), 2u);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Text(31747, {"Anna"})}));
}

TEST_F(DirectoryTest, TabWalksTheRunTimeListsInReadingOrder)
{
    MakePCDatabase("defpb.mdb", {Entry("Anna", "+331")});
    msg.AddAddress("Carl", "0633");
    StartPhone();
    Open();
    dlg->activateWindow();
    QCoreApplication::processEvents();
    // The phonebook list and the recipients' list are put in place of the
    // template's placeholders when the dialog opens: Tab reaches each at its
    // placeholder's place, once, and comes round.
    const zorqtest::TabWalk walk = zorqtest::WalkTab(dlg.get());
    const std::string order = walk.order.toStdString();
    ASSERT_NE(walk.first, nullptr);
    EXPECT_TRUE(walk.cameRound) << order;
    EXPECT_EQ(walk.seen.size(), walk.reachable.size()) << order;
    EXPECT_LE(walk.backwards, 1) << order;
    for (QWidget* list : {static_cast<QWidget*>(Book()), static_cast<QWidget*>(dlg->RecipientList())}) {
        ASSERT_TRUE(walk.reachable.contains(list)) << list->objectName().toStdString();
        EXPECT_EQ(walk.seen.count(list), 1) << list->objectName().toStdString() << ": " << order;
    }
}

TEST_F(DirectoryTest, RemovingARowRemovesItsOwnAddressWhateverItShows)
{
    // Rows that show the no-name text: an empty name, and a name that is
    // the number; a third recipient already served is not listed at all.
    msg.AddAddress("", "0611");
    msg.AddAddress("0622", "0622");
    msg.AddAddress("Carl", "0633");
    msg.AddAddress("Done", "0644");
    msg.GetAddressList().GetAt(3)->SetSent(true);
    StartPhone();
    Open();
    const std::string noName = app.LoadString(31400).toStdString();
    ASSERT_EQ(Shown(), (std::vector<std::string>{noName + "|0611", noName + "|0622", "Carl|0633"}));

    dlg->RecipientList()->SelectRow(1);
    WhenShown<CDlgConfirm>([](CDlgConfirm* c) {
        EXPECT_FALSE(c->GetDlgItem(IDYESTOALL)->isEnabled());
        c->EndDialog(IDYES);
    });
    Click(dlg->GetDlgItem(1102));
    EXPECT_EQ(Recipients(), (std::vector<std::string>{"|0611", "Carl|0633", "Done|0644"}));
    EXPECT_EQ(Shown(), (std::vector<std::string>{noName + "|0611", "Carl|0633"}));

    // Two rows at once, "yes to all".
    dlg->RecipientList()->SelectRow(0);
    dlg->RecipientList()->SelectRow(1);
    WhenShown<CDlgConfirm>([](CDlgConfirm* c) { c->EndDialog(IDYESTOALL); });
    Click(dlg->GetDlgItem(1102));
    EXPECT_EQ(Recipients(), (std::vector<std::string>{"Done|0644"}));
    EXPECT_TRUE(Shown().empty());

    // OK without a recipient left to serve asks; No keeps the dialog open.
    app.systemResult = IDNO;
    app.dialogResult = IDNO;
    dlg->OnOK();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(Boxes().back(), Text(31325));
}

TEST_F(DirectoryTest, NoRecipientAnsweredYesEndsTheStep)
{
    StartPhone();
    WhenShown<CDlgMsgDirectory>([](CDlgMsgDirectory* d) {
        d->FirstLoad();
        QTest::mouseClick(d->GetDlgItem(1), Qt::LeftButton);
    });
    app.systemResult = IDYES;
    app.dialogResult = IDYES;
    CDlgMsgDirectory d(&msg, &owner, doc.get());
    EXPECT_EQ(d.DoModal(), IDOK);
    ASSERT_FALSE(app.shown.empty());
    EXPECT_EQ(Boxes().back(), Text(31325));
}

// ---- Text dialogs ----------------------------------------------------------------------------

TEST(MsgTextRules, QuoteAndCountFollowWhatIsSent)
{
    EXPECT_EQ(QuoteFirstLine(QStringLiteral("Hello   \r\nsecond line")), QStringLiteral("Hello..."));
    // A line break right after 25 characters keeps the line whole.
    const QString line25 = QStringLiteral("abcdefghijklmnopqrstuvwxy");
    EXPECT_EQ(QuoteFirstLine(line25 + "\r\nnext"), line25 + "...");
    EXPECT_EQ(QuoteFirstLine(line25 + "z and more"), line25 + "...");
    EXPECT_EQ(QuoteFirstLine(QStringLiteral("\r\nafter")), QString());

    CMessage seven;
    EXPECT_EQ(CountMsgText(seven, QString()).blocks, 0);
    EXPECT_EQ(CountMsgText(seven, QString(160, QLatin1Char('a'))).blocks, 1);
    EXPECT_EQ(CountMsgText(seven, QString(161, QLatin1Char('a'))).blocks, 2);
    EXPECT_EQ(CountMsgText(seven, QString(300, QLatin1Char('a'))).blocks, 2);
    // Extension characters take two places in a 7-bit text.
    EXPECT_EQ(CountMsgText(seven, QString(80, QLatin1Char('['))).units, 160);
    EXPECT_EQ(CountMsgText(seven, QString(81, QLatin1Char('['))).blocks, 2);
    CMessage ucs2;
    ucs2.SetDcs(2);
    EXPECT_EQ(CountMsgText(ucs2, QString(71, QLatin1Char('a'))).blocks, 2);
    EXPECT_EQ(CountMsgText(ucs2, QString(135, QLatin1Char('a'))).blocks, 3);
}

class TextDialogTest : public PhonebookSimTest {
protected:
    template <class D>
    void Stand(D& d)
    {
        ASSERT_TRUE(d.CreateFromTemplate());
        d.OnInitDialog();
        d.show();
        QCoreApplication::sendPostedEvents();  // the fill message
        QCoreApplication::processEvents();
    }
    // The program and the phone both offer long messages.
    void EnableLongMessages()
    {
        std::string dir = app.GetAppDir();
        if (!dir.empty() && dir.back() != '/')
            dir += '/';
        zorqtest::WriteVersionFile(dir, "PB=1.0,SMS=3.0,ST1=1.0");
        ASSERT_TRUE(app.RegisterVersionEditionNumber());
        doc->ParseMobileVersion("PB=1.0,SMS=3.0,ST1=1.0");
        ASSERT_TRUE(doc->IsMultiBlockSMSAvailable());
    }
    CMessage msg;
};

TEST_F(TextDialogTest, WriteQuotesTheAnsweredMessageAndCountsALongText)
{
    EnableLongMessages();
    msg.AddAddress("Bob", "0687654321");
    msg.SetSpareText("See you at the station   tomorrow\r\nBob");
    msg.SetDate(MakeDateTime(2026, 12, 9, 10, 30));
    CDlgMsgWrite d(&msg, &owner);
    Stand(d);
    const QString header = qobject_cast<QLabel*>(d.GetDlgItem(1089))->text();
    EXPECT_TRUE(header.startsWith(app.FormatString(31763, {"Bob", "", ""}).left(10)));
    EXPECT_TRUE(header.contains(QStringLiteral("Bob")));
    EXPECT_EQ(d.TextEdit()->toPlainText(), app.LoadString(31473) + "See you at the station...\n");

    d.TextEdit()->clear();
    const QString text = QString(150, QLatin1Char('x')) + QStringLiteral(" and a long tail ") + QString(133, QLatin1Char('y'));
    QTest::keyClicks(d.TextEdit(), text);
    EXPECT_EQ(d.CharText(), app.FormatString(31761, {"300"}));
    EXPECT_EQ(d.BlockText(), app.FormatString(31759, {"2"}));
    EXPECT_FALSE(zorqtest::SaveScreen(&d, QStringLiteral("sms_write")).isEmpty());
    d.OnOK();
    EXPECT_EQ(d.result(), IDOK);
    EXPECT_EQ(msg.GetText(), text.toStdString());
}

// A phone without long messages: a text 7-bit cannot carry is counted and
// limited as the UCS2 message it will be (70 characters), a plain one as
// 7-bit (160); the message takes the coding on OK.
TEST_F(TextDialogTest, ATextSevenBitCannotCarryIsCountedAndLimitedAsUcs2)
{
    ASSERT_FALSE(doc->IsMultiBlockSMSAvailable());
    CDlgMsgEdit d(&msg, &owner);
    Stand(d);
    d.TextEdit()->setPlainText(QString(160, QLatin1Char('a')));
    EXPECT_EQ(d.CharText(), app.FormatString(31455, {"160", "160"}));
    const QString accented = QString(69, QLatin1Char('a')) + QChar(0xEA);
    d.TextEdit()->setPlainText(accented);
    EXPECT_EQ(d.CharText(), app.FormatString(31455, {"70", "70"}));
    // One more character is past the UCS2 message: it is not taken.
    d.TextEdit()->setPlainText(accented + QLatin1Char('a'));
    EXPECT_EQ(d.TextEdit()->toPlainText(), accented);
    d.OnOK();
    EXPECT_EQ(d.result(), IDOK);
    EXPECT_EQ(msg.GetDcs(), 2);
    EXPECT_FALSE(msg.IsLong());
}

TEST_F(DirectoryTest, PhonebookRowsDroppedOnTheRecipientsAreAdded)
{
    StartPhone();
    Open();
    Book()->SelectRow(BookRow("Alice"));
    QWidget* target = dlg->RecipientList()->viewport();
    QMimeData foreign;
    foreign.setText(QStringLiteral("Alice"));
    QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &foreign, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &refused);
    EXPECT_FALSE(refused.isAccepted());

    QMimeData rows;
    rows.setData(QStringLiteral("application/x-zorq-directory-rows"), "1");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &rows, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &rows, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    EXPECT_EQ(Recipients(), (std::vector<std::string>{"Alice|+33612345678"}));
}

// The phonebooks are set up again as the directory opens; a fault on the
// line at that moment must not leave the user with the SIM phonebook greyed
// out and nothing said. One lost answer is got over by a second try; a
// refusal that lasts is told, and the user still has the PC phonebook and
// can go back and forward to try again.
TEST_F(DirectoryTest, APhonebookSetUpSpoiltByTheLineIsTriedAgainOrTold)
{
    MakePCDatabase("defpb.mdb", {Entry("Anna", "+331")});
    StartPhone();
    // One directory, its lists loaded by its own first timer tick, then `act`.
    auto run = [this](std::function<void(CDlgMsgDirectory*)> act) {
        WhenShown<CDlgMsgDirectory>([act](CDlgMsgDirectory* d) {
            if (!QTest::qWaitFor([d] { return d->Pane()->Data().Current() != 8; }, 30000)) {
                ADD_FAILURE() << "the directory did not load its lists";
                d->EndDialog(IDCANCEL);
                return;
            }
            act(d);
            // A failed check in `act` leaves the dialog open: it ends here.
            if (d->isVisible())
                d->EndDialog(IDCANCEL);
        });
        CDlgMsgDirectory d(&msg, &owner, doc.get());
        return d.DoModal();
    };

    // One answer lost, cut short or garbled as the directory opens.
    int r = 0;
    for (const char* fault : {"silent-next", "partial-next", "garbage-next"}) {
        SCOPED_TRACE(fault);
        sim->command(std::string("set ") + fault + " on");
        r = run([](CDlgMsgDirectory* d) {
            ASSERT_TRUE(d->Pane()->IsSrcSIM());
            CEntryListCtrl* book = d->Pane()->GetListCtrl();
            int alice = -1;
            for (int row = 0; row < book->GetRowCount(); ++row)
                if (book->GetRowText(row, 0) == QLatin1String("Alice"))
                    alice = row;
            ASSERT_GE(alice, 0);
            QTest::mouseClick(book->viewport(), Qt::LeftButton, Qt::NoModifier, zorqtest::RowPoint(book, alice));
            Click(d->GetDlgItem(1101));
            Click(d->GetDlgItem(IDOK));
        });
        EXPECT_EQ(r, IDOK);
        EXPECT_EQ(Recipients(), (std::vector<std::string>{"Alice|+33612345678"}));
        EXPECT_TRUE(app.shown.empty());
        if (msg.GetAddressList().GetCount() > 0)
            msg.GetAddressList().RemoveAt(0);
    }

    // Refused for as long as the directory is open: told once, PC offered,
    // and the user goes back.
    sim->command("refuse +CPBS=?");
    r = run([](CDlgMsgDirectory* d) {
        EXPECT_TRUE(d->Pane()->IsSrcPC());
        EXPECT_EQ(d->Pane()->GetListCtrl()->GetRowCount(), 1);
        EXPECT_FALSE(d->Pane()->GetSIMButton()->isEnabled());
        Click(d->GetDlgItem(CDlgMsgDirectory::IDC_BACK));
    });
    EXPECT_EQ(r, CDlgMsgDirectory::IDC_BACK);
    ASSERT_EQ(Boxes().size(), 1u);
    const std::string told = Text(31254, {QStringLiteral("@")});
    EXPECT_EQ(Boxes()[0].substr(0, told.find('@')), told.substr(0, told.find('@')));

    // The phone answers again: forward once more, the SIM phonebook is back.
    sim->command("refuse none");
    r = run([](CDlgMsgDirectory* d) {
        EXPECT_TRUE(d->Pane()->IsSrcSIM());
        EXPECT_GT(d->Pane()->GetListCtrl()->GetRowCount(), 0);
        Click(d->GetDlgItem(IDCANCEL));
    });
    EXPECT_EQ(r, IDCANCEL);
    EXPECT_EQ(Boxes().size(), 1u);
}

// ---- Send dialog -----------------------------------------------------------------------------

namespace {

class SendDialogTest : public TextDialogTest {
protected:
    void StartWithProfiles()
    {
        StartPhone();
        ASSERT_EQ(doc->SetupSMS(), -35);
        ASSERT_TRUE(doc->PrepareSIMSMSDatabase());
        EnableLongMessages();
        // What a detection learns: the phone's four message profiles.
        doc->GetMSParam().st1_available = 1;
        doc->GetMSParam().profiles.lowest = 0;
        doc->GetMSParam().profiles.highest = 3;
        doc->SaveSMSparamConfig();
        ASSERT_TRUE(doc->GetSMSParamState());
    }
    void ClickId(CDialog& d, int id)
    {
        auto* b = qobject_cast<QAbstractButton*>(d.GetDlgItem(id));
        ASSERT_NE(b, nullptr) << id;
        ASSERT_TRUE(b->isEnabled()) << id;
        // Quick mouse clicks in a row would count as a double click.
        b->click();
    }
    SMS_SEND_OPTIONS opt;
};

}  // namespace

TEST_F(SendDialogTest, OffersTheMessagesOwnCentreAndAppliesTheChosenProfile)
{
    StartWithProfiles();
    const int before = doc->GetServiceCenterList().GetCount();
    msg.AddAddress("Bob", "0687654321");
    msg.SetText("Hello");
    msg.SetServiceCentre("+33600000099");
    msg.SetValidity(1);
    CDlgMsgSend d(&msg, &opt, &owner, CDlgMsgSend::kTemplateMulti);
    Stand(d);
    // The message's own centre is a temporary profile, chosen.
    ASSERT_EQ(doc->GetServiceCenterList().GetCount(), before + 1);
    ASSERT_NE(d.Profiles()->GetSelectedProfile(), nullptr);
    EXPECT_EQ(d.Profiles()->GetSelectedProfile()->GetPhoneNumber(), "+33600000099");
    EXPECT_EQ(d.Profiles()->GetSelectedProfile()->GetName(), app.LoadString(31745));
    EXPECT_EQ(d.Mode(), 0);
    EXPECT_EQ(d.GetDlgItemText(IDOK), app.LoadString(31326));
    EXPECT_FALSE(d.GetDlgItem(1059)->isEnabled());
    ClickId(d, 1104);
    EXPECT_EQ(d.GetDlgItemText(IDOK), app.LoadString(31328));
    EXPECT_TRUE(d.GetDlgItem(1059)->isEnabled());
    ClickId(d, 1103);
    EXPECT_EQ(d.Mode(), 0);
    EXPECT_FALSE(zorqtest::SaveScreen(&d, QStringLiteral("sms_send")).isEmpty());
    ClickId(d, 1088);
    EXPECT_TRUE(qobject_cast<QAbstractButton*>(d.GetDlgItem(1088))->isChecked());
    ClickId(d, IDOK);
    EXPECT_EQ(d.result(), IDOK) << ::testing::PrintToString(Boxes());
    EXPECT_EQ(msg.GetServiceCentre(), "+33600000099");
    EXPECT_EQ(msg.GetValidity(), 1);
    EXPECT_EQ(msg.GetStatusReport(), 1);
    EXPECT_EQ(opt.mode, 0);
    // The temporary profile is gone again.
    EXPECT_EQ(doc->GetServiceCenterList().GetCount(), before);
}

TEST_F(SendDialogTest, StoreOnlyAndDestinationRules)
{
    StartWithProfiles();
    msg.SetText(std::string(200, 'a'));
    opt.storeOnly = 1;
    opt.destination = SMS_DST_SIM;
    opt.databaseFile.clear();
    CDlgMsgSend d(&msg, &opt, &owner, CDlgMsgSend::kTemplateMulti);
    Stand(d);
    EXPECT_FALSE(d.GetDlgItem(1103)->isEnabled());
    EXPECT_FALSE(d.GetDlgItem(1104)->isEnabled());
    EXPECT_EQ(d.Mode(), 1);
    // A long message cannot be stored in the SIM.
    EXPECT_FALSE(d.GetDlgItem(1059)->isEnabled());
    EXPECT_EQ(d.Destination(), SMS_DST_PC);
    // Storing in the PC needs a database file.
    ClickId(d, IDOK);
    EXPECT_EQ(Boxes().back(), Text(31330));
    EXPECT_NE(d.result(), IDOK);
}

// The walk-through of the send dialog in both its forms and every mode: the
// OK button's caption changes with the mode and must show whole in each, as
// must everything else the dialog shows then (the clipping check of the
// walk-through fails the test otherwise).
TEST_F(SendDialogTest, EveryModeOfBothFormsShowsItsCaptionsWhole)
{
    StartWithProfiles();
    msg.AddAddress("Bob", "0687654321");
    msg.SetText(std::string(161, 'p'));
    WriteUnitPrice(0.15);
    const struct { int id; int caption; const char* name; } modes[] = {
        {CDlgMsgSend::IDC_MODE_SEND, 31326, "send"},
        {CDlgMsgSend::IDC_MODE_STORE, 31327, "store"},
        {CDlgMsgSend::IDC_MODE_SEND_STORE, 31328, "send_and_store"}};
    for (int form : {CDlgMsgSend::kTemplateSingle, CDlgMsgSend::kTemplateMulti}) {
        SCOPED_TRACE(form);
        CDlgMsgSend d(&msg, &opt, &owner, form);
        Stand(d);
        for (const auto& m : modes) {
            ClickId(d, m.id);
            EXPECT_EQ(d.GetDlgItemText(IDOK), app.LoadString(m.caption));
            EXPECT_TRUE(zorqtest::ClippedTexts(&d).isEmpty()) << zorqtest::ClippedTexts(&d).join("; ").toStdString();
            EXPECT_FALSE(zorqtest::SaveScreen(&d, QStringLiteral("sms_send_%1_%2").arg(form).arg(m.name)).isEmpty());
        }
        d.EndDialog(IDCANCEL);
    }
    // Without the link only storing is left.
    opt.storeOnly = 1;
    CDlgMsgSend d(&msg, &opt, &owner, CDlgMsgSend::kTemplateMulti);
    Stand(d);
    EXPECT_EQ(d.Mode(), 1);
    EXPECT_FALSE(zorqtest::SaveScreen(&d, QStringLiteral("sms_send_store_only")).isEmpty());
    d.EndDialog(IDCANCEL);
}

TEST_F(SendDialogTest, PriceOfTheMessage)
{
    double p = 0;
    EXPECT_TRUE(CDlgMsgPrice::ParsePrice(QStringLiteral("0,15"), p));
    EXPECT_DOUBLE_EQ(p, 0.15);
    EXPECT_TRUE(CDlgMsgPrice::ParsePrice(QStringLiteral(" 2.5 "), p));
    EXPECT_DOUBLE_EQ(p, 2.5);
    for (const char* bad : {"1.2.3", "abc", ".", "", "1,5 EUR"})
        EXPECT_FALSE(CDlgMsgPrice::ParsePrice(QString::fromLatin1(bad), p)) << bad;

    StartWithProfiles();
    msg.AddAddress("Bob", "0687654321");
    msg.SetText(std::string(161, 'p'));
    CDlgMsgSend d(&msg, &opt, &owner, CDlgMsgSend::kTemplateMulti);
    Stand(d);
    WhenShown<CDlgMsgPrice>([this](CDlgMsgPrice* pd) {
        auto* e = qobject_cast<QLineEdit*>(pd->GetDlgItem(1072));
        e->setText(QStringLiteral("1.2.3"));
        QTest::mouseClick(pd->GetDlgItem(IDOK), Qt::LeftButton);
        EXPECT_TRUE(pd->isVisible());
        EXPECT_EQ(Boxes().back(), Text(31760));
        e->setText(QStringLiteral("0,10"));
        QTest::mouseClick(pd->GetDlgItem(IDOK), Qt::LeftButton);
    });
    ClickId(d, 1113);
    // Two messages at 0.10 each.
    EXPECT_EQ(qobject_cast<QLabel*>(d.GetDlgItem(1115))->text(), FormatPrice(0.10));
    EXPECT_EQ(qobject_cast<QLabel*>(d.GetDlgItem(1114))->text(), FormatPrice(0.20));
    EXPECT_DOUBLE_EQ(ReadUnitPrice(), 0.10);
}

// The total counts every part for every recipient still to be sent: two
// recipients of a one-part message at 0.15 cost 0.30; a recipient the
// message already went to costs nothing more; with no recipient yet the
// total is what one recipient would pay.
TEST_F(SendDialogTest, TheTotalCountsEveryRecipientStillToBeSent)
{
    StartWithProfiles();
    msg.AddAddress("Bob", "0687654321");
    msg.AddAddress("Carol", "0611223344");
    msg.SetText("Hello");
    CDlgMsgSend d(&msg, &opt, &owner, CDlgMsgSend::kTemplateMulti);
    Stand(d);
    WhenShown<CDlgMsgPrice>([](CDlgMsgPrice* pd) {
        auto* e = qobject_cast<QLineEdit*>(pd->GetDlgItem(1072));
        e->selectAll();
        QTest::keyClicks(e, QStringLiteral("0,15"));
        QTest::mouseClick(pd->GetDlgItem(IDOK), Qt::LeftButton);
    });
    QTest::mouseClick(d.GetDlgItem(1113), Qt::LeftButton);
    auto* unit = qobject_cast<QLabel*>(d.GetDlgItem(1115));
    auto* total = qobject_cast<QLabel*>(d.GetDlgItem(1114));
    EXPECT_EQ(unit->text(), FormatPrice(0.15));
    EXPECT_EQ(total->text(), FormatPrice(0.30));
    zorqtest::SaveScreen(&d, QStringLiteral("sms_send_total"));

    // Bob has it already: one recipient left, a two-part text for her.
    msg.GetAddressList().GetAt(0)->SetSent(true);
    msg.SetText(std::string(161, 'p'));
    WhenShown<CDlgMsgPrice>([](CDlgMsgPrice* pd) { QTest::mouseClick(pd->GetDlgItem(IDOK), Qt::LeftButton); });
    QTest::mouseClick(d.GetDlgItem(1113), Qt::LeftButton);
    EXPECT_EQ(total->text(), FormatPrice(0.30));

    // Nobody named yet: the price of the message for one recipient.
    msg.GetAddressList().RemoveAt(1);
    msg.GetAddressList().RemoveAt(0);
    msg.SetText("Hi");
    WhenShown<CDlgMsgPrice>([](CDlgMsgPrice* pd) { QTest::mouseClick(pd->GetDlgItem(IDOK), Qt::LeftButton); });
    QTest::mouseClick(d.GetDlgItem(1113), Qt::LeftButton);
    EXPECT_EQ(total->text(), FormatPrice(0.15));
}
