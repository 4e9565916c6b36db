// Clock, diary and alarm requests against the phone simulator.
#include "engine_fixture.h"
#ifdef ZORQ_HAVE_PHONESIM
#include <cstring>

#include "mtr_clock.h"

using namespace engine_test;

using ClockTest = EngineTest;

TEST(ClockRecords, TwoDigitYearsAndRecordLayout)
{
    uint8_t rec[8] = {95, 1, 2, 3, 4, 5};
    EXPECT_EQ(mtr_record_to_time(rec).year, 2095);
    rec[0] = 96;
    EXPECT_EQ(mtr_record_to_time(rec).year, 1996);
    MTR_DATETIME w{2024, 5, 6, 14, 30, 59};
    mtr_time_to_record(w, rec);
    const uint8_t want[8] = {24, 5, 6, 14, 30, 59, 0, 0};
    EXPECT_EQ(std::memcmp(rec, want, 8), 0);
    EXPECT_TRUE(mtr_time_valid(w));
    EXPECT_FALSE(mtr_time_valid({2023, 2, 29, 0, 0, 0}));
    EXPECT_TRUE(mtr_time_valid({2024, 2, 29, 0, 0, 0}));
    EXPECT_FALSE(mtr_time_valid({2024, 4, 31, 0, 0, 0}));
    EXPECT_FALSE(mtr_time_valid({2024, 4, 1, 24, 0, 0}));
    EXPECT_FALSE(mtr_time_valid({2096, 1, 1, 0, 0, 0}));  // would read back as 1996
}

TEST_F(ClockTest, ClockAndFormatsAreSetAndReadBack)
{
    phonesim::Process& sim = Phone("clock \"24/05/06,14:30:00+00\" frozen\n");
    MTR_DATETIME now;
    ASSERT_EQ(mtr_CLK_get_clock(&now), MTR_DONE);
    EXPECT_EQ(now, (MTR_DATETIME{2024, 5, 6, 14, 30, 0}));

    ASSERT_EQ(mtr_CLK_set_clock({2025, 12, 31, 23, 59, 58}), MTR_DONE);
    EXPECT_EQ(dump_lines(sim, "clock"), "clock \"25/12/31,23:59:58+00\" frozen\n");
    // An impossible date is refused before anything is sent.
    EXPECT_EQ(mtr_CLK_set_clock({2025, 2, 30, 0, 0, 0}), MTR_FAILED);

    int32_t code = -1;
    ASSERT_EQ(mtr_CLK_set_date_format(2), MTR_DONE);
    ASSERT_EQ(mtr_CLK_get_date_format(&code), MTR_DONE);
    EXPECT_EQ(code, 2);
    EXPECT_EQ(dump_lines(sim, "date-format"), "date-format yy-mm-dd\n");
    ASSERT_EQ(mtr_CLK_set_time_format(0), MTR_DONE);
    ASSERT_EQ(mtr_CLK_get_time_format(&code), MTR_DONE);
    EXPECT_EQ(code, 0);
    // A code outside the list is refused, not sent as something else.
    EXPECT_EQ(mtr_CLK_set_time_format(2), MTR_FAILED);
    ASSERT_EQ(mtr_CLK_get_time_format(&code), MTR_DONE);
    EXPECT_EQ(code, 0);
}

TEST_F(ClockTest, AlarmSwitchOnAndSwitchOffAreSetAndRead)
{
    phonesim::Process& sim = Phone();
    ASSERT_EQ(mtr_ALA_set_alarm(0, 1, {0, 0, 0, 7, 45, 12}), MTR_DONE);
    ASSERT_EQ(mtr_ALA_set_alarm(2, 1, {0, 0, 0, 6, 5, 0}), MTR_DONE);
    ASSERT_EQ(mtr_ALA_set_alarm(1, 0, {0, 0, 0, 22, 0, 0}), MTR_DONE);
    EXPECT_EQ(dump_lines(sim, "alarm-setting"),
              "alarm-setting ALA 1 07:45\nalarm-setting AUS 0 22:00\nalarm-setting AUW 1 06:05\n");
    for (uint8_t kind : {0, 2, 1})
        ASSERT_EQ(mtr_ALA_get_alarm(kind), MTR_DONE);
    ASSERT_EQ(doc.alarms.size(), 3u);
    EXPECT_EQ(doc.alarms[0].kind, 0);
    EXPECT_EQ(doc.alarms[0].state, 1);
    EXPECT_EQ(doc.alarms[0].time.hour, 7);
    EXPECT_EQ(doc.alarms[0].time.minute, 45);
    EXPECT_EQ(doc.alarms[0].time.second, 0);  // seconds are always written as 0
    EXPECT_GE(doc.alarms[0].time.year, 2024);  // today's date
    EXPECT_EQ(doc.alarms[1].kind, 2);
    EXPECT_EQ(doc.alarms[1].time.hour, 6);
    EXPECT_EQ(doc.alarms[2].kind, 1);
    EXPECT_EQ(doc.alarms[2].state, 0);
    EXPECT_EQ(doc.alarms[2].time.hour, 22);
    // No such kind, no such hour: refused without a request.
    EXPECT_EQ(mtr_ALA_set_alarm(3, 1, {0, 0, 0, 7, 0, 0}), MTR_FAILED);
    EXPECT_EQ(mtr_ALA_set_alarm(0, 1, {0, 0, 0, 25, 0, 0}), MTR_FAILED);
    EXPECT_EQ(mtr_ALA_get_alarm(3), MTR_FAILED);
}

