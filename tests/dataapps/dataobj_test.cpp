// Data-application entries: the ".DFA" file, the list the screen builds,
// the entry dialog and launching with the phone link released.
#include "walkthrough.h"
#include "dataobj.h"
#include "datarun.h"
#include "dlgdataobj.h"

#include "diskfaults.h"
#include "doc_fixture.h"
#include "profile.h"
#include "serial.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <set>

#include <filesystem>

using namespace zorqtest;
namespace fs = std::filesystem;

namespace {

const std::string kCanonical =
    "NAME=Dialer\r\nFULLEXENAME=/opt/tools/dial\r\nCOMMANDLINE=-port 2 \"a b\"\r\nDISPLAYHELP=1\r\n"
    "HELPCMD=-k modem\r\nTYPE=0\r\nAPPLITYPE=0\r\nMODEMFILESTATE=1\r\nMODEMFILENAME=modem.ini\r\n"
    "MODEMCOPYPATH=conf\r\n";

// A shell program that can be found and run.
void MakeProgram(const std::string& path, const std::string& body = "exit 0\n")
{
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
}

std::string Dfa(const std::string& name, const std::string& program, int appliType = 0, int type = 0)
{
    return "NAME=" + name + "\r\nFULLEXENAME=" + program + "\r\nCOMMANDLINE=\r\nDISPLAYHELP=0\r\nHELPCMD=\r\nTYPE=" +
           std::to_string(type) + "\r\nAPPLITYPE=" + std::to_string(appliType) +
           "\r\nMODEMFILESTATE=0\r\nMODEMFILENAME=\r\nMODEMCOPYPATH=\r\n";
}

class DataApps : public ::testing::Test {
protected:
    void SetUp() override { env.app.m_pMainWnd = &env.window; }
    std::string Files() const { return env.app.GetFilesDir(); }
    QString QFiles() const { return QString::fromStdString(Files()); }
    DocEnvironment env;
};

TEST_F(DataApps, DfaFilesRoundTripByteForByteAndClamp)
{
    WriteFile(Files() + "in.DFA", kCanonical);
    CDataObj obj;
    ASSERT_TRUE(obj.Load(QFiles() + "in.DFA"));
    EXPECT_EQ(obj.GetName(), "Dialer");
    EXPECT_EQ(obj.GetFullExeName(), "/opt/tools/dial");
    EXPECT_EQ(obj.GetArguments(), QStringList({"-port", "2", "a b"}));
    EXPECT_EQ(obj.m_strText2, "in.DFA");
    ASSERT_TRUE(obj.Save(QFiles() + "out.DFA"));
    EXPECT_EQ(ReadFile(Files() + "out.DFA"), kCanonical);

    // Out-of-range numbers are clamped on reading; keys ignore case; the
    // name loses quotes and commas.
    WriteFile(Files() + "odd.DFA",
              "name= \"Fax, pro\" \r\n\r\nfullexename=\"/opt/my tools/fax\"\r\nTYPE=5\r\nAPPLITYPE=-3\r\n"
              "MODEMFILESTATE=7\r\n");
    ASSERT_TRUE(obj.Load(QFiles() + "odd.DFA"));
    EXPECT_EQ(obj.GetName(), "Fax pro");
    EXPECT_EQ(obj.GetFullExeName(), "/opt/my tools/fax");
    EXPECT_EQ(obj.GetType(), 1);
    EXPECT_EQ(obj.GetAppliType(), 0);
    EXPECT_EQ(obj.GetModemFileState(), 2);
    obj.SetModemFileState(-1);
    EXPECT_EQ(obj.GetModemFileState(), 0);

    // Refused: no program line, an empty program, an empty name, no file.
    WriteFile(Files() + "bad1.DFA", "NAME=Lost\r\nTYPE=0\r\n");
    WriteFile(Files() + "bad2.DFA", "NAME=Lost\r\nFULLEXENAME=\r\n");
    WriteFile(Files() + "bad3.DFA", "NAME= \r\nFULLEXENAME=/bin/sh\r\n");
    for (const char* f : {"bad1.DFA", "bad2.DFA", "bad3.DFA", "none.DFA"})
        EXPECT_FALSE(obj.Load(QFiles() + f)) << f;
}

TEST_F(DataApps, TheListTakesOnlyRunnableEntriesOfItsKind)
{
    const std::string tools = env.dir.path() + "tools dir/";
    MakeProgram(tools + "term");
    MakeProgram(tools + "zorqmmi");
    WriteFile(Files() + "a.DFA", Dfa("zeta", tools + "term"));
    WriteFile(Files() + "b.DFA", Dfa("Alpha", "sh"));  // found in the search path
    WriteFile(Files() + "c.DFA", Dfa("Missing", tools + "gone"));
    WriteFile(Files() + "d.DFA", Dfa("Fax kind", tools + "term", 1));
    WriteFile(Files() + "e.DFA", Dfa("Myself", tools + "zorqmmi"));
    WriteFile(Files() + "f.dfa", "garbage\r\n");
    CDataObjList list(0);
    ASSERT_TRUE(list.LoadFolder(QFiles(), "*.DFA", nullptr));
    // An entry whose program is missing stays, so that it can be corrected
    // or deleted (its Run button is off).
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetAt(0)->GetName(), "Alpha");
    EXPECT_EQ(list.GetAt(1)->GetName(), "Missing");
    EXPECT_EQ(list.GetAt(2)->GetName(), "Zeta");  // sorted, capitalised
    // The bare name was located and written back with its full path.
    const QString sh = static_cast<CDataObj*>(list.GetAt(0))->GetFullExeName();
    EXPECT_TRUE(sh.startsWith('/') && sh.endsWith("/sh")) << sh.toStdString();
    EXPECT_NE(ReadFile(Files() + "b.DFA").find("FULLEXENAME=" + sh.toStdString() + "\r\n"), std::string::npos);
    EXPECT_TRUE(list.FindByProgram(QString::fromStdString(tools + "TERM").replace("TERM", "term")));
    // The entries left out keep their files.
    for (const char* f : {"d.DFA", "e.DFA"}) EXPECT_TRUE(fs::exists(Files() + f)) << f;
}

