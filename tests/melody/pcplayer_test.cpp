#include "audio_check.h"
#include "midifile.h"
#include "pcplayer.h"
#include "test_support.h"
#include "wndmsg.h"
#include "melody_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using zorqtest::Audio;
using zorqtest::ReadWav;
using zorqtest::TempProgramDir;
using zorqtest::DoneCounter;


long FileSize(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

class PcPlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetIniProfileFile(dir_.path());
        wav_ = dir_.path() + "out.wav";
        CPcPlayer::SetAudioOutput("file", wav_);
        CPcPlayer::SetSoundFont("");
    }
    void TearDown() override
    {
        CPcPlayer::SetAudioOutput("", "");
        CPcPlayer::SetSoundFont("");
        SetIniProfileFile();
    }
    // A MIDI file at tempo 100 (one beat a second with the default
    // coefficient); key -1 is a silence.
    std::unique_ptr<CMidiFile> Midi(const std::vector<std::pair<int, int>>& notes)
    {
        auto midi = std::make_unique<CMidiFile>(dir_.path() + "play.mid");
        midi->WriteDivision(100);
        midi->WriteTempo(100);
        for (auto [key, units] : notes) {
            if (key < 0)
                midi->WriteSilence(units);
            else
                midi->WriteNote(key, units);
        }
        EXPECT_TRUE(midi->FinishTrack());
        return midi;
    }
    bool WaitDone(DoneCounter& counter, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (counter.done == 0 && t.elapsed() < ms)
            QTest::qWait(5);
        return counter.done > 0;
    }
    TempProgramDir dir_;
    std::string wav_;
};

TEST_F(PcPlayerTest, AMelodyRendersForItsLengthAtItsPitch)
{
    DoneCounter counter;
    auto midi = Midi({{69, 100}, {-1, 50}, {69, 100}});  // A4 1 s, 0.5 s rest, A4 1 s
    CPcPlayer player(&counter);
    ASSERT_TRUE(player.PlayMidi(midi->GetPath(), false));
    EXPECT_TRUE(player.IsPlaying());
    ASSERT_TRUE(WaitDone(counter, 10000));
    EXPECT_FALSE(player.IsPlaying());
    QTest::qWait(50);
    EXPECT_EQ(counter.done, 1);

    const Audio a = ReadWav(wav_);
    ASSERT_GT(a.rate, 0);
    EXPECT_NEAR(a.Seconds(), 2.5, 2.5 * 0.05);
    const size_t r = static_cast<size_t>(a.rate);
    EXPECT_GT(zorqtest::Rms(a.left, r / 10, r * 9 / 10), 0.005);           // first note
    EXPECT_GT(zorqtest::Rms(a.left, r * 16 / 10, r * 24 / 10), 0.005);     // second note
    EXPECT_NEAR(zorqtest::DominantFrequency(a.left, r / 5, 8192, a.rate), 440, 3);
}

TEST_F(PcPlayerTest, StopEndsAtOnceAndReportsOnce)
{
    DoneCounter counter;
    auto midi = Midi({{60, 100}, {64, 100}});
    CPcPlayer player(&counter);
    ASSERT_TRUE(player.PlayMidi(midi->GetPath(), true));
    QTest::qWait(300);
    QElapsedTimer t;
    t.start();
    player.Stop();
    EXPECT_LT(t.elapsed(), 200);
    EXPECT_FALSE(player.IsPlaying());
    const long size = FileSize(wav_);
    player.Stop();  // a second stop has nothing to end
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.done > 0; }, 5000));
    QTest::qWait(100);  // room for a second report, which must not come
    EXPECT_EQ(counter.done, 1);
    EXPECT_EQ(FileSize(wav_), size);  // nothing more rendered
    const Audio a = ReadWav(wav_);
    EXPECT_LT(a.Seconds(), 1.0);
}

TEST_F(PcPlayerTest, LoopingRepeatsUntilStopped)
{
    DoneCounter counter;
    auto midi = Midi({{67, 20}});  // 200 ms
    CPcPlayer player(&counter);
    ASSERT_TRUE(player.PlayMidi(midi->GetPath(), true));
    // At least three passes rendered (a loaded machine renders later): the
    // bytes of 0.6 s in the widest output, 48 kHz stereo 32-bit floats.
    EXPECT_TRUE(QTest::qWaitFor([&] { return FileSize(wav_) > 44 + 48000 * 8 * 6 / 10; }, 10000));
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_EQ(counter.done, 0);
    player.Stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.done > 0; }, 5000));
    EXPECT_EQ(counter.done, 1);
    EXPECT_GT(ReadWav(wav_).Seconds(), 0.6);
}

TEST_F(PcPlayerTest, NoSoundFontOrNoOutputRefusesToStart)
{
    DoneCounter counter;
    auto midi = Midi({{60, 100}});
    CPcPlayer::SetSoundFont(dir_.path() + "none.sf2");
    CPcPlayer player(&counter);
    EXPECT_FALSE(player.PlayMidi(midi->GetPath(), false));
    CPcPlayer::SetSoundFont("");
    CPcPlayer::SetAudioOutput("no-such-driver", "");
    EXPECT_FALSE(player.PlayMidi(midi->GetPath(), false));
    EXPECT_FALSE(player.PlayTones({{440, 100}}, false));
    EXPECT_FALSE(player.IsPlaying());
    QTest::qWait(20);
    EXPECT_EQ(counter.done, 0);
}

TEST(ToneSource, TonesHaveTheirFrequencyAndLength)
{
    const int rate = 44100;
    CToneSource tones({{440, 200}, {0, 100}, {880, 200}}, false, rate);
    EXPECT_EQ(tones.TotalSamples(), rate / 2);
    std::vector<float> l(rate), r(rate);
    tones.Render(l.data(), r.data(), rate);
    EXPECT_TRUE(tones.IsFinished());
    EXPECT_EQ(zorqtest::DominantFrequency(l, 0, 8192, rate), 440);
    EXPECT_EQ(zorqtest::DominantFrequency(l, static_cast<size_t>(rate * 3 / 10), 8192, rate), 880);
    EXPECT_GT(zorqtest::Rms(l, 0, rate / 5), 0.1);
    EXPECT_LT(zorqtest::Rms(l, rate / 5 + 300, rate * 3 / 10 - 300), 1e-6);  // the silence
    EXPECT_LT(zorqtest::Rms(l, rate / 2, static_cast<size_t>(rate)), 1e-6);  // after the end
    EXPECT_EQ(l, r);
}

TEST(ToneSource, LoopingStartsOverAndEmptyListsEndAtOnce)
{
    CToneSource loop({{440, 10}}, true, 1000);
    std::vector<float> l(100);
    loop.Render(l.data(), nullptr, 100);
    EXPECT_FALSE(loop.IsFinished());
    CToneSource empty({}, true, 1000);
    EXPECT_TRUE(empty.IsFinished());
    CToneSource zero({{440, 0}}, true, 1000);
    zero.Render(l.data(), nullptr, 100);
    EXPECT_TRUE(zero.IsFinished());
}

}  // namespace