TEST_F(ClockTest, DiaryCardsAreAddedReadAndDeleted)
{
    phonesim::Process& sim = Phone("diary-slots 20 40\n");
    uint8_t place = 0;
    // A text with a quote and a non-ASCII letter goes out escaped and whole.
    const std::string text = "Meet \"Zo\xE9\" at 9";
    ASSERT_EQ(mtr_ORG_add_diary(&place, {2024, 6, 1, 9, 0, 0}, text, 1, 2, 3), MTR_DONE);
    EXPECT_EQ(place, 1);
    uint8_t second = 0;
    ASSERT_EQ(mtr_ORG_add_diary(&second, {2024, 6, 2, 10, 30, 0}, "Dentist", 0, 0, 1), MTR_DONE);
    EXPECT_EQ(second, 2);
    ASSERT_EQ(mtr_ORG_write_diary(5, {2025, 1, 1, 0, 0, 0}, "New year", 0, 1, 0), MTR_DONE);

    ASSERT_EQ(mtr_ORG_read_diary(1, 20), MTR_DONE);
    // The first read learnt the diary's text length from the phone.
    EXPECT_EQ(mtr_ORG_diary_text_length(), 40);
    ASSERT_EQ(doc.cards.size(), 3u);
    EXPECT_EQ(doc.cards[0].index, 1);
    EXPECT_EQ(doc.cards[0].text, text);
    EXPECT_EQ(doc.cards[0].when, (MTR_DATETIME{2024, 6, 1, 9, 0, 0}));
    EXPECT_EQ(doc.cards[0].a, 1);
    EXPECT_EQ(doc.cards[0].b, 2);
    EXPECT_EQ(doc.cards[0].c, 3);
    EXPECT_EQ(doc.cards[1].text, "Dentist");
    EXPECT_EQ(doc.cards[2].index, 5);
    EXPECT_EQ(doc.cards[2].when.year, 2025);

    ASSERT_EQ(mtr_ORG_delete_diary(2), MTR_DONE);
    doc.cards.clear();
    ASSERT_EQ(mtr_ORG_read_diary(1, 20), MTR_DONE);
    ASSERT_EQ(doc.cards.size(), 2u);
    EXPECT_EQ(doc.cards[0].index, 1);
    EXPECT_EQ(doc.cards[1].index, 5);

    // Longer than the phone's diary text: refused, nothing written.
    EXPECT_EQ(mtr_ORG_add_diary(&place, {2024, 6, 1, 9, 0, 0}, std::string(41, 'x'), 0, 0, 0), MTR_FAILED);
    // 255 is the line's "free place", never a place to overwrite.
    EXPECT_EQ(mtr_ORG_write_diary(255, {2024, 6, 1, 9, 0, 0}, "x", 0, 0, 0), MTR_FAILED);
    // An empty diary reads as no card, and without a document nothing is sent.
    ASSERT_EQ(mtr_ORG_delete_diary(1), MTR_DONE);
    ASSERT_EQ(mtr_ORG_delete_diary(5), MTR_DONE);
    doc.cards.clear();
    EXPECT_EQ(mtr_ORG_read_diary(1, 20), MTR_DONE);
    EXPECT_TRUE(doc.cards.empty());
    gv_pDoc = nullptr;
    EXPECT_EQ(mtr_ORG_read_diary(1, 20), MTR_FAILED);
    (void)sim;
}

TEST_F(ClockTest, ClockDiaryAndAlarmIndicationsReachTheDocument)
{
    phonesim::Process& sim = Phone("clock \"24/05/06,14:30:00+00\" frozen\n");
    sim.command("clock-report");
    sim.command("alarm diary 7");
    sim.command("alarm ALA");
    // The indications are handled by the poll that ends a request: requests
    // are made until both have come (a loaded machine delivers them later).
    int32_t code;
    for (int i = 0; i < 100 && (doc.clock_reports.empty() || doc.diary_alarms.empty()); ++i) {
        ASSERT_EQ(mtr_CLK_get_date_format(&code), MTR_DONE);
        if (doc.clock_reports.empty() || doc.diary_alarms.empty())
            usleep(50000);
    }
    ASSERT_EQ(doc.clock_reports.size(), 1u);
    EXPECT_EQ(doc.clock_reports[0], (MTR_DATETIME{2024, 5, 6, 14, 30, 0}));
    ASSERT_EQ(doc.diary_alarms.size(), 1u);
    EXPECT_EQ(doc.diary_alarms[0], 7);
}

TEST_F(ClockTest, DataFollowedByAnErrorLeavesTheCallersValuesAlone)
{
    ScriptedPhone phone([](const std::string& cmd) -> std::string {
        if (cmd == "AT+CCLK?")
            return "\r\n+CCLK: \"24/05/06,14:30:00+00\"\r\n\r\n+CME ERROR: 100\r\n";
        if (cmd == "AT~MALR=\"ALA\"")
            return "\r\n~MALR: \"ALA\",1,\"07:30:00+00\"\r\n\r\nERROR\r\n";
        return "\r\nOK\r\n";
    });
    ASSERT_EQ(Open(phone.path()), 1);
    MTR_DATETIME now{2000, 1, 1, 0, 0, 0};
    EXPECT_EQ(mtr_CLK_get_clock(&now), 100);
    EXPECT_EQ(now, (MTR_DATETIME{2000, 1, 1, 0, 0, 0}));
    // An alarm setting the phone then refuses is not handed to the document.
    EXPECT_EQ(mtr_ALA_get_alarm(0), MTR_FAILED);
    EXPECT_TRUE(doc.alarms.empty());
    EXPECT_EQ(simple_request(AT_REQ_AT), MTR_DONE);
}
#endif
