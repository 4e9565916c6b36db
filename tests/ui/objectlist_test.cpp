#include "objectlist.h"

#include "engine_host.h"
#include "temp_folder.h"
#include "uimsg.h"
#include "ui_test_util.h"
#include "wndmsg.h"

#include <QFile>
#include <QTextStream>

#include <gtest/gtest.h>

namespace {

CObjectListItem* Named(const QString& name)
{
    auto* item = new CObjectListItem;
    item->SetName(name, false);
    return item;
}

QStringList Names(const CQXObjectList& list)
{
    QStringList names;
    for (const CObjectListItem* item : list.GetItems())
        names << item->GetName();
    return names;
}

// A list whose files hold one "NAME=" line; anything else cannot be read.
class NameFileList : public CQXObjectList {
public:
    bool LoadFile(QString folder, QString fileName) override
    {
        QFile f(folder + fileName);
        if (!f.open(QIODevice::ReadOnly))
            return false;
        const QString line = QString::fromLatin1(f.readLine()).trimmed();
        if (!line.startsWith("NAME="))
            return false;
        auto* item = Named(line.mid(5));
        item->SetFilePath(folder + fileName);
        if (AddSorted(item) < 0) {
            delete item;
            return false;
        }
        return true;
    }
};

struct TraceHost : EngineHost {
    std::string trace;
    bool DispatchOneMessage() override { return false; }
    int MessageBox(const std::string&, int) override { return 2; }
    int MessageBoxById(int, int) override { return 2; }
    int AskSecurityCode(int) override { return 2; }
    void Trace(const std::string& line) override { trace += line + "\n"; }
    std::string ProgramFolder() override { return zorqtest::TempFolder() + "/"; }
    std::string FilesFolder() override { return zorqtest::TempFolder() + "/"; }
};

struct Progress : QObject {
    std::vector<long> counts;
    bool event(QEvent* e) override
    {
        if (e->type() != CWndMsgEvent::EventType())
            return QObject::event(e);
        auto* m = static_cast<CWndMsgEvent*>(e);
        if (m->message() == WM_LIST_LOAD_PROGRESS)
            counts.push_back(static_cast<long>(m->lParam()));
        return true;
    }
};

void Write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST(ObjectList, AddSortedKeepsCaseInsensitiveOrderAndRefusesDuplicates)
{
    CQXObjectList list;
    EXPECT_EQ(list.AddSorted(Named("beta")), 0);
    EXPECT_EQ(list.AddSorted(Named("Alpha")), 0);
    EXPECT_EQ(list.AddSorted(Named("gamma")), 2);
    EXPECT_EQ(Names(list), (QStringList{"Alpha", "Beta", "Gamma"}));

    CObjectListItem* dup = Named("ALPHA");
    EXPECT_EQ(list.AddSorted(dup), -1);  // refused: stays the caller's
    delete dup;
    EXPECT_EQ(list.GetCount(), 3);

    EXPECT_EQ(list.AddSorted(Named("")), 0);  // an empty name sorts first, once
    CObjectListItem* empty = Named("");
    EXPECT_EQ(list.AddSorted(empty), -1);
    delete empty;

    EXPECT_EQ(list.IndexOfName("gAmMa"), 3);
    EXPECT_NE(list.FindByName("BETA"), nullptr);
    EXPECT_EQ(list.GetAt(-1), nullptr);
    EXPECT_EQ(list.GetAt(list.GetCount()), nullptr);
    EXPECT_EQ(list.AddTail(Named("zulu")), 5);
    EXPECT_EQ(list.GetAt(4)->GetName(), "Zulu");
}

TEST(ObjectList, RemoveAndRenameKeepTheOrder)
{
    uitest::TempDir dir;
    CQXObjectList list;
    for (const char* n : {"delta", "bravo", "echo", "charlie"}) {
        CObjectListItem* item = Named(n);
        item->SetFilePath(dir.file(QString(n) + ".SRV"));
        Write(item->GetFilePath(), "x");
        list.AddSorted(item);
    }
    list.RemoveByName("ECHO", true);
    EXPECT_FALSE(QFile::exists(dir.file("echo.SRV")));
    list.RemoveAt(0, false);  // Bravo; its file stays
    EXPECT_TRUE(QFile::exists(dir.file("bravo.SRV")));
    list.RemoveItem(list.FindByName("nothing"), true);
    EXPECT_EQ(Names(list), (QStringList{"Charlie", "Delta"}));

    // Renaming is remove and add again: the new name takes its place in order.
    CObjectListItem* item = list.FindByName("delta");
    CObjectListItem* renamed = new CObjectListItem(*item);
    renamed->SetName("alpha", false);
    list.RemoveItem(item, false);
    EXPECT_EQ(list.AddSorted(renamed), 0);
    EXPECT_EQ(Names(list), (QStringList{"Alpha", "Charlie"}));
    EXPECT_EQ(list.IndexOf(*renamed), 0);

    // A file that cannot be deleted does not keep the item.
    list.FindByName("charlie")->SetFilePath(dir.file("missing/none.SRV"));
    list.RemoveByName("charlie", true);
    EXPECT_EQ(list.GetCount(), 1);
}

TEST(ObjectList, ItemsCompareWithoutCaseAndCopyEveryField)
{
    CObjectListItem a;
    a.m_strText = "Text";
    a.SetName("name", true);
    a.m_strText2 = "two";
    a.SetFilePath("/x/A.DFA");
    a.m_nIndex = 3;
    EXPECT_EQ(a.GetName(), "Name");
    CObjectListItem b = a;
    b.m_strText = "TEXT";
    b.SetFilePath("/X/a.dfa");
    EXPECT_TRUE(a == b);
    b.m_nIndex = 4;
    EXPECT_FALSE(a == b);
    b.Reset();
    EXPECT_EQ(b.m_nIndex, -1);
    EXPECT_TRUE(b.GetName().isEmpty() && b.GetFilePath().isEmpty());
}

TEST(ObjectList, AFolderLoadsSortedAndSkipsUnreadableFiles)
{
    uitest::TempDir dir;
    Write(dir.file("b.MDY"), "NAME=zebra\r\n");
    Write(dir.file("a.mdy"), "NAME=Apple\r\n");
    Write(dir.file("c.MDY"), "NAME=mango\r\n");
    Write(dir.file("broken.MDY"), "\x01\x02garbage");
    Write(dir.file("other.TXT"), "NAME=ignored\r\n");

    TraceHost host;
    engine_set_host(&host);
    NameFileList list;
    list.AddSorted(Named("left over"));
    Progress progress;
    EXPECT_EQ(CQXObjectList::CountFiles(dir.path(), ".MDY"), 4);
    EXPECT_EQ(CQXObjectList::CountFiles(dir.path(), "*.MDY"), 4);
    EXPECT_TRUE(list.LoadFolder(dir.path(), ".MDY", &progress));
    engine_set_host(nullptr);

    EXPECT_EQ(Names(list), (QStringList{"Apple", "Mango", "Zebra"}));
    EXPECT_EQ(progress.counts, (std::vector<long>{1, 2, 3, 4}));
    EXPECT_NE(host.trace.find("broken.MDY"), std::string::npos) << host.trace;
    EXPECT_EQ(host.trace.find("b.MDY"), std::string::npos);

    uitest::TempDir empty;
    EXPECT_TRUE(list.LoadFolder(empty.path(), ".MDY", &progress));
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(progress.counts.size(), 4u);
}

}  // namespace
