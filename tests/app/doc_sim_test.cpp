// The document against the phone simulator over a pseudo-terminal: phone
// detection with the code prompt, the background phonebook reading into the
// mirrors, received messages and their parts, status reports and indicators.
#include "../support/sms_pdu.h"
#include "doc_fixture.h"
#include "engine_fixture.h"

#include "mtr_gen.h"
#include "pbdatabase.h"
#include "smsdatabase.h"
#include "utilities.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>

using namespace zorqtest;

namespace {

// A host that enters the code the phone asks for: a wrong one, then the
// right one.
class CodeHost : public engine_test::TestHost {
public:
    int AskSecurityCode(int state) override
    {
        asked.push_back(state);
        mtr_GEN_set_pin(asked.size() == 1 ? "0000" : "1234", "");
        return 1;
    }
    std::vector<int> asked;
};

class ActiveView : public CDocWindows {
public:
    explicit ActiveView(QObject* view) : view_(view) {}
    QObject* GetActiveView() override { return view_; }

private:
    QObject* view_;
};

// Plays the message screen: a message read from the phone becomes a row of
// the SIM mirror, a part joins the SIM concatenation list.
class ReceivingScreen : public MmiShortMsg {
public:
    explicit ReceivingScreen(CZorqMMIDoc& doc) : doc_(doc) {}
    void mmi_SM_read_cnf(uint8_t index, const SMS_SETTINGS* settings, const char* text, size_t len,
                         const char* number, const MTR_DATETIME& stamp, const char* sca) override
    {
        SMS_PARAMETERS p;
        mtr_SMS_cnf_to_param(&p, settings);
        const std::string body(text, len);
        if (p.concat) {
            doc_.SelectConcatList(SMS_SRC_SIM);
            doc_.MakeMessageFromRecord(index, &p, body, number, stamp, sca);
            doc_.ClearConcatListSelection();
            return;
        }
        CMessage m;
        m.SetLocation(index);
        m.SetStatus(p.status);
        m.AddAddress("", number);
        m.SetDate(stamp);
        m.SetText(body);
        m.SetServiceCentre(sca);
        doc_.SaveMsgInDB(&m, SMS_DST_SIM);
    }
    void mmi_SM_list_cnf(uint8_t, const SMS_SETTINGS*, const char*, size_t, const char*, const MTR_DATETIME&,
                         const char*) override
    {
    }

private:
    CZorqMMIDoc& doc_;
};

class DocSimTest : public engine_test::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        for (const char* sub : {"Res", "Database", "Work", "Files", "Melody"})
            std::filesystem::create_directories(host.folder + sub);
        codeHost.folder = host.folder;
        engine_set_host(&codeHost);
        app.SetDataDirectories(host.folder + "zorqmmi");
        CopyFile(BuiltBundle(), host.folder + "ZORQenu.rcc");
        app.LoadResourceLibrary("enu");
        WriteVersionFile(host.folder, "PB=1.0,SMS=1.0,ST1=1.0");
        app.RegisterVersionEditionNumber();
        for (const char* table : {"GSMToWin.cvt", "WinToGSM.cvt"})
            CopyFile(BuiltProgramDir() + "/Files/" + table, host.folder + table);
        mtr_init("Quenvale");
        gv_SPIO_com_status = SPIO_no_com_available;
        zdoc = std::make_unique<CZorqMMIDoc>();
        app.m_pMainWnd = &window;
        zdoc->SetWindows(&views);
    }
    void TearDown() override
    {
        gv_pShortMsg = nullptr;
        zdoc.reset();
        app.m_pMainWnd = nullptr;
        EngineTest::TearDown();
    }
    // The simulator on COM1 (no other port answers), then a full detection.
    bool Detect(const std::string& scenario)
    {
        sim = &Sim(1, scenario);
        NoOtherPorts();
        return zdoc->mmi_NewMobileDetect(true);
    }
    // Runs the background reading until it stops (or `limit` steps).
    int ReadInBackground(int limit = 2000)
    {
        int steps = 0;
        while (zdoc->GetPBUploadState() == 1 && steps < limit) {
            zdoc->BackGroundUpLoadPB();
            ++steps;
        }
        return steps;
    }
    // Lets the engine poll until `done` holds, delivering posted messages.
    template <typename F>
    bool Until(F done, int ms = 5000)
    {
        return IdleUntil([&] {
            QCoreApplication::sendPostedEvents();
            return done();
        }, ms);
    }
    std::map<int, std::pair<std::string, std::string>> Mirror(int storage)
    {
        std::map<int, std::pair<std::string, std::string>> rows;
        CJetDatabase db;
        db.Open(GetPBDatabaseName(storage));
        CEntryPhoneRecordset rs(&db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntryPhone");
        for (; !rs.IsEOF(); rs.MoveNext())
            rows[rs.Location] = {rs.Name, rs.Phone};
        return rows;
    }
    std::vector<unsigned> Messages() const
    {
        std::vector<unsigned> out;
        for (const auto& p : window.got)
            out.push_back(p.message);
        return out;
    }
    CodeHost codeHost;
    DocApp app;
    RecordingWindow window;
    RecordingWindow view;
    ActiveView views{&view};
    std::unique_ptr<CZorqMMIDoc> zdoc;
};

