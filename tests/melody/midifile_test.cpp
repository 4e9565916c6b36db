#include "midifile.h"
#include "strutil.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using zorqtest::ReadFile;
using zorqtest::TempProgramDir;
using zorqtest::WriteFile;

std::vector<int> Bytes(const std::string& s)
{
    std::vector<int> v;
    for (unsigned char c : s)
        v.push_back(c);
    return v;
}

class MidiFileTest : public ::testing::Test {
protected:
    void SetUp() override { SetIniProfileFile(dir_.path()); }
    void TearDown() override { SetIniProfileFile(); }
    std::string Path(const std::string& name) const { return dir_.path() + name; }
    TempProgramDir dir_;
};

TEST_F(MidiFileTest, TwoNotesAndASilenceGiveTheExpectedBytes)
{
    const std::string path = Path("one.mid");
    std::string bytes;
    {
        CMidiFile midi(path);
        ASSERT_TRUE(midi.IsOpen());
        midi.WriteDivision(500);
        midi.WriteTempo(500);
        midi.WriteNote(69, 500);   // A4, one beat: 100 ticks
        midi.WriteSilence(250);    // half a beat: delays the next note-on
        midi.WriteNote(72, 1000);  // C5, two beats: 200 ticks
        ASSERT_TRUE(midi.FinishTrack());
        bytes = ReadFile(path);
    }
    const std::vector<int> expected = {
        'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x64,
        'M', 'T', 'r', 'k', 0, 0, 0, 28,
        0x00, 0xFF, 0x51, 0x03, 0x4C, 0x4B, 0x40,  // 5,000,000 us a beat
        0x00, 0x90, 69, 0x7F, 0x64, 0x80, 69, 0x7F,
        0x32, 0x90, 72, 0x7F, 0x81, 0x48, 0x80, 72, 0x7F,
        0x00, 0xFF, 0x2F, 0x00};
    EXPECT_EQ(Bytes(bytes), expected);
    // The file is temporary: it goes with its object.
    EXPECT_FALSE(FileExists(path));
}

TEST_F(MidiFileTest, TrailingSilenceDelaysTheEndOfTrack)
{
    const std::string path = Path("tail.mid");
    CMidiFile midi(path);
    midi.WriteDivision(100);
    midi.WriteTempo(100);
    midi.WriteNote(60, 100);
    midi.WriteSilence(100);
    midi.WriteSilence(100);
    ASSERT_TRUE(midi.FinishTrack());
    const std::vector<int> b = Bytes(ReadFile(path));
    ASSERT_GE(b.size(), 5u);
    // 200 ticks of silence before the end-of-track event.
    EXPECT_EQ(std::vector<int>(b.end() - 5, b.end()), (std::vector<int>{0x81, 0x48, 0xFF, 0x2F, 0}));
}

TEST_F(MidiFileTest, VariableLengthQuantities)
{
    struct Case {
        uint32_t value;
        std::vector<int> bytes;
    };
    const std::vector<Case> cases = {{0, {0x00}},
                                     {127, {0x7F}},
                                     {128, {0x81, 0x00}},
                                     {16383, {0xFF, 0x7F}},
                                     {16384, {0x81, 0x80, 0x00}},
                                     {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
                                     {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}}};
    for (const Case& c : cases) {
        const std::string path = Path("vlq.mid");
        CMidiFile midi(path);
        midi.WriteDivision(500);
        midi.WriteVarLen(c.value);
        midi.FinishTrack();
        const std::vector<int> b = Bytes(ReadFile(path));
        ASSERT_EQ(b.size(), 22u + c.bytes.size() + 4u);
        EXPECT_EQ(std::vector<int>(b.begin() + 22, b.begin() + 22 + static_cast<long>(c.bytes.size())),
                  c.bytes)
            << c.value;
    }
}

TEST_F(MidiFileTest, OutOfRangeValuesAreBounded)
{
    WriteFile(dir_.path() + "ZorqMMI.ini", "[MIDI]\r\nTempoCoef=100\r\n");
    const std::string path = Path("big.mid");
    CMidiFile midi(path);
    midi.WriteDivision(999);
    midi.WriteTempo(999);     // 99,900,000 us: more than 24 bits hold
    midi.WriteNote(200, 999);  // a key above 127
    midi.WriteNote(-1, 999);   // a key below 0
    ASSERT_TRUE(midi.FinishTrack());
    const std::vector<int> b = Bytes(ReadFile(path));
    EXPECT_EQ(std::vector<int>(b.begin() + 26, b.begin() + 29), (std::vector<int>{0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(b[31], 127);
    EXPECT_EQ(b[39], 0);
}

TEST_F(MidiFileTest, TempoZeroPlaysAtTheDefaultTempo)
{
    const std::string path = Path("zero.mid");
    CMidiFile midi(path);
    midi.WriteDivision(0);
    midi.WriteTempo(0);
    EXPECT_EQ(midi.TicksFor(500), 100u);
    midi.WriteNote(60, 500);
    EXPECT_TRUE(midi.FinishTrack());
}

TEST_F(MidiFileTest, AnUncreatableFileWritesNothing)
{
    CMidiFile midi(Path("missing-folder/x.mid"));
    EXPECT_FALSE(midi.IsOpen());
    midi.WriteTempo(500);
    midi.WriteNote(60, 500);
    EXPECT_FALSE(midi.FinishTrack());
}

TEST_F(MidiFileTest, WithoutAPathTheFileGoesToTheMelodyFolder)
{
    zorqtest::RecordingApp app;
    app.SetDataDirectories(dir_.path() + "zorqmmi");
    std::string path;
    {
        CMidiFile midi;
        ASSERT_TRUE(midi.IsOpen());
        path = midi.GetPath();
        EXPECT_EQ(path.rfind(app.GetMelodyDir(), 0), 0u) << path;
        EXPECT_EQ(path.substr(path.size() - 4), ".MID");
    }
    EXPECT_FALSE(FileExists(path));
}

}  // namespace