TEST_F(DataApps, DamagedEntryFilesAreNamedAndLeftAsTheyAre)
{
    // The program last, so that the file cut short has none.
    const std::string good = "NAME=Shell\r\nCOMMANDLINE=\r\nDISPLAYHELP=0\r\nHELPCMD=\r\nTYPE=0\r\nAPPLITYPE=0\r\n"
                             "MODEMFILESTATE=0\r\nMODEMFILENAME=\r\nMODEMCOPYPATH=\r\nFULLEXENAME=sh\r\n";
    WriteFile(Files() + "good.DFA", good);
    const auto damaged = zorqtest::WriteDamagedShapes(Files(), "bad", ".DFA", good);
    std::vector<std::string> before;
    for (const auto& d : damaged)
        before.push_back(ReadFile(d.path));
    CDataObjList list(0);
    ASSERT_TRUE(list.LoadFolder(QFiles(), "*.DFA", nullptr));
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetAt(0)->GetName(), "Shell");
    for (size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE(damaged[i].shape);
        int naming = 0;
        // Paths inside the program folder are shown shortened ("...").
        const std::string name = fs::path(damaged[i].path).filename().string();
        for (const std::string& box : env.Boxes())
            naming += box.find("Files/" + name) != std::string::npos;
        if (damaged[i].shape == "folder")
            EXPECT_EQ(naming, 0) << "a folder is not listed as an entry";
        else
            EXPECT_GE(naming, 1) << "no message names the file";
        EXPECT_EQ(ReadFile(damaged[i].path), before[i]);
    }
}

// Runs the dialog modally, lets `act` work on it, then presses `button`.
int RunDialog(CDlgDataObj& dlg, const std::function<void()>& act, int button)
{
    // The inner step may run after this function returned: it holds only a
    // guarded pointer to the dialog, never references into this frame.
    CDlgDataObj* d = &dlg;
    QTimer::singleShot(0, [d, act, button] {
        act();
        if (auto* b = qobject_cast<QPushButton*>(d->GetDlgItem(button))) b->click();
        // A dialog that stays open (a message) is closed for the next step.
        QTimer::singleShot(0, [guard = QPointer<CDlgDataObj>(d)] {
            if (guard && guard->isVisible()) guard->EndDialog(IDCANCEL);
        });
    });
    return dlg.DoModal();
}

