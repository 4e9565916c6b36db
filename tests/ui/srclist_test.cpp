#include "srclist.h"

#include "deleterun.h"
#include "filedlg.h"
#include "profile.h"
#include "uimsg.h"
#include "ui_test_util.h"
#include "wndmsg.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// An owner window that records the numbered messages it gets.
struct OwnerWnd : QWidget {
    std::vector<unsigned> seen;
    bool event(QEvent* e) override
    {
        if (e->type() == CWndMsgEvent::EventType()) {
            seen.push_back(static_cast<CWndMsgEvent*>(e)->message());
            return true;
        }
        return QWidget::event(e);
    }
};

// A pane over a list of named entries at locations; it records the
// operations the base calls.
struct TestPane : CSrcList {
    using CSrcList::CSrcList;
    std::vector<std::string> calls;
    int current = 8;
    bool pcOpen = true, storageRead = true;
    std::vector<std::int32_t> deleted;
    QString dbPath;

    void Note(const char* op) { calls.push_back(op); }
    void NotifyOwnerSourceChange() override { Note("notify"); }
    void SetSourcePC() override { Note("pc"); current = 0; }
    void SetSourceSIM() override { Note("sim"); current = 1; }
    void SetSourcePhone() override { Note("phone"); current = 3; }
    bool OpenPCDatabase() override { Note("openpc"); return pcOpen; }
    bool SelectStorage() override { Note("select"); return true; }
    bool IsStorageRead() override { return storageRead; }
    bool UploadStorage() override { Note("upload"); return true; }
    void MarkStorageRead() override { Note("mark"); storageRead = true; }
    int OpenSourceDatabase(CDaoDatabase** db) override { *db = nullptr; Note("opendb"); return 0; }
    bool CreateRecordset() override { Note("recordset"); return true; }
    void FillList() override { Note("fill"); }
    bool IsSrcPC() override { return current == 0; }
    bool IsSrcSIM() override { return current == 1; }
    bool IsSrcPhone() override { return current == 3; }
    void RestorePreviousSource() override { Note("restore"); }
    bool IsLocationShown() override { return true; }
    bool OpenDatabase(const QString& path) override { Note("opendatabase"); return QFile::exists(path); }
    bool CreateDatabase(const QString&) override { Note("create"); return true; }
    void SetDatabasePath(const QString& path) override { dbPath = path; }
    DeleteOutcome DeleteOneItem(CEntryListCtrl* list, int row) override
    {
        deleted.push_back(list->GetLocation(row));
        return DeleteOutcome::Deleted;
    }
    void AddEntry(std::int32_t location, const QString& name)
    {
        const int row = GetListCtrl()->FindInsertRow(location);
        GetListCtrl()->SetRowText(row, 0, QString::number(location));
        GetListCtrl()->SetRowText(row, 1, name);
        GetListCtrl()->SetLocation(row, location);
    }
};

struct SrcListTest : ::testing::Test {
    uitest::RecordingUi ui;
    uitest::TempDir dir;
    OwnerWnd owner;
    TestPane* pane = new TestPane(&owner);
    void SetUp() override
    {
        SetIniProfileFile(dir.path().toStdString());
        g_nDeletePauseMs = 0;
        owner.resize(400, 300);
        pane->GetListCtrl()->setGeometry(0, 40, 400, 200);
        pane->GetListCtrl()->InsertColumn("Loc", 0, 0, false);
        pane->GetListCtrl()->InsertColumn("Name", 1, 0, false);
        owner.show();
    }
    void TearDown() override { SetIniProfileFile(); }
};

TEST_F(SrcListTest, SourceButtonsReadTheirStorageOnce)
{
    pane->storageRead = false;
    pane->GetSIMButton()->click();
    EXPECT_EQ(pane->calls, (std::vector<std::string>{"notify", "sim", "select", "upload", "mark", "opendb",
                                                     "recordset", "fill"}));
    pane->calls.clear();
    pane->GetSIMButton()->click();  // already current: nothing
    EXPECT_TRUE(pane->calls.empty());
    pane->GetPhoneButton()->click();
    EXPECT_EQ(pane->calls, (std::vector<std::string>{"notify", "phone", "select", "opendb", "recordset", "fill"}));
    EXPECT_FALSE(pane->GetSIMButton()->isChecked());
    pane->calls.clear();
    pane->GetPCButton()->click();
    EXPECT_EQ(pane->calls, (std::vector<std::string>{"notify", "pc", "openpc", "opendb", "recordset", "fill"}));
    EXPECT_TRUE(pane->GetFourthButton()->isEnabled());
    pane->UncheckAllSrc();
    EXPECT_FALSE(pane->GetPCButton()->isChecked());
}

TEST_F(SrcListTest, WithoutAPCDatabaseTheMenuOffersNewAndExisting)
{
    QFile(dir.file("mine.mdb")).open(QIODevice::WriteOnly);
    SetFileDlgRunner([&](CQXFileDlg& d) {
        d.selectFile(dir.file("mine.mdb"));
        return IDOK;
    });
    pane->pcOpen = false;
    QStringList offered;
    QObject::connect(pane, &CSrcList::menuShown, [&](CIconMenu* menu) {
        for (int i = 0; i < menu->ItemCount(); ++i)
            offered << QString::number(menu->ItemAt(i)->id);
        QTimer::singleShot(20, [] {
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(popup, nullptr);
            for (QAction* a : popup->actions())
                if (a->data().toUInt() == ID_PC_OPEN_DATABASE)
                    popup->setActiveAction(a);
            QTest::keyClick(popup, Qt::Key_Return);
        });
    });
    pane->GetPCButton()->click();
    SetFileDlgRunner(nullptr);
    EXPECT_EQ(offered, (QStringList{"32851", "32852"}));
    EXPECT_EQ(pane->dbPath, dir.file("mine.mdb"));
    QCoreApplication::sendPostedEvents(&owner);
    EXPECT_NE(std::find(owner.seen.begin(), owner.seen.end(), unsigned(WM_POPUP_MENU_CLOSED)), owner.seen.end());
}

