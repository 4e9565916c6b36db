#include "dragdrop.h"
#include "handbutton.h"
#include "iconmenu.h"
#include "ui_test_support.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

// Strings from the built bundle, the Res folder where the test wants it.
class Services : public zorqtest::RecordingServices {
public:
    explicit Services(std::string res) : res_(std::move(res)) {}
    const std::string& GetResDir() const override { return res_; }

private:
    std::string res_;
};

const std::string kBuiltRes = ZORQ_TEST_PROGRAM_DIR "/Res/";

// ---- Drag and drop ------------------------------------------------------------------

class Owner : public CDropOwner {
public:
    Qt::DropAction offer = Qt::CopyAction;
    bool take = true;
    int drops = 0;
    QList<QPixmap> images{QPixmap(16, 16), QPixmap(16, 16)};
    CEntryDropSource source{this};

    bool OnDropData(QWidget*, const QMimeData*) override
    {
        ++drops;
        return take;
    }
    Qt::DropAction CanDropData(QWidget*, const QMimeData*) override { return offer; }
    const QList<QPixmap>* GetDragImageList() override { return &images; }
    int GetDragImageOther() override { return 0; }
    int GetDragImageStart() override { return 1; }
    CEntryDropSource* GetDropSource() override { return &source; }
};

// Plays a drag over `w` and drops: the action the source learns.
Qt::DropAction PlayDrop(QWidget* w, QMimeData* data, bool* entered = nullptr)
{
    const QPoint at(5, 5);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &enter);
    if (entered)
        *entered = enter.isAccepted();
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

TEST(DragDropTest, EntryDragCarriesThePrivateFormAVCardAndItsFile)
{
    std::unique_ptr<QMimeData> data(MakeEntryMimeData("entry", "BEGIN:VCARD\r\nEND:VCARD\r\n",
                                                      QStringLiteral("/tmp/Smith.VCF")));
    EXPECT_EQ(data->data(QStringLiteral("application/x-pellard")), QByteArray("entry"));
    EXPECT_EQ(data->data(QStringLiteral("text/vcard")), QByteArray("BEGIN:VCARD\r\nEND:VCARD\r\n"));
    EXPECT_TRUE(data->hasFormat(QStringLiteral("text/x-vcard")));
    ASSERT_EQ(data->urls().size(), 1);
    EXPECT_EQ(data->urls()[0], QUrl::fromLocalFile(QStringLiteral("/tmp/Smith.VCF")));

    QByteArray pellard, vcard;
    QStringList files;
    ASSERT_TRUE(ReadEntryMimeData(data.get(), &pellard, &vcard, &files));
    EXPECT_EQ(pellard, QByteArray("entry"));
    EXPECT_EQ(files, QStringList{QStringLiteral("/tmp/Smith.VCF")});
    QMimeData plain;
    plain.setText(QStringLiteral("hello"));
    EXPECT_FALSE(ReadEntryMimeData(&plain, &pellard, &vcard, &files));
}

TEST(DragDropTest, DropReportsTheOwnersAnswer)
{
    QWidget w;
    Owner owner;
    CEntryDropTarget target;
    target.SetOwner(&owner);
    target.Register(&w);
    QMimeData data;
    data.setData(QStringLiteral("text/vcard"), "BEGIN:VCARD");

    owner.offer = Qt::MoveAction;
    EXPECT_EQ(PlayDrop(&w, &data), Qt::MoveAction);
    EXPECT_EQ(owner.drops, 1);

    // The owner takes nothing: the source is told no action, so a move
    // never deletes what was not taken.
    owner.take = false;
    EXPECT_EQ(PlayDrop(&w, &data), Qt::IgnoreAction);
    EXPECT_EQ(owner.drops, 2);

    // Refused at enter: refused for the whole passage, the drop never asked.
    owner.offer = Qt::IgnoreAction;
    owner.take = true;
    bool entered = true;
    EXPECT_EQ(PlayDrop(&w, &data, &entered), Qt::IgnoreAction);
    EXPECT_FALSE(entered);
    EXPECT_EQ(owner.drops, 2);
}

TEST(DragDropTest, TargetWithoutOwnerRefusesEverything)
{
    QWidget w;
    CEntryDropTarget target;
    target.Register(&w);
    QMimeData data;
    data.setData(QStringLiteral("application/x-pellard"), "x");
    EXPECT_EQ(PlayDrop(&w, &data), Qt::IgnoreAction);
}

TEST(DragDropTest, FeedbackSwitchesImagesOverTheOwnerOnly)
{
    Owner owner;
    CEntryDropSource& source = owner.source;
    const QRect view(0, 0, 400, 300);
    source.AddDropRect(QRect(10, 10, 50, 50));
    EXPECT_TRUE(source.HitTest(QPoint(20, 20)));
    EXPECT_FALSE(source.HitTest(QPoint(100, 100)));

    source.SetOverOwnView(true);
    EXPECT_EQ(source.GiveFeedback(true, view, QPoint(100, 100)), CEntryDropSource::Started);
    EXPECT_TRUE(source.IsImageShown());
    EXPECT_EQ(source.ShownImage(), 0);
    EXPECT_EQ(source.GiveFeedback(true, view, QPoint(20, 20)), CEntryDropSource::Started);
    EXPECT_TRUE(source.GetImageMode());
    EXPECT_EQ(source.ShownImage(), 1);
    // Out of the view: the system's cursors, the image gone.
    source.SetOverOwnView(false);
    EXPECT_EQ(source.GiveFeedback(true, view, QPoint(600, 20)), CEntryDropSource::UseDefaultCursors);
    EXPECT_FALSE(source.IsImageShown());
    EXPECT_FALSE(source.GetImageMode());
    // Back in: the image shows once more.
    source.SetOverOwnView(true);
    source.GiveFeedback(true, view, QPoint(200, 200));
    EXPECT_TRUE(source.IsImageShown());
    source.EndDrag();
    EXPECT_EQ(source.ShownImage(), -1);
}