void Type(CDlgDataObj& dlg, int id, const QString& text)
{
    auto* edit = qobject_cast<QLineEdit*>(dlg.GetDlgItem(id));
    ASSERT_TRUE(edit);
    edit->setText(text);
}

TEST_F(DataApps, DialogCreatesEntriesAndRefusesBadOnes)
{
    const std::string tools = env.dir.path() + "my tools/";
    MakeProgram(tools + "dial");
    MakeProgram(tools + "term");
    CDataObjList list(0);

    CDlgDataObj browse(&env.window, nullptr, &list);
    CDlgDataObj::s_browseHook = [&](QWidget*) { return QString::fromStdString(tools + "dial"); };
    const int r = RunDialog(browse, [&] {
        Type(browse, 1142, "  dialer ");
        qobject_cast<QPushButton*>(browse.GetDlgItem(1108))->click();
        // The browsed path holds a blank: it is quoted; arguments follow.
        auto* edit = qobject_cast<QLineEdit*>(browse.GetDlgItem(1144));
        EXPECT_EQ(edit->text().toStdString(), "\"" + tools + "dial\"");
        EXPECT_EQ(edit->cursorPosition(), edit->text().size());
        edit->setText(edit->text() + " -port 2 \"x y\"");
        EXPECT_FALSE(browse.GetDlgItem(1145)->isEnabled());  // a new entry is of type 1
    }, 1);
    CDlgDataObj::s_browseHook = nullptr;
    ASSERT_EQ(r, IDOK);
    ASSERT_EQ(list.GetCount(), 1);
    auto* entry = static_cast<CDataObj*>(list.GetAt(0));
    EXPECT_EQ(entry->GetName(), "Dialer");
    EXPECT_EQ(entry->GetFullExeName().toStdString(), tools + "dial");
    EXPECT_EQ(entry->GetCommandLine(), "-port 2 \"x y\"");
    EXPECT_EQ(entry->GetArguments(), QStringList({"-port", "2", "x y"}));
    EXPECT_EQ(entry->GetFilePath(), QFiles() + "Dialer.DFA");
    EXPECT_NE(ReadFile(Files() + "Dialer.DFA").find("FULLEXENAME=" + tools + "dial\r\n"), std::string::npos);

    // Each refusal keeps the dialog open with its message.
    struct Case {
        QString name, program;
        const char* message;
    };
    const Case cases[] = {
        {"  ", "/bin/sh", "Enter a name."},
        {"Term", " ", "Enter the program to run."},
        {"Self", "/usr/bin/zorqmmi -x", "Pellard Tarvel Data cannot be started as a data application."},
        {"DIALER", QString::fromStdString("\"" + tools + "term\""), "This name exists already. Please choose another name."},
        {"Other", QString::fromStdString("\"" + tools + "DIAL\" -q"), "This program is already in the list."},
    };
    for (const Case& c : cases) {
        env.app.shown.clear();
        CDlgDataObj dlg(&env.window, nullptr, &list);
        EXPECT_EQ(RunDialog(dlg, [&] {
                      Type(dlg, 1142, c.name);
                      Type(dlg, 1144, c.program);
                  }, 1),
                  IDCANCEL)
            << c.message;
        ASSERT_EQ(env.Boxes().size(), 1u) << c.message;
        EXPECT_EQ(env.Boxes()[0], c.message);
    }
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(fs::directory_iterator(Files()) == fs::directory_iterator(), false);
    EXPECT_FALSE(fs::exists(Files() + "Term.DFA"));
}