TEST_F(DocSimTest, DetectionAsksTheCodeReadsTheFeaturesAndMakesTheMirrors)
{
    ASSERT_TRUE(Detect("pin-state SIM PIN\n"));
    EXPECT_EQ(gv_SPIO_com_status, SPIO_com_available);
    EXPECT_EQ(codeHost.asked, (std::vector<int>{AT_PIN_SIM_PIN, AT_PIN_SIM_PIN}));  // wrong, then right
    // The simulator answers PB=1.0,SMS=3.0,ST1=2.0...; the program asks 1.0.
    EXPECT_TRUE(zdoc->IsSMSExtendedAvailable());
    EXPECT_TRUE(zdoc->IsMultiBlockSMSAvailable());
    EXPECT_TRUE(zdoc->IsSecurityAvailable());
    EXPECT_FALSE(zdoc->IsFeatureMDY());  // not in the program's version
    EXPECT_EQ(zdoc->GetPBMaxLocation(1), 250);
    EXPECT_EQ(zdoc->GetPBMaxLocation(3), 200);
    EXPECT_EQ(zdoc->GetPBMaxLocation(2), 10);
    EXPECT_EQ(zdoc->GetPBMaxTextLength(5), 14);
    EXPECT_EQ(zdoc->GetSMSMaxLocation(SMS_DST_SIM), 30);
    EXPECT_TRUE(zdoc->IsSMSStorageAvailable(SMS_SRC_SIM));
    EXPECT_NE(zdoc->GetSMSParamState(), 0);
    for (int s : {1, 2, 3})
        EXPECT_TRUE(Mirror(s).empty());
    EXPECT_TRUE(std::filesystem::exists(GetSMSimSIMPath(1)));
    EXPECT_EQ(zdoc->GetPBUploadState(), 1);
    // The screen let go of its databases, then learnt the new capabilities.
    ASSERT_EQ(view.got.size(), 2u);
    EXPECT_EQ(view.got[0].message, WM_MMI_RELEASE_DATABASES);
    EXPECT_EQ(view.got[1].message, WM_MMI_MS_PARAM_CHANGED);
    EXPECT_EQ(view.got[1].wParam, 1u);
}

TEST_F(DocSimTest, UnpluggedPhoneLeavesNothingHalfMade)
{
    ASSERT_TRUE(Detect(""));
    for (int i = 0; i < 5; ++i)
        zdoc->BackGroundUpLoadPB();
    EXPECT_EQ(Mirror(1).size(), 2u);  // Alice and Bob
    sim->command("unplug");
    view.got.clear();
    ASSERT_TRUE(zdoc->mmi_NewMobileDetect(true));
    EXPECT_EQ(gv_SPIO_com_status, SPIO_no_com_available);
    EXPECT_EQ(zdoc->GetPBMaxLocation(1), 0);
    EXPECT_EQ(zdoc->GetSMSMaxLocation(SMS_DST_SIM), 0);
    EXPECT_FALSE(zdoc->IsPBStorageRead(1));
    for (int s : {1, 2, 3})
        EXPECT_TRUE(Mirror(s).empty()) << s;
    ASSERT_EQ(view.got.size(), 2u);
    EXPECT_EQ(view.got[1].wParam, 0u);
    zdoc->BackGroundUpLoadPB();  // no link: nothing is read
    EXPECT_TRUE(Mirror(1).empty());
}

