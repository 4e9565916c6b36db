// Melody requests against the phone simulator.
#include "engine_fixture.h"
#ifdef ZORQ_HAVE_PHONESIM
#include "mtr_melody.h"

using namespace engine_test;

using MelodyTest = EngineTest;

namespace {

// Notes of more than 160 characters, broken by a CR as the melody writer does.
std::string long_notes()
{
    std::string first, second;
    while (first.size() < 160)
        first += "A4 c500 B4 c250 ";
    first.back() = '\r';
    second = "M4 c500 C5 c500";
    return first + second;
}

}  // namespace

TEST_F(MelodyTest, SetUpReadsTheLimits)
{
    Phone("melody-slots 8 12 500\n");
    MELODY_CAPS caps;
    ASSERT_EQ(mtr_MELODY_setup(&caps), MTR_DONE);
    EXPECT_EQ(caps.nb_melodies, 8);
    EXPECT_EQ(caps.name_max, 12);
    EXPECT_EQ(caps.notes_max, 500);
    EXPECT_NE(host.trace.find("mtr_MELODY_setup -> Number of melodies in the mobile = 8"), std::string::npos);
}

TEST_F(MelodyTest, APlaceRangeNotStartingAtOneGivesNoMelodies)
{
    engine_test::ScriptedPhone phone([](const std::string& line) -> std::string {
        if (line == "AT~MMYW=?")
            return "\r\n~MMYW: (0-8),12,500\r\n\r\nOK\r\n";
        return "\r\nERROR\r\n";
    });
    ASSERT_EQ(Open(phone.path()), 1);
    MELODY_CAPS caps;
    ASSERT_EQ(mtr_MELODY_setup(&caps), MTR_DONE);
    EXPECT_EQ(caps.nb_melodies, 0);
    EXPECT_EQ(caps.name_max, 12);
}

TEST_F(MelodyTest, WrittenInPromptPhasesThenReadBack)
{
    phonesim::Process& sim = Phone("clear-melodies\n");
    const std::string notes = long_notes();
    ASSERT_EQ(mtr_MELODY_write("3,\"Tango\",120", notes), MTR_DONE);
    ASSERT_EQ(mtr_MELODY_write("5,\"Waltz\",90", "C4 c250 E4 c250 G4 c500"), MTR_DONE);
    std::string stored = dump_lines(sim, "melody 3");
    EXPECT_NE(stored.find("\"Tango\" 120 A4 c500 B4 c250"), std::string::npos) << stored;

    // Without a melody screen nothing is read.
    EXPECT_EQ(mtr_MELODY_read(1, 8), MTR_FAILED);
    gv_pMelodyView = &view;
    ASSERT_EQ(mtr_MELODY_read(1, 8), MTR_DONE);
    ASSERT_EQ(view.melodies.size(), 2u);
    EXPECT_EQ(view.melodies[0].first, "3,\"Tango\",120");
    std::string flat = notes;
    flat[flat.find('\r')] = ' ';
    EXPECT_EQ(view.melodies[0].second, flat);
    EXPECT_EQ(view.melodies[1].first, "5,\"Waltz\",90");
    EXPECT_EQ(view.melodies[1].second, "C4 c250 E4 c250 G4 c500");

    // A place the phone does not have is refused by the phone.
    EXPECT_EQ(mtr_MELODY_write("9,\"Nine\",100", "C4 c250"), MTR_FAILED);
    // Notes that would not fit in one request are refused before sending.
    EXPECT_EQ(mtr_MELODY_write("4,\"Huge\",100", std::string(3000, 'c')), MTR_FAILED);
    EXPECT_EQ(mtr_MELODY_write("", "C4"), MTR_FAILED);
}

TEST_F(MelodyTest, PlayStopAndTheEndOfPlayReachTheScreen)
{
    phonesim::Process& sim = Phone();
    gv_pMelodyView = &view;
    ASSERT_EQ(mtr_MELODY_play("\"Tango\",120,0", long_notes()), MTR_DONE);
    sim.command("melody-ended");
    // The idle step hands the indication to polling, once it has come.
    for (int i = 0; i < 200 && view.stops == 0; ++i) {
        usleep(20000);
        mtr_pump();
        mtr_idle();
    }
    EXPECT_EQ(view.stops, 1);
    ASSERT_EQ(mtr_MELODY_play("\"Tango\",120,1", "C4 c250"), MTR_DONE);
    ASSERT_EQ(mtr_MELODY_stop(), MTR_DONE);
    // Without a melody screen the end of play is dropped.
    gv_pMelodyView = nullptr;
    sim.command("melody-ended");
    usleep(200000);
    mtr_pump();
    mtr_idle();
    EXPECT_EQ(view.stops, 1);
}

TEST_F(MelodyTest, AMelodyLongerThanAConfirmIsRefusedNotFatal)
{
    phonesim::Process& sim = Phone();
    gv_pMelodyView = &view;
    sim.command("set long-mmyr on");
    EXPECT_EQ(mtr_MELODY_read(1, 1), MTR_FAILED);
    EXPECT_TRUE(view.melodies.empty());
    sim.command("set long-mmyr off");
    // The rest of the refused answer (its OK) drains in idle time, as it
    // does between two actions of the user.
    usleep(300000);
    mtr_pump();
    while (!krn_mbx_empty(KRN_TASK_MAIN))
        mtr_idle();
    // The link carries on: the next read gets its answer.
    ASSERT_EQ(mtr_MELODY_read(1, 1), MTR_DONE);
    ASSERT_EQ(view.melodies.size(), 1u);
    EXPECT_EQ(view.melodies[0].first, "1,\"Scale\",100");
}
#endif