TEST_F(DataApps, ModifyAndRenameKeepTheFile)
{
    const std::string tools = env.dir.path() + "tools/";
    MakeProgram(tools + "dial");
    MakeProgram(tools + "term");
    WriteFile(Files() + "a.DFA", Dfa("Dialer", tools + "dial"));
    WriteFile(Files() + "b.DFA", Dfa("Modem", tools + "term"));
    CDataObjList list(0);
    list.LoadFolder(QFiles(), "*.DFA", nullptr);
    ASSERT_EQ(list.GetCount(), 2);

    // Modified: the edit shows program and arguments; the check box follows
    // the entry's help setting (type 0).
    {
        CDlgDataObj dlg(&env.window, list.FindDataObj("Dialer"), &list);
        ASSERT_EQ(RunDialog(dlg, [&] {
                      EXPECT_EQ(qobject_cast<QLineEdit*>(dlg.GetDlgItem(1144))->text().toStdString(), tools + "dial");
                      EXPECT_TRUE(dlg.GetDlgItem(1145)->isEnabled());
                      EXPECT_FALSE(zorqtest::SaveScreen(&dlg, QStringLiteral("data_application_dialog")).isEmpty());
                      Type(dlg, 1144, QString::fromStdString(tools + "dial -v"));
                      qobject_cast<QCheckBox*>(dlg.GetDlgItem(1145))->setChecked(true);
                  }, 1),
                  IDOK);
        EXPECT_EQ(list.FindDataObj("Dialer")->GetCommandLine(), "-v");
        EXPECT_EQ(list.FindDataObj("Dialer")->GetDisplayHelp(), 1);
    }
    // Renamed: it moves in the order; its file is the same one.
    {
        CDlgDataObj dlg(&env.window, list.FindDataObj("Dialer"), &list);
        ASSERT_EQ(RunDialog(dlg, [&] { Type(dlg, 1142, "Zdial"); }, 1), IDOK);
        ASSERT_EQ(list.GetCount(), 2);
        EXPECT_EQ(list.GetAt(1)->GetName(), "Zdial");
        EXPECT_EQ(list.GetAt(1)->GetFilePath(), QFiles() + "a.DFA");
        EXPECT_NE(ReadFile(Files() + "a.DFA").find("NAME=Zdial\r\n"), std::string::npos);
        EXPECT_EQ(dlg.GetItemIndex(), 1);
    }
    // A rename that cannot be completed (the program vanished): the entry
    // stays listed and its file stays.
    {
        fs::remove(tools + "term");
        CDlgDataObj dlg(&env.window, list.FindDataObj("Modem"), &list);
        ASSERT_EQ(RunDialog(dlg, [&] { Type(dlg, 1142, "Anymodem"); }, 1), IDOK);
        ASSERT_EQ(list.GetCount(), 2);
        EXPECT_TRUE(list.FindDataObj("Anymodem"));
        EXPECT_TRUE(fs::exists(Files() + "b.DFA"));
    }
    // Cancel changes nothing.
    {
        CDlgDataObj dlg(&env.window, list.FindDataObj("Zdial"), &list);
        EXPECT_EQ(RunDialog(dlg, [&] { Type(dlg, 1142, "Nope"); }, 2), IDCANCEL);
        EXPECT_TRUE(list.FindDataObj("Zdial"));
    }
    // A new entry whose name is another entry's file name gets a file of its own.
    {
        WriteFile(Files() + "Fresh.DFA", Dfa("Someone", tools + "dial"));
        MakeProgram(tools + "fresh");
        CDlgDataObj dlg(&env.window, nullptr, &list);
        ASSERT_EQ(RunDialog(dlg, [&] {
                      Type(dlg, 1142, "Fresh");
                      Type(dlg, 1144, QString::fromStdString(tools + "fresh"));
                  }, 1),
                  IDOK);
        EXPECT_EQ(ReadFile(Files() + "Fresh.DFA"), Dfa("Someone", tools + "dial"));
        EXPECT_NE(list.FindDataObj("Fresh")->GetFilePath(), QFiles() + "Fresh.DFA");
    }
}