TEST_F(DocSimTest, APhoneBackOnAnotherPortIsLinkedAsAtStartUpAndWhatWasStoredMeanwhileStays)
{
    const std::string pcdb = app.GetFolderPath() + "defsms.mdb";
    ASSERT_TRUE(CreateSMSDatabase(pcdb));
    SetSMSConf(0, pcdb, true);
    ASSERT_TRUE(Detect(""));
    ReadInBackground();
    ASSERT_EQ(sim->command("unplug"), "ok");
    // A pulled device's node stays gone (a freed pseudo-terminal number may
    // soon belong to another test's phone).
    WriteIniProfileString("Ports", "COM1", "/dev/zorq-absent-1");
    ASSERT_TRUE(Until([&] {
        Read_Serial_Line();  // what the program's loop does
        return gv_SPIO_com_status == SPIO_no_com_available;
    }, 2000));
    ASSERT_TRUE(zdoc->TakeLinkChange());
    ASSERT_TRUE(zdoc->mmi_NewMobileDetect(false));  // the quiet re-detection
    EXPECT_EQ(gv_SPIO_com_status, SPIO_no_com_available);
    EXPECT_EQ(zdoc->GetPBMaxLocation(1), 0);

    // Kept on the PC while the phone is away.
    CMessage offline;
    offline.SetStatus(2);
    offline.AddAddress("", "+33611");
    offline.SetText("written while the phone was away");
    zdoc->SaveMsgInDB(&offline, SMS_DST_PC);

    // Another phone, on another port (COM1's device is gone).
    Sim(2, "entry SM 7 \"+33699\" 145 \"Zed\"\n");
    view.got.clear();
    ASSERT_TRUE(zdoc->mmi_NewMobileDetect(true));
    EXPECT_EQ(gv_SPIO_com_status, SPIO_com_available);
    EXPECT_EQ(GetIniProfileInt("Configuration", "SerialPort", 0), 2);
    EXPECT_EQ(zdoc->GetPBMaxLocation(1), 250);
    EXPECT_EQ(zdoc->GetSMSMaxLocation(SMS_DST_SIM), 30);
    ASSERT_FALSE(view.got.empty());
    EXPECT_EQ(view.got.back().message, WM_MMI_MS_PARAM_CHANGED);
    EXPECT_EQ(view.got.back().wParam, 1u);
    ReadInBackground();
    const auto sim1 = Mirror(1);
    ASSERT_EQ(sim1.count(7), 1u);
    EXPECT_EQ(sim1.at(7).first, "Zed");

    CJetDatabase db;
    db.Open(pcdb);
    CEntrySMSRecordset rs(&db);
    rs.Open(dbOpenDynaset, "SELECT * FROM EntrySMS");
    ASSERT_EQ(rs.GetRecordCount(), 1);
    EXPECT_EQ(rs.Text, "written while the phone was away");
}

TEST_F(DocSimTest, BackgroundReadingFillsTheMirrorsExactly)
{
    // 250 SIM entries, names with characters of the GSM extension table.
    std::string scenario = "phonebook ME 200 32 20\nclear-phonebook SM\n";
    std::map<int, std::pair<std::string, std::string>> want;
    for (int i = 1; i <= 250; ++i) {
        char number[32], name[32], line[128];
        std::snprintf(number, sizeof number, "+336%08d", 10000000 + i * 137);
        const char* extra = i % 3 == 0 ? "\x80[]" : i % 3 == 1 ? "{|}" : " ~^\\";
        std::snprintf(name, sizeof name, "C%03d%s", i, extra);
        std::string quoted;
        for (unsigned char c : std::string(name)) {
            char h[4];
            std::snprintf(h, sizeof h, "\\%02X", c);
            quoted += (c < 0x80 && c != '\\') ? std::string(1, static_cast<char>(c)) : std::string(h);
        }
        std::snprintf(line, sizeof line, "entry SM %d %s 145 \"%s\"\n", i, number, quoted.c_str());
        scenario += line;
        want[i] = {name, number};
    }
    ASSERT_TRUE(Detect(scenario));
    // The SIM first, location by location.
    for (int i = 0; i < 250; ++i)
        zdoc->BackGroundUpLoadPB();
    EXPECT_TRUE(zdoc->IsPBStorageRead(1));
    EXPECT_EQ(Mirror(1), want);
    // Then the fixed-dialling list (empty) and the phone memory.
    ReadInBackground();
    EXPECT_EQ(zdoc->GetPBUploadState(), 0);
    EXPECT_TRUE(zdoc->IsPBStorageRead(2));
    EXPECT_TRUE(zdoc->IsPBStorageRead(3));
    EXPECT_EQ(Mirror(3).size(), 2u);
    // The whole SIM again in one request: the phone answers every place at
    // once, and every entry still reaches the mirror.
    ASSERT_TRUE(zdoc->UpLoadPB(PB_SRC_SIM, nullptr, 0, 0));
    EXPECT_EQ(Mirror(1), want);
}

