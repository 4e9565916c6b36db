#include "objectlistwnd.h"

#include "deleterun.h"
#include "ui_test_util.h"

#include <QFile>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class Item : public CObjectListItem {
public:
    explicit Item(const QString& name, bool trash = true, bool modify = true) : trash_(trash), modify_(modify)
    {
        SetName(name, false);
    }
    bool CanTrash() const override { return trash_; }
    bool CanModify() const override { return modify_; }

private:
    bool trash_, modify_;
};

class Panel : public CObjectListWnd {
public:
    using CObjectListWnd::CObjectListWnd;
    int columnsCalls = 0;
    void SetColumns(bool scrollBar) override
    {
        ++columnsCalls;
        GetListCtrl()->InsertColumn("Name", 0, 4, scrollBar);
    }
};

// An item dialog that answers at once with a prepared item.
class ItemDialog : public CDlgObjectItem {
public:
    ItemDialog(CObjectListItem* item, int index) : CDlgObjectItem(220), item_(item) { m_nItem = index; }
    CObjectListItem* GetItem() override { return item_; }

private:
    CObjectListItem* item_;
};

struct PanelTest : ::testing::Test {
    uitest::RecordingUi ui;
    uitest::TempDir dir;
    QWidget owner;
    Panel* panel = new Panel(&owner);
    CQXObjectList list;
    void SetUp() override
    {
        g_nDeletePauseMs = 0;
        owner.resize(300, 300);
        panel->GetListCtrl()->setGeometry(0, 40, 300, 200);
        panel->GetModifyButton()->setGeometry(0, 0, 30, 30);
        panel->GetTrashButton()->setGeometry(40, 0, 30, 30);
        panel->GetNewButton()->setGeometry(80, 0, 30, 30);
        owner.show();
    }
    void Add(Item* item)
    {
        item->SetFilePath(dir.file(item->GetName() + ".SRV"));
        QFile f(item->GetFilePath());
        f.open(QIODevice::WriteOnly);
        list.AddSorted(item);
    }
};

TEST_F(PanelTest, ButtonsFollowTheSelection)
{
    Add(new Item("alpha"));
    Add(new Item("beta", false, false));
    Add(new Item("gamma"));
    panel->SetDocument(&list);
    EXPECT_EQ(panel->columnsCalls, 1);
    ASSERT_EQ(panel->GetListCtrl()->GetRowCount(), 3);
    EXPECT_EQ(panel->GetListCtrl()->GetRowText(1, 0), "Beta");
    EXPECT_EQ(panel->GetListCtrl()->GetSingleSelectedRow(), 0);  // the saved selection
    panel->GetListCtrl()->DeselectAll();
    panel->UpdateButtons();
    EXPECT_TRUE(panel->GetNewButton()->isEnabled());
    EXPECT_FALSE(panel->GetModifyButton()->isEnabled());
    EXPECT_FALSE(panel->GetTrashButton()->isEnabled());
    panel->GetListCtrl()->SelectRow(0);
    panel->GetListCtrl()->SelectRow(2);
    panel->UpdateButtons();
    EXPECT_FALSE(panel->GetModifyButton()->isEnabled());  // two rows
    EXPECT_TRUE(panel->GetTrashButton()->isEnabled());
    panel->GetListCtrl()->SelectRow(1);  // Beta refuses deletion
    panel->UpdateButtons();
    EXPECT_FALSE(panel->GetTrashButton()->isEnabled());
    EXPECT_EQ(panel->GetSelectedItem(), nullptr);
    panel->OnColumnClick();
    EXPECT_EQ(panel->GetListCtrl()->GetSelectedCount(), 3);
    Item probe("GAMMA");
    EXPECT_EQ(panel->SelectItemByName(&probe), 2);
    EXPECT_EQ(panel->GetSelectedItem(), list.GetAt(2));
    EXPECT_TRUE(panel->GetModifyButton()->isEnabled());
}

TEST_F(PanelTest, TrashAsksPerItemAndRemovesFiles)
{
    Add(new Item("alpha"));
    Add(new Item("beta"));
    Add(new Item("gamma"));
    panel->SetDocument(&list);
    panel->GetListCtrl()->SelectRow(0);
    panel->GetListCtrl()->SelectRow(1);
    panel->GetListCtrl()->SelectRow(2);
    int asked = 0;
    std::function<void()> next = [&] {
        uitest::OnNextModal([&](QWidget* w) {
            ++asked;
            if (asked == 1) {
                next();
                uitest::ClickId(w, IDNO);  // keep Alpha
            } else {
                uitest::ClickId(w, IDYESTOALL);  // Beta and the rest
            }
        });
    };
    next();
    panel->TrashSelection();
    EXPECT_EQ(asked, 2);
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetAt(0)->GetName(), "Alpha");
    EXPECT_TRUE(QFile::exists(dir.file("alpha.SRV")));
    EXPECT_FALSE(QFile::exists(dir.file("beta.SRV")));
    EXPECT_FALSE(QFile::exists(dir.file("gamma.SRV")));
    EXPECT_EQ(panel->GetListCtrl()->GetRowCount(), 1);

    // One item: no Yes to all; No keeps the row and the file.
    panel->GetListCtrl()->SelectRow(0);
    uitest::OnNextModal([&](QWidget* w) {
        EXPECT_FALSE(uitest::ClickId(w, IDYESTOALL));
        uitest::ClickId(w, IDNO);
    });
    panel->TrashSelection();
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_TRUE(QFile::exists(dir.file("alpha.SRV")));
}