// ---- Icon menu -----------------------------------------------------------------------------

const char* const kMenuText =
    "# a context menu\n"
    "POPUP Entry\n"
    "MENUITEM 0x8005 Dial the number of this entry on the phone now\n"
    "SEPARATOR\n"
    "POPUP Copy to\n"
    "MENUITEM 0x8022 PC\n"
    "MENUITEM 0x8023 SIM\n"
    "END\n"
    "MENUITEM 0x8009 Delete\n"
    "END\n";

TEST(IconMenuTest, LoadsFullTextsIdsAndSubmenus)
{
    CIconMenu menu;
    ASSERT_TRUE(menu.LoadFromText(QString::fromLatin1(kMenuText)));
    CIconMenu* sub = menu.GetSubMenu(0);
    ASSERT_NE(sub, nullptr);
    ASSERT_EQ(sub->ItemCount(), 4);
    // Texts longer than 31 characters and ids above 255 are kept whole.
    EXPECT_EQ(sub->FindItem(0x8005)->text, QStringLiteral("Dial the number of this entry on the phone now"));
    EXPECT_EQ(sub->FindItem(0x8009)->id, 0x8009u);
    EXPECT_TRUE(sub->IsSeparatorAt(1));
    EXPECT_EQ(CIconMenu::MeasureItemHeight(*sub->ItemAt(1)), 10);
    EXPECT_EQ(CIconMenu::MeasureItemHeight(*sub->ItemAt(0)), 16);
    ASSERT_NE(sub->GetSubMenu(2), nullptr);
    EXPECT_EQ(sub->GetSubMenu(2)->ItemCount(), 2);
    QAction* action = sub->Menu()->actions().value(0);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->data().toUInt(), 0x8005u);

    EXPECT_FALSE(menu.LoadFromText(QStringLiteral("POPUP A\nMENUITEM x Bad\nEND\n")));
    EXPECT_FALSE(menu.LoadFromText(QStringLiteral("POPUP A\n")));
    EXPECT_FALSE(menu.LoadFromText(QStringLiteral("END\n")));
}

TEST(IconMenuTest, IconsByStateAndUnknownIds)
{
    CIconMenu menu;
    menu.AppendItem(QStringLiteral("Dial"), 0x8005);
    EXPECT_FALSE(menu.SetItemIcons(0x9999, QStringLiteral("IDI_MENU_PC"), QString(), QString()));
    EXPECT_TRUE(menu.FindItem(0x8005)->icon.isEmpty());
    ASSERT_TRUE(menu.SetItemIcons(0x8005, QStringLiteral("IDI_MENU_DIAL"), QString(), QString()));
    const CIconMenu::Item& item = *menu.FindItem(0x8005);
    // No disabled picture: the normal one shows.
    EXPECT_EQ(CIconMenu::ChooseIcon(item, false, true), QStringLiteral("IDI_MENU_DIAL"));
    menu.SetItemIcons(0x8005, QStringLiteral("IDI_MENU_DIAL"), QStringLiteral("IDI_MENU_SEND"),
                      QStringLiteral("IDI_MENU_DIALDISABLE"));
    EXPECT_EQ(CIconMenu::ChooseIcon(item, true, false), QStringLiteral("IDI_MENU_SEND"));
    EXPECT_EQ(CIconMenu::ChooseIcon(item, true, true), QStringLiteral("IDI_MENU_DIALDISABLE"));
    EXPECT_TRUE(menu.EnableItem(0x8005, false));
    EXPECT_FALSE(menu.Menu()->actions().value(0)->isEnabled());
    EXPECT_TRUE(menu.RemoveItem(0x8005));
    EXPECT_EQ(menu.ItemCount(), 0);
}

// ---- Hand button --------------------------------------------------------------------------

TEST(HandButtonTest, HandWithTheCursorFileArrowWithout)
{
    {
        Services services(kBuiltRes);
        auto cursor = LoadCursorFromFile(QString::fromStdString(kBuiltRes + "hand.cur"));
        ASSERT_TRUE(cursor.has_value());
        EXPECT_EQ(cursor->hotSpot(), QPoint(10, 3));
        QWidget parent;
        CHandButton button(&parent);
        ASSERT_TRUE(button.HasHandCursor());
        parent.show();
        QTest::mouseMove(&button, QPoint(5, 5));
        QTest::mouseMove(&button, QPoint(6, 5));
        EXPECT_TRUE(button.IsHandShown());
        EXPECT_EQ(button.cursor().shape(), Qt::BitmapCursor);
        button.ResetCursor();  // the view does this on its own moves
        EXPECT_FALSE(button.IsHandShown());
    }
    Services services("/nonexistent/");
    CHandButton plain;
    EXPECT_FALSE(plain.HasHandCursor());
    EXPECT_EQ(plain.cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(LoadCursorFromFile(QStringLiteral("/nonexistent/hand.cur")).has_value());
}

}  // namespace