// The whole SIM asked in one request and its answer lost: the user is told
// the phone does not answer, not a refusal numbered -36, and an owner that
// waits for the phone itself is left to say it.
TEST_F(DocSimTest, AWholeSimReadWhoseAnswerIsLostIsToldAsASilentPhone)
{
    ASSERT_TRUE(Detect("phonebook SM 20 20 14\nentry SM 2 +3312 145 Eve\n"));
    ReadInBackground();
    const std::string noPhone = app.LoadString(31885).toStdString();
    for (bool tell : {true, false}) {
        // The lost answer leaves the link for lost: the phone is found again.
        if (!tell) {
            ASSERT_TRUE(zdoc->mmi_NewMobileDetect(true));
        }
        app.shown.clear();
        ASSERT_EQ(sim->command("fault drop +CPBR=1,"), "ok");
        EXPECT_FALSE(zdoc->UpLoadPB(PB_SRC_SIM, nullptr, 0, 0, tell));
        EXPECT_TRUE(mtr_failed_unanswered(zdoc->LastPBUpload()));
        std::vector<std::string> told;
        for (const auto& box : app.shown)
            told.push_back(box.text.simplified().toStdString());
        EXPECT_EQ(told, tell ? std::vector<std::string>{noPhone} : std::vector<std::string>{}) << tell;
    }
    // Found again and answering, the phone fills the mirror.
    ASSERT_TRUE(zdoc->mmi_NewMobileDetect(true));
    EXPECT_TRUE(zdoc->UpLoadPB(PB_SRC_SIM, nullptr, 0, 0));
    EXPECT_EQ(zdoc->LastPBUpload(), MTR_DONE);
    EXPECT_EQ(Mirror(1)[2].first, "Eve");
}