TEST_F(PanelTest, NewAndModifyInsertTheDialogsRow)
{
    Add(new Item("bravo"));
    panel->SetDocument(&list);
    auto* created = new Item("Delta");
    ItemDialog add(created, -1);
    uitest::OnNextModal([](QWidget* w) { static_cast<CDialog*>(w)->EndDialog(IDOK); });
    panel->NewItem(&add);
    EXPECT_EQ(panel->GetListCtrl()->GetRowCount(), 2);
    EXPECT_EQ(panel->GetListCtrl()->GetRowText(1, 0), "Delta");
    EXPECT_EQ(panel->GetListCtrl()->GetSingleSelectedRow(), 1);
    delete created;

    Item renamed("Charlie");
    ItemDialog edit(&renamed, 1);
    uitest::OnNextModal([](QWidget* w) { static_cast<CDialog*>(w)->EndDialog(IDOK); });
    panel->ModifyItem(&edit);
    EXPECT_EQ(panel->GetListCtrl()->GetRowCount(), 2);
    EXPECT_EQ(panel->GetListCtrl()->GetRowText(1, 0), "Charlie");
    panel->ModifyItem(nullptr);  // nothing
    EXPECT_EQ(panel->GetListCtrl()->GetRowCount(), 2);
}

TEST_F(PanelTest, RowsDraggedOntoTrashAreReported)
{
    Add(new Item("alpha"));
    panel->SetDocument(&list);
    QPushButton* dropped = nullptr;
    QObject::connect(panel, &CObjectListWnd::droppedOn, [&](QPushButton* b) { dropped = b; });
    panel->OnBeginDrag();
    EXPECT_TRUE(panel->IsDragging());
    panel->OnDragMouseMove(panel->GetNewButton()->mapToGlobal(QPoint(5, 5)));
    EXPECT_FALSE(panel->IsOverTarget());
    panel->OnDragMouseMove(panel->GetTrashButton()->mapToGlobal(QPoint(5, 5)));
    EXPECT_TRUE(panel->IsOverTarget());
    EXPECT_TRUE(panel->OnEndDrag());
    EXPECT_EQ(dropped, panel->GetTrashButton());
    EXPECT_FALSE(panel->IsDragging());
    panel->OnBeginDrag();
    panel->OnDragMouseMove(panel->GetListCtrl()->mapToGlobal(QPoint(5, 5)));
    EXPECT_FALSE(panel->OnEndDrag());
}

TEST_F(PanelTest, TheRowThatNeedsAScrollBarNarrowsColumnZeroOnce)
{
    panel->SetDocument(&list);
    panel->SetColumns(false);
    CEntryListCtrl* l = panel->GetListCtrl();
    const int page = l->RowsPerPage();
    std::vector<std::unique_ptr<Item>> items;
    for (int i = 0; i < page; ++i) {
        items.push_back(std::make_unique<Item>(QString("item %1").arg(i)));
        panel->InsertItem(-1, l, items.back().get());
    }
    const int before = l->columnWidth(0);
    items.push_back(std::make_unique<Item>("one more"));
    panel->InsertItem(-1, l, items.back().get());
    const int after = l->columnWidth(0);
    EXPECT_LE(after, before);
    items.push_back(std::make_unique<Item>("and another"));
    panel->InsertItem(-1, l, items.back().get());
    EXPECT_EQ(l->columnWidth(0), after);
}

}  // namespace

TEST_F(PanelTest, ADraggedRowShowsItsPictureWithTheDropOrNoDropMark)
{
    Add(new Item("alpha"));
    panel->SetDocument(&list);
    QPushButton* dropped = nullptr;
    QObject::connect(panel, &CObjectListWnd::droppedOn, [&](QPushButton* b) { dropped = b; });
    QWidget* rows = panel->GetListCtrl()->viewport();
    const QPoint at = panel->GetListCtrl()->visualRect(panel->GetListCtrl()->model()->index(0, 0)).center();
    QTest::mouseClick(rows, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mousePress(rows, Qt::LeftButton, Qt::NoModifier, at);
    for (int step = 1; step <= 4; ++step)
        QTest::mouseMove(rows, at + QPoint(12 * step, 2 * step));
    ASSERT_TRUE(panel->IsDragging());
    EXPECT_TRUE(panel->RowDrag().Image().IsShown());
    EXPECT_FALSE(panel->RowDrag().IsDropShown()) << "the list itself takes no drop";

    const QPoint trash = rows->mapFromGlobal(panel->GetTrashButton()->mapToGlobal(QPoint(5, 5)));
    QTest::mouseMove(rows, trash);
    EXPECT_TRUE(panel->RowDrag().IsDropShown());
    QTest::mouseRelease(rows, Qt::LeftButton, Qt::NoModifier, trash);
    EXPECT_EQ(dropped, panel->GetTrashButton());
    EXPECT_FALSE(panel->RowDrag().Image().IsShown());
}
