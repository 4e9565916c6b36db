// Phonebook requests against the phone simulator.
#include "engine_fixture.h"
#ifdef ZORQ_HAVE_PHONESIM

using namespace engine_test;

namespace {

class PbTest : public EngineTest {
protected:
    void SetUpBooks(const std::string& scenario = "")
    {
        Start(scenario);
        ASSERT_EQ(mtr_PB_setup(rec), MTR_DONE);
    }
    MTR_PB_STORAGE rec[MTR_PB_RECORDS];
};

TEST_F(PbTest, StorageListAndSetUpOfEachStorage)
{
    SetUpBooks();
    EXPECT_EQ(rec[MTR_PB_REC_SIM_ADN].available, 1);
    EXPECT_EQ(rec[MTR_PB_REC_SIM_ADN].capacity, 250);
    EXPECT_EQ(rec[MTR_PB_REC_SIM_ADN].number_length, 20);
    EXPECT_EQ(rec[MTR_PB_REC_SIM_ADN].name_length, 14);
    EXPECT_EQ(rec[MTR_PB_REC_EEPROM_ADN].available, 1);
    EXPECT_EQ(rec[MTR_PB_REC_EEPROM_ADN].capacity, 200);
    EXPECT_EQ(rec[MTR_PB_REC_EEPROM_ADN].number_length, 32);
    EXPECT_EQ(rec[MTR_PB_REC_EEPROM_ADN].name_length, 20);
    EXPECT_EQ(rec[MTR_PB_REC_SIM_FDN].available, 1);
    EXPECT_EQ(rec[MTR_PB_REC_SIM_FDN].capacity, 10);
    EXPECT_EQ(mtr_PB_current_storage(), MTR_PB_FD);  // set up last
    EXPECT_NE(host.trace.find("mtr_PB_get_storage -> Is the SIM ADN storage available = 1"), std::string::npos);
    EXPECT_NE(host.trace.find("Max number of characters for the name in the current PB is 20"), std::string::npos);

    // Without the phonebook feature nothing is asked and the records stay cleared.
    doc.phonebook = false;
    MTR_PB_STORAGE none[MTR_PB_RECORDS];
    EXPECT_EQ(mtr_PB_setup(none), MTR_DONE);
    EXPECT_EQ(none[0].available + none[1].available + none[2].available, 0);
}

TEST_F(PbTest, SetUpFailsWhenTheOfferedStoragesCannotBeSetUp)
{
    // A busy SIM refuses every phonebook command after the storage list.
    Start("sim-busy 30\n");
    MTR_PB_STORAGE r[MTR_PB_RECORDS];
    EXPECT_EQ(mtr_PB_setup(r), 14);  // SIM busy
    EXPECT_EQ(r[0].available + r[1].available + r[2].available, 0);
    // So does the engine's set-up report.
    MS_PARAM param;
    EXPECT_EQ(mtr_setup(&param) & (MTR_SETUP_WENT_ON | MTR_SETUP_PB_OK), MTR_SETUP_WENT_ON);
}

TEST_F(PbTest, CapacityFollowsTheLastRange)
{
    SetUpBooks("set two-cpbw-ranges on\n");
    // The simulator's second range ends at the storage's last place.
    EXPECT_EQ(rec[MTR_PB_REC_SIM_ADN].capacity, 250);
    EXPECT_EQ(rec[MTR_PB_REC_EEPROM_ADN].capacity, 200);
}

TEST_F(PbTest, CapacitiesAboveAByteAreClamped)
{
    SetUpBooks("set big-capacities on\n");
    EXPECT_EQ(rec[MTR_PB_REC_SIM_ADN].capacity, 255);
}

TEST_F(PbTest, ReadOneARangeAndAnEmptyPlace)
{
    SetUpBooks();
    ASSERT_EQ(mtr_PB_select_storage(PB_SRC_SIM), MTR_DONE);
    std::string number = "x", name = "x";
    ASSERT_EQ(mtr_PB_read_entry(1, number, name), MTR_DONE);
    EXPECT_EQ(name, "Alice");
    EXPECT_FALSE(number.empty());
    ASSERT_EQ(mtr_PB_read_entry(5, number, name), MTR_DONE);
    EXPECT_EQ(number, "");
    EXPECT_EQ(name, "");
    EXPECT_EQ(mtr_PB_read_entry(0, number, name), MTR_FAILED);

    ASSERT_EQ(mtr_PB_read_range(1, 250), MTR_DONE);
    ASSERT_EQ(doc.count("entry "), 3) << doc.all();
    EXPECT_EQ(doc.events[0].rfind("entry 1 ", 0), 0u);
    EXPECT_EQ(doc.events[0].substr(doc.events[0].size() - 6), " Alice");
    EXPECT_EQ(doc.events[2].rfind("entry 250 ", 0), 0u);
    EXPECT_EQ(doc.events.back(), "end");
    // Outside the storage: the error, and still the end callback.
    doc.events.clear();
    EXPECT_EQ(mtr_PB_read_range(240, 255), 21);  // invalid index
    EXPECT_EQ(doc.all(), "end; ");
}

TEST_F(PbTest, AFullSimReadInOneGoFromAnInstantPhone)
{
    // A phone without line pacing answers all 250 places in one burst: every
    // entry reaches the document, in order, and the pools are not exhausted.
    std::string scenario = "clear-phonebook SM\n";
    for (int i = 1; i <= 250; ++i)
        scenario += "entry SM " + std::to_string(i) + " +3361" + std::to_string(1000000 + i) + " 145 \"Contact " +
                    std::to_string(i) + "\"\n";
    SetUpBooks(scenario);
    ASSERT_EQ(mtr_PB_select_storage(PB_SRC_SIM), MTR_DONE);
    const uint16_t freeBefore = krn_pool_free(0);
    for (int round = 0; round < 3; ++round) {
        doc.events.clear();
        ASSERT_EQ(mtr_PB_read_range(1, 250), MTR_DONE);
        ASSERT_EQ(doc.count("entry "), 250) << round;
        for (int i = 1; i <= 250; ++i)
            ASSERT_EQ(doc.events[static_cast<size_t>(i - 1)],
                      "entry " + std::to_string(i) + " +3361" + std::to_string(1000000 + i) + " Contact " +
                          std::to_string(i));
        EXPECT_EQ(doc.events.back(), "end");
        EXPECT_EQ(krn_pool_free(0), freeBefore) << round;  // nothing held back
    }
}

TEST_F(PbTest, NumberTypesOtherThanInternationalAreKeptThroughReadAndWrite)
{
    SetUpBooks("entry SM 3 \"0612345678\" 161 \"National\"\nentry SM 4 \"1234\" 177 \"Network\"\n");
    ASSERT_EQ(mtr_PB_select_storage(PB_DST_SIM), MTR_DONE);
    std::string number, name;
    uint8_t type = 0;
    ASSERT_EQ(mtr_PB_read_entry(3, number, name, &type), MTR_DONE);
    EXPECT_EQ(number, "0612345678");
    EXPECT_EQ(type, 161);
    ASSERT_EQ(mtr_PB_write_entry(10, number, "Copy", type), MTR_DONE);
    ASSERT_EQ(mtr_PB_read_entry(4, number, name, &type), MTR_DONE);
    EXPECT_EQ(type, 177);
    ASSERT_EQ(mtr_PB_write_entry(11, number, "Copy 2", type), MTR_DONE);
    // 145 goes with a '+' only, whatever the type given.
    ASSERT_EQ(mtr_PB_write_entry(12, "+33612345678", "Plus", 161), MTR_DONE);
    ASSERT_EQ(mtr_PB_write_entry(13, "0612", "No plus", 145), MTR_DONE);
    const std::string dump = Dump();
    EXPECT_NE(dump.find("entry SM 10 \"0612345678\" 161"), std::string::npos) << dump;
    EXPECT_NE(dump.find("entry SM 11 \"1234\" 177"), std::string::npos) << dump;
    EXPECT_NE(dump.find("entry SM 12 \"+33612345678\" 145"), std::string::npos) << dump;
    EXPECT_NE(dump.find("entry SM 13 \"0612\" 129"), std::string::npos) << dump;
    ASSERT_EQ(mtr_PB_read_entry(10, number, name, &type), MTR_DONE);
    EXPECT_EQ(type, 161);
}

TEST_F(PbTest, WriteReadBackAndErase)
{
    SetUpBooks();
    ASSERT_EQ(mtr_PB_select_storage(PB_DST_SIM), MTR_DONE);
    // A full-length international number with a pause reads back whole.
    const std::string longest = "+3361234567p89012345";
    ASSERT_EQ(longest.size() - 1, 19u);
    const std::string maximal = "+33612345678901234567";  // 20 digits
    ASSERT_EQ(mtr_PB_write_entry(7, longest, "Pause"), MTR_DONE);
    ASSERT_EQ(mtr_PB_write_entry(8, maximal, "Maximal"), MTR_DONE);
    std::string number, name;
    ASSERT_EQ(mtr_PB_read_entry(7, number, name), MTR_DONE);
    EXPECT_EQ(number, longest);
    EXPECT_EQ(name, "Pause");
    ASSERT_EQ(mtr_PB_read_entry(8, number, name), MTR_DONE);
    EXPECT_EQ(number, maximal);
    // An 'A' in a name is a letter, not a pause.
    ASSERT_EQ(mtr_PB_write_entry(9, "123", "ANNA"), MTR_DONE);
    ASSERT_EQ(mtr_PB_read_entry(9, number, name), MTR_DONE);
    EXPECT_EQ(name, "ANNA");

    ASSERT_EQ(mtr_PB_erase_entry(7), MTR_DONE);
    ASSERT_EQ(mtr_PB_read_entry(7, number, name), MTR_DONE);
    EXPECT_EQ(name, "");
}

TEST_F(PbTest, WritesThatCouldEraseOrOverrunAreRefused)
{
    SetUpBooks();
    ASSERT_EQ(mtr_PB_select_storage(PB_DST_SIM), MTR_DONE);
    std::string number, name;
    // An empty number would erase Alice.
    EXPECT_EQ(mtr_PB_write_entry(1, "", "Alice Two"), MTR_FAILED);
    EXPECT_EQ(mtr_PB_write_entry(1, "  ", "Alice Two"), MTR_FAILED);
    ASSERT_EQ(mtr_PB_read_entry(1, number, name), MTR_DONE);
    EXPECT_EQ(name, "Alice");
    // Longer than the storage's 14 characters.
    EXPECT_EQ(mtr_PB_write_entry(3, "123", "A name far too long"), MTR_FAILED);
    EXPECT_EQ(mtr_PB_write_entry(3, "123", std::string(300, 'n')), MTR_FAILED);
    // 21 digits, two '+', a character that would end the command.
    EXPECT_EQ(mtr_PB_write_entry(3, "123456789012345678901", "Long"), MTR_FAILED);
    EXPECT_EQ(mtr_PB_write_entry(3, "+33+6", "Plus"), MTR_FAILED);
    EXPECT_EQ(mtr_PB_write_entry(3, "12\";+CPBW=1", "Inject"), MTR_FAILED);
    EXPECT_EQ(mtr_PB_write_entry(0, "123", "Zero"), MTR_FAILED);
    EXPECT_EQ(host.trace.find("AT+CPBW=3"), std::string::npos);
    EXPECT_EQ(mtr_PB_select_storage(PB_SRC_PC), MTR_FAILED);
    EXPECT_EQ(mtr_PB_select_storage(PB_NOSELECT), MTR_FAILED);
}

TEST_F(PbTest, NothingWithoutADocument)
{
    SetUpBooks();
    gv_pDoc = nullptr;
    MTR_PB_STORAGE none[MTR_PB_RECORDS];
    none[0].available = 1;
    EXPECT_EQ(mtr_PB_setup(none), MTR_FAILED);
    EXPECT_EQ(none[0].available, 0);
    std::string number, name;
    EXPECT_EQ(mtr_PB_select_storage(PB_SRC_SIM), MTR_FAILED);
    EXPECT_EQ(mtr_PB_read_entry(1, number, name), MTR_FAILED);
    EXPECT_EQ(mtr_PB_read_range(1, 2), MTR_FAILED);
    EXPECT_EQ(mtr_PB_write_entry(1, "1", "a"), MTR_FAILED);
    EXPECT_EQ(mtr_PB_erase_entry(1), MTR_FAILED);
    EXPECT_EQ(mtr_PB_is_sim_busy(1), MTR_FAILED);
}

TEST_F(PbTest, SimBusyProbeAndItsEnd)
{
    Start("sim-busy 1\n");
    EXPECT_EQ(mtr_PB_is_sim_busy(1), MTR_DONE);
    // Busy for a second: asked again until it is over.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (mtr_PB_is_sim_busy(1) == MTR_DONE && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(mtr_PB_is_sim_busy(1), MTR_FAILED);
    std::string number, name;
    ASSERT_EQ(mtr_PB_read_entry(1, number, name), MTR_DONE);
    EXPECT_EQ(name, "Alice");
}

TEST_F(PbTest, ARequestCalledWhileAnotherWaitsFailsAtOnce)
{
    SetUpBooks();
    ASSERT_EQ(mtr_PB_select_storage(PB_SRC_SIM), MTR_DONE);
    MTR_RESULT inner = 0;
    host.on_dispatch = [&] {
        std::string n, m;
        inner = mtr_PB_read_entry(2, n, m);
    };
    std::string number, name;
    ASSERT_EQ(mtr_PB_read_entry(1, number, name), MTR_DONE);
    EXPECT_EQ(name, "Alice");
    EXPECT_EQ(inner, MTR_FAILED);
}

}  // namespace
#endif