TEST_F(DocSimTest, FailedLocationsAreRetriedAndNeverMarkedRead)
{
    ASSERT_TRUE(Detect("phonebook SM 20 20 14\nentry SM 4 +3312 145 Eve\nentry SM 6 +3313 145 Max\n"));
    for (int i = 0; i < 3; ++i)
        zdoc->BackGroundUpLoadPB();
    ASSERT_EQ(zdoc->GetPBUploadIndex(), 4);
    // Location 4 answers an error (the SIM is busy for a second): it is
    // read again at the next idle call, not skipped.
    sim->command("set sim-busy 1");
    zdoc->BackGroundUpLoadPB();
    EXPECT_EQ(zdoc->GetPBUploadIndex(), 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    zdoc->BackGroundUpLoadPB();
    EXPECT_EQ(zdoc->GetPBUploadIndex(), 5);
    EXPECT_EQ(Mirror(1)[4].first, "Eve");
    // A SIM that stays busy: the storage is gone through but not read.
    sim->command("set sim-busy 600");
    for (int i = 0; i < 200 && zdoc->GetPBUploadStorage() == 1; ++i)
        zdoc->BackGroundUpLoadPB();
    EXPECT_NE(zdoc->GetPBUploadStorage(), 1) << zdoc->GetPBUploadIndex();
    EXPECT_FALSE(zdoc->IsPBStorageRead(1));
    const auto rows = Mirror(1);
    EXPECT_EQ(rows.size(), 3u);  // Alice, Bob and Eve; Max could not be read
    EXPECT_EQ(rows.count(6), 0u);
}

TEST_F(DocSimTest, APhoneWithoutPhoneMemoryEndsTheReading)
{
    ASSERT_TRUE(Detect(""));
    // This phone offers no phone memory and no fixed-dialling list.
    zdoc->GetMSParam().pb[MTR_PB_REC_EEPROM_ADN] = MTR_PB_STORAGE{};
    zdoc->GetMSParam().pb[MTR_PB_REC_SIM_FDN] = MTR_PB_STORAGE{};
    const int steps = ReadInBackground();
    EXPECT_EQ(zdoc->GetPBUploadState(), 0);
    EXPECT_LT(steps, 300);
    EXPECT_EQ(Mirror(1).size(), 3u);
    EXPECT_TRUE(zdoc->IsPBStorageRead(1));
}

TEST_F(DocSimTest, ForegroundReadingResumesTheBackground)
{
    ASSERT_TRUE(Detect(""));
    for (int i = 0; i < 40; ++i)
        zdoc->BackGroundUpLoadPB();
    zdoc->SetPBUploadDone();  // the phonebook screen suspends it
    zdoc->BackGroundUpLoadPB();
    EXPECT_EQ(zdoc->GetPBUploadIndex(), 41);
    EXPECT_TRUE(zdoc->UpLoadPB(PB_SRC_SIM, nullptr, 0, 0));
    EXPECT_EQ(Mirror(1).size(), 3u);  // Alice, Bob and Zoe at 250
    EXPECT_TRUE(zdoc->IsPBStorageRead(1));
    EXPECT_EQ(zdoc->GetPBUploadState(), 1);
    EXPECT_NE(zdoc->GetPBUploadStorage(), 1);

    // A mirror that cannot be opened: false, and the background goes on.
    zdoc->SetPBUploadDone();
    std::filesystem::remove(GetPBDatabaseName(3));
    std::filesystem::create_directory(GetPBDatabaseName(3));
    EXPECT_FALSE(zdoc->UpLoadPB(PB_SRC_EEPROM, nullptr, 0, 0));
    EXPECT_EQ(zdoc->GetPBUploadState(), 1);
}

TEST_F(DocSimTest, ReceivedMessagesBecomeRowsAndPartsJoinOnce)
{
    ASSERT_TRUE(Detect("clear-messages SM\n"));
    ReceivingScreen screen(*zdoc);
    gv_pShortMsg = &screen;
    // The screen reads each message the document announces.
    window.on_message = [&](const Posted& p) {
        if (p.message != WM_MMI_SMS_RECEIVED)
            return;
        ASSERT_EQ(mtr_SMS_select_storage(static_cast<int>(p.wParam), SMS_DST_SIM), MTR_DONE);
        ASSERT_EQ(mtr_SMS_read(static_cast<uint8_t>(p.lParam), 0), MTR_DONE);
    };
    auto received = [&] {
        const auto all = Messages();
        return static_cast<size_t>(std::count(all.begin(), all.end(), WM_MMI_SMS_RECEIVED));
    };

    ASSERT_EQ(sim->command("sms-receive SM +3361234 Hello there"), "ok");
    ASSERT_EQ(sim->command("sms-receive-pdu SM " + Deliver("PDU text")), "ok");
    ASSERT_TRUE(Until([&] { return received() == 2; }));
    EXPECT_EQ(zdoc->GetNewMsgCount(), 2);
    {
        CJetDatabase db;
        db.Open(GetSMSimSIMPath(1));
        CEntrySMSRecordset rs(&db);
        rs.Open(dbOpenDynaset, "SELECT * FROM EntrySMS ORDER BY Location");
        ASSERT_EQ(rs.GetRecordCount(), 2);
        EXPECT_EQ(rs.Location, 1);
        EXPECT_EQ(rs.AddrList, "@+3361234\r\n");
        EXPECT_EQ(rs.Text, "Hello there");
        EXPECT_EQ(rs.msgType, 0);
        rs.MoveNext();
        EXPECT_EQ(rs.Location, 2);
        EXPECT_EQ(rs.AddrList, "@+33612345678\r\n");
        EXPECT_EQ(rs.Text, "PDU text");
        int y, mo, d, h, mi, s;
        SplitDateTime(rs.Date, y, mo, d, h, mi, s);
        EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, s}), std::vector<int>({2026, 12, 9, 10, 11, 12}));
    }

    // Parts 2, 3, 1 and part 2 again with other text: one message, in order.
    for (auto [seq, text] : {std::pair{2, "second "}, {3, "third"}, {1, "first "}, {2, "SECOND "}})
        ASSERT_EQ(sim->command("sms-receive-pdu SM " + Deliver(text, 77, 3, seq)), "ok");
    ASSERT_TRUE(Until([&] { return received() == 6; }));
    CMessageList& list = zdoc->GetSIMConcatList();
    ASSERT_EQ(list.GetCount(), 1);
    CMessage* m = list.GetAt(0);
    EXPECT_EQ(m->GetBlockList().GetCount(), 3);
    EXPECT_EQ(m->GetText(), "first SECOND third");
    EXPECT_EQ(m->GetStatus(), 7);
    EXPECT_EQ(m->GetLocation(), 3);
    EXPECT_EQ(m->GetOnlyRecipientNumber(), "+33612345678");

    // The lists survive a restart byte for byte.
    ASSERT_TRUE(zdoc->SaveConcatLists());
    const std::string before = ReadFile(zdoc->GetSIMConcatListPath());
    ASSERT_FALSE(before.empty());
    zdoc.reset();
    zdoc = std::make_unique<CZorqMMIDoc>();
    zdoc->LoadConcatLists();
    ASSERT_EQ(zdoc->GetSIMConcatList().GetCount(), 1);
    EXPECT_EQ(zdoc->GetSIMConcatList().GetAt(0)->GetText(), "first SECOND third");
    ASSERT_TRUE(zdoc->SaveConcatLists());
    EXPECT_EQ(ReadFile(zdoc->GetSIMConcatListPath()), before);
}

