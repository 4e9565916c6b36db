// The phonebook's tests against the phone simulator: the engine (kernel, AT
// task, request frame) on a pseudo-terminal to phonesim, the application
// object with the English bundle and message boxes recorded, and the
// document with its phonebook records and mirror databases.
#pragma once

#include "../app/test_support.h"
#include "../engine/engine_fixture.h"

#include "jetdatabase.h"
#include "pbdatabase.h"
#include "utilities.h"
#include "zorqmmidoc.h"

#include <QApplication>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>

namespace pbtest {

// The recording application whose security-code dialog a test may supply
// (the dialog lives above the application core); `on_box` looks at the
// screen while a message box stands.
class PbApp : public zorqtest::RecordingApp {
public:
    std::function<int(QWidget* parent, int kind, int newCodeForm, int value)> codeDialog;
    int codeDialogRuns = 0;
    std::function<void()> on_box;

protected:
    int RunSecurCodeDialog(QWidget* parent, int kind, int newCodeForm, int value) override
    {
        ++codeDialogRuns;
        return codeDialog ? codeDialog(parent, kind, newCodeForm, value)
                          : RecordingApp::RunSecurCodeDialog(parent, kind, newCodeForm, value);
    }
    int SystemMessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type) override
    {
        if (on_box)
            on_box();
        return RecordingApp::SystemMessageBox(owner, text, caption, type);
    }
    int RunMessageDialog(CDlgMessageBox& dlg) override
    {
        if (on_box)
            on_box();
        return RecordingApp::RunMessageDialog(dlg);
    }
};

class PhonebookSimTest : public engine_test::LinkTest {
protected:
    zorqtest::TmpDirOverride tmpDir_;
    void SetUp() override
    {
        LinkTest::SetUp();
        for (const char* sub : {"Res", "Database", "Work", "Files", "Melody"})
            std::filesystem::create_directories(host.folder + sub);
        tmpDir_.Set(host.folder);
        app.SetDataDirectories(host.folder + "zorqmmi");
        ASSERT_TRUE(zorqtest::CopyFile(zorqtest::BuiltBundle(), host.folder + "ZORQenu.rcc"));
        // The screen's background (its title bar and panels).
        ASSERT_TRUE(zorqtest::CopyFile(zorqtest::BuiltProgramDir() + "/Res/pbback.bmp", host.folder + "Res/pbback.bmp"));
        ASSERT_TRUE(app.LoadResourceLibrary("enu"));
        mtr_PB_reset();
        doc = std::make_unique<CZorqMMIDoc>();
        doc->StopPBUpload();
    }
    void TearDown() override
    {
        doc.reset();
        tmpDir_.Restore();
        LinkTest::TearDown();
    }

    // Starts the simulator with `scenario`, sets the phonebooks up and
    // makes the three mirrors, empty, as a detection does. A `baud` rate
    // paces the simulator's answers as a cable would.
    void StartPhone(const std::string& scenario = "", int baud = 0)
    {
        Start(scenario, baud);
        gv_SPIO_com_status = 2;
        ASSERT_EQ(doc->SetupPB(), -35);
        for (int s = 1; s <= 3; ++s)
            ASSERT_TRUE(doc->CreatePBMirrorDatabase(s));
        doc->StopPBUpload();
    }

    // The simulator's entries of a phonebook, as "index number name" lines.
    std::string PhoneEntries(const std::string& book)
    {
        std::string out;
        for (const std::string& line : Lines(sim->dump()))
            if (line.rfind("entry " + book + " ", 0) == 0)
                out += line.substr(7 + book.size()) + "\n";
        return out;
    }
    static std::vector<std::string> Lines(const std::string& text)
    {
        std::vector<std::string> out;
        size_t at = 0;
        while (at < text.size()) {
            size_t e = text.find('\n', at);
            out.push_back(text.substr(at, e - at));
            if (e == std::string::npos)
                break;
            at = e + 1;
        }
        return out;
    }

    // The rows of a phonebook database as "location phone name" lines.
    static std::string Rows(const std::string& path)
    {
        CJetDatabase db;
        db.Open(path);
        CEntryPhoneRecordset rs(&db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntryPhone ORDER BY Location");
        std::string out;
        for (; !rs.IsEOF(); rs.MoveNext())
            out += std::to_string(rs.Location) + " " + rs.Phone + " " + rs.Name + "\n";
        return out;
    }

    // A PC phonebook file with the given entries at locations 1, 2, ...
    std::string MakePCDatabase(const std::string& name, const std::vector<PBEntry>& entries)
    {
        const std::string path = app.GetFolderPath() + name;
        EXPECT_TRUE(CreatePBDatabase(path));
        WritePhoneConf(0, path, true);
        int loc = 0;
        AddRows<CEntryPhoneRecordset>(path, "EntryPhone", entries, [&loc](CEntryPhoneRecordset& rs, PBEntry e) {
            if (e.Location == 0)
                e.Location = static_cast<int16_t>(++loc);
            rs.SetFromEntry(e);
        });
        return path;
    }

    // Rows added to `table` of the database file `path` in one transaction,
    // one for each item, `fill` setting its columns.
    template <class Recordset, class Item, class Fill>
    static void AddRows(const std::string& path, const char* table, const std::vector<Item>& items, Fill fill)
    {
        CJetDatabase db;
        db.Open(path);
        db.BeginTrans();
        Recordset rs(&db);
        rs.Open(dbOpenDynaset, std::string("[") + table + "]");
        for (const Item& item : items) {
            rs.AddNew();
            fill(rs, item);
            rs.Update();
        }
        rs.Close();
        db.CommitTrans();
    }

    static PBEntry Entry(const std::string& name, const std::string& phone)
    {
        PBEntry e;
        e.Name = name;
        e.Phone = phone;
        FilterDialChars(phone, e.ShortPhone);
        return e;
    }

    // The texts of the message boxes shown so far, and forgetting them.
    std::vector<std::string> Boxes()
    {
        std::vector<std::string> out;
        for (const auto& s : app.shown)
            out.push_back(s.text.trimmed().toStdString());
        return out;
    }
    std::string Text(int id, const QStringList& inserts = {})
    {
        return (inserts.isEmpty() ? app.LoadString(id) : app.FormatString(id, inserts)).toStdString();
    }

    PbApp app;
    std::unique_ptr<CZorqMMIDoc> doc;
    QWidget owner;
};

}  // namespace pbtest