TEST_F(SrcListTest, ANewDatabaseOverAnExistingFileNeedsAYes)
{
    QFile(dir.file("old.mdb")).open(QIODevice::WriteOnly);
    SetFileDlgRunner([&](CQXFileDlg& d) {
        d.selectFile(dir.file("old.mdb"));
        return IDOK;
    });
    ui.answer = IDNO;
    EXPECT_FALSE(pane->NewDatabaseFile(nullptr, true));
    EXPECT_TRUE(QFile::exists(dir.file("old.mdb")));
    ui.answer = IDYES;
    QString path;
    EXPECT_TRUE(pane->NewDatabaseFile(&path, true));
    SetFileDlgRunner(nullptr);
    EXPECT_FALSE(QFile::exists(dir.file("old.mdb")));  // removed before creating
    EXPECT_EQ(path, dir.file("old.mdb"));
    EXPECT_EQ(pane->dbPath, path);
}

TEST_F(SrcListTest, TrashDeletesByLocationEvenWithEqualNames)
{
    pane->AddEntry(1, "Anna");
    pane->AddEntry(2, "Anna");
    pane->AddEntry(3, "Bob");
    pane->AddEntry(4, "Anna");
    CEntryListCtrl* list = pane->GetListCtrl();
    list->SelectRow(1);
    list->SelectRow(2);
    list->SelectRow(3);
    // Yes to the first, Cancel (skip) the second, No... the third: Yes.
    int asked = 0;
    std::function<void()> answerNext = [&] {
        uitest::OnNextModal([&](QWidget* w) {
            ++asked;
            const int button = asked == 1 ? IDYES : asked == 2 ? IDCANCEL : IDYES;
            if (asked < 3)
                answerNext();
            if (button == IDCANCEL)
                w->close();
            else
                uitest::ClickId(w, button);
        });
    };
    answerNext();
    pane->TrashSelection();
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(pane->deleted, (std::vector<std::int32_t>{2, 4}));
    ASSERT_EQ(list->GetRowCount(), 2);
    EXPECT_EQ(list->GetLocation(0), 1);
    EXPECT_EQ(list->GetLocation(1), 3);
}

TEST_F(SrcListTest, DropTargetsTakeTheEntryFormats)
{
    struct Owner : CDropOwner {
        CEntryDropSource source{this};
        std::vector<QWidget*> drops;
        Qt::DropAction CanDropData(QWidget*, const QMimeData* d) override
        {
            return d->hasFormat(kPellardMimeType) || d->hasFormat(kVCardMimeType) ? Qt::CopyAction
                                                                                   : Qt::IgnoreAction;
        }
        bool OnDropData(QWidget* target, const QMimeData*) override
        {
            drops.push_back(target);
            return true;
        }
        CEntryDropSource* GetDropSource() override { return &source; }
    } dropOwner;
    pane->SetDropOwner(&dropOwner);
    pane->Init(true);
    for (const char* format : {"application/x-pellard", "text/vcard", "text/plain"}) {
        QMimeData data;
        data.setData(format, "BEGIN:VCARD\r\nEND:VCARD\r\n");
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pane->GetSIMButton(), &enter);
        EXPECT_EQ(enter.isAccepted(), QString(format) != "text/plain") << format;
        if (enter.isAccepted()) {
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(pane->GetSIMButton(), &drop);
        }
    }
    EXPECT_EQ(dropOwner.drops.size(), 2u);
}

TEST_F(SrcListTest, ProfileSourceRightClickAndPlacement)
{
    pane->SaveSource("PhoneBook", 6);
    EXPECT_EQ(GetIniProfileInt("PhoneBook", "Source", 0), -1);
    pane->SaveSource("PhoneBook", 2);
    EXPECT_EQ(GetIniProfileInt("PhoneBook", "Source", 0), 2);

    WriteIniProfileInt("ConditionnalImplementation", "RightClickOnPC", 2);
    bool menuShown = false;
    QObject::connect(pane, &CSrcList::menuShown, [&] { menuShown = true; });
    QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(2, 2), QPoint(2, 2));
    QApplication::sendEvent(pane->GetPCButton(), &e);
    QCoreApplication::sendPostedEvents(&owner);
    EXPECT_EQ(owner.seen, std::vector<unsigned>{WM_SRC_CONTEXT_MENU});
    EXPECT_FALSE(menuShown);
    WriteIniProfileInt("ConditionnalImplementation", "RightClickOnPC", 1);
    pane->GetPCButton()->SetFlag(true);
    QApplication::sendEvent(pane->GetPCButton(), &e);
    QCoreApplication::sendPostedEvents(&owner);
    EXPECT_EQ(owner.seen.back(), unsigned(WM_SRC_MENU_REQUEST));

    pane->SetProgressPosition(-1, -1);
    EXPECT_EQ(pane->GetProgressPosition(), pane->GetListCtrl()->mapToGlobal(QPoint(0, 0)));
    pane->SetProgressPosition(30, 40);
    EXPECT_EQ(pane->GetProgressPosition(), QPoint(30, 40));
}

}  // namespace