TEST_F(DataApps, ModemFileIsCopiedOrOpened)
{
    const std::string tools = env.dir.path() + "tools/";
    MakeProgram(tools + "fax");
    WriteFile(Files() + "modem.ini", "ATZ\r\n");
    CDataObj entry;
    entry.SetFullExeName(QString::fromStdString(tools + "fax"));
    entry.SetModemFileName("modem.ini");
    entry.SetModemFileState(1);
    entry.SetModemCopyPath("conf");  // relative to the program's folder
    fs::create_directories(tools + "conf");
    WriteFile(tools + "conf/modem.ini", "old");
    ManageModemFile(entry);
    EXPECT_EQ(ReadFile(tools + "conf/modem.ini"), "ATZ\r\n");
    entry.SetModemCopyPath(QString::fromStdString(env.dir.path() + "abs"));
    fs::create_directories(env.dir.path() + "abs");
    ManageModemFile(entry);
    EXPECT_EQ(ReadFile(env.dir.path() + "abs/modem.ini"), "ATZ\r\n");
    // A copy into a folder that does not exist only fails.
    entry.SetModemCopyPath("nowhere");
    ManageModemFile(entry);
    EXPECT_FALSE(fs::exists(tools + "nowhere"));
}

// Names typed in the dialog become file names in the files folder only:
// no folder separator, no "..", no leading dot.
TEST_F(DataApps, EntryFilesAreNamedSafelyInTheFilesFolder)
{
    const std::string tools = env.dir.path() + "tools/";
    CDataObjList list(0);
    const char* names[] = {"../up", ".hidden", "a/b", "x..y"};
    for (const char* name : names) {
        const std::string program = tools + "p" + std::to_string(list.GetCount());
        MakeProgram(program);
        CDlgDataObj dlg(&env.window, nullptr, &list);
        ASSERT_EQ(RunDialog(dlg, [&] {
                      Type(dlg, 1142, name);
                      Type(dlg, 1144, QString::fromStdString(program));
                  }, 1),
                  IDOK)
            << name;
    }
    EXPECT_TRUE(env.app.shown.empty()) << env.Boxes().front();
    ASSERT_EQ(list.GetCount(), 4);
    std::set<std::string> files;
    for (const auto& f : fs::directory_iterator(Files()))
        if (f.path().extension() == ".DFA")
            files.insert(f.path().filename().string());
    EXPECT_EQ(files.size(), 4u);
    for (const std::string& f : files) {
        EXPECT_NE(f[0], '.') << f;
        EXPECT_EQ(f.find(".."), std::string::npos) << f;
    }
    for (const auto& f : fs::recursive_directory_iterator(env.dir.path())) {
        if (f.path().extension() == ".DFA") {
            EXPECT_EQ(f.path().parent_path().string() + "/", Files()) << f.path();
        }
    }
    // Each file keeps the name as typed.
    const CDataObj* up = list.FindDataObj("../up");
    ASSERT_TRUE(up);
    EXPECT_NE(ReadFile(up->GetFilePath().toStdString()).find("NAME=../up\r\n"), std::string::npos);
}

// A save that cannot be written completely (the file size limit stands in
// for a full disk) keeps the entry's file and the listed entry as they were.
TEST_F(DataApps, AFailedSaveKeepsTheOldEntry)
{
    const std::string tools = env.dir.path() + "tools/";
    MakeProgram(tools + "dial");
    WriteFile(Files() + "a.DFA", Dfa("Dialer", tools + "dial"));
    const std::string before = ReadFile(Files() + "a.DFA");
    CDataObjList list(0);
    list.LoadFolder(QFiles(), "*.DFA", nullptr);
    ASSERT_EQ(list.GetCount(), 1);

    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldSignal = signal(SIGXFSZ, SIG_IGN);
    int result;
    {
        CDlgDataObj dlg(&env.window, list.FindDataObj("Dialer"), &list);
        result = RunDialog(dlg, [&] {
            Type(dlg, 1144, QString::fromStdString(tools + "dial --changed-arguments"));
            struct rlimit small = old;
            small.rlim_cur = 32;
            setrlimit(RLIMIT_FSIZE, &small);
        }, 1);
    }
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(env.Boxes(), std::vector<std::string>{env.app.LoadString(31726).toStdString()});
    EXPECT_EQ(ReadFile(Files() + "a.DFA"), before);
    ASSERT_TRUE(list.FindDataObj("Dialer"));
    EXPECT_EQ(list.FindDataObj("Dialer")->GetCommandLine(), "");
    for (const auto& f : fs::directory_iterator(Files()))
        EXPECT_EQ(f.path().filename().string().find(".tmp"), std::string::npos) << "no temporary file is left";
}

}  // namespace