TEST_F(DocSimTest, StatusReportUpdatesTheRowOfItsMessage)
{
    const std::string pcdb = app.GetFolderPath() + "defsms.mdb";
    ASSERT_TRUE(CreateSMSDatabase(pcdb));
    SetSMSConf(0, pcdb, true);
    ASSERT_TRUE(Detect("next-mr 42\n"));
    ASSERT_EQ(mtr_SMS_send_text("+33699", "report me"), MTR_DONE);
    auto reports = [&] {
        const auto all = Messages();
        return static_cast<size_t>(std::count(all.begin(), all.end(), WM_MMI_REPORT_RECEIVED));
    };
    ASSERT_EQ(sim->command("status-report 42 32"), "ok");  // still trying
    ASSERT_TRUE(Until([&] { return reports() == 1; }));
    ASSERT_EQ(sim->command("status-report 42 0"), "ok");   // delivered
    ASSERT_TRUE(Until([&] { return reports() == 2; }));
    CJetDatabase db;
    db.Open(pcdb);
    CEntrySMSRecordset rs(&db);
    rs.Open(dbOpenDynaset, "SELECT * FROM EntrySMS");
    ASSERT_EQ(rs.GetRecordCount(), 1);
    EXPECT_EQ(rs.MsgType2, 2);
    EXPECT_EQ(rs.MsgRef, 42);
    EXPECT_EQ(rs.AddrList, "@+33699\r\n");
    EXPECT_EQ(rs.Text.find("Status report: delivered."), 0u) << rs.Text;
    EXPECT_NE(rs.Text.find("+33699"), std::string::npos);
}

TEST_F(DocSimTest, IndicatorsReachTheMainWindowInOrder)
{
    ASSERT_TRUE(Detect(""));
    Until([] { return false; }, 500);  // what the set-up reported
    window.got.clear();
    for (const char* c : {"indicator signal 2", "indicator roam 1", "indicator message 1", "creg 1"})
        ASSERT_EQ(sim->command(c), "ok");
    ASSERT_TRUE(Until([&] {
        for (const auto& p : window.got)
            if (p.message == WM_MMI_OPERATOR_NAME)
                return true;
        return false;
    }));
    std::vector<std::pair<unsigned, uintptr_t>> got;
    std::string op;
    for (const auto& p : window.got) {
        // The engine's own battery and message-icon steps may come between.
        if (p.message == WM_MMI_BATTERY_CHARGE || p.message == WM_MMI_MESSAGE_ICON)
            continue;
        got.emplace_back(p.message, p.message == WM_MMI_OPERATOR_NAME ? 0 : p.wParam);
        if (p.message == WM_MMI_OPERATOR_NAME)
            op = p.text;
    }
    const std::vector<std::pair<unsigned, uintptr_t>> want = {{WM_MMI_SIGNAL_QUALITY, 2u},
                                                              {WM_MMI_ROAMING_ICON, 1u},
                                                              {WM_MMI_UNREAD_MSG, 1u},
                                                              {WM_MMI_ROAMING_ICON, 0u},  // registered at home
                                                              {WM_MMI_OPERATOR_NAME, 0u}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(op, "Tarvel Net");
}

}  // namespace
