#include "note.h"

#include <gtest/gtest.h>

namespace {

CNote Parsed(const std::string& text, int tempo = 500, int octave = 4)
{
    CNote n;
    EXPECT_TRUE(n.Parse(text, tempo, octave)) << text;
    return n;
}

TEST(Note, ParsesNamesOctavesAndDurations)
{
    CNote a = Parsed("A4");
    EXPECT_EQ(a.GetName(), "A");
    EXPECT_EQ(a.GetOctave(), 4);
    EXPECT_EQ(a.GetDuration(), 500);  // one beat
    EXPECT_FALSE(a.IsRelative());

    EXPECT_EQ(Parsed("A4 2").GetDuration(), 1000);  // two beats, made absolute
    EXPECT_EQ(Parsed("A4 c2").GetDuration(), 2);    // two units

    CNote up = Parsed("C#+2");
    EXPECT_TRUE(up.IsSharp());
    EXPECT_EQ(up.GetOctave(), 6);
    EXPECT_EQ(Parsed("D-").GetOctave(), 3);
    EXPECT_EQ(Parsed("G").GetOctave(), 4);
    EXPECT_EQ(Parsed("G", 500, 5).GetOctave(), 5);

    CNote flat = Parsed("Bb3 c250");
    EXPECT_TRUE(flat.IsFlat());
    EXPECT_EQ(flat.GetName(), "B");
    EXPECT_EQ(flat.GetOctave(), 3);
    // A lower-case b at the start is the letter, not a flat sign.
    CNote b = Parsed("b4");
    EXPECT_EQ(b.GetName(), "B");
    EXPECT_FALSE(b.IsFlat());
}

TEST(Note, RefusesMalformedTexts)
{
    CNote n;
    EXPECT_FALSE(n.Parse("C#4bx", 500, 4));      // name part of 5 characters
    EXPECT_FALSE(n.Parse(" c250", 500, 4));      // empty name part
    EXPECT_FALSE(n.Parse("A4 ", 500, 4));        // empty duration part
    EXPECT_FALSE(n.Parse("A4 cnan", 500, 4));    // not a number
    EXPECT_FALSE(n.Parse("A4 c-5", 500, 4));     // negative length
    EXPECT_FALSE(n.Parse("A4 c1e300", 500, 4));  // beyond any melody
}

TEST(Note, UnplayableNamesBecomeSilences)
{
    for (const char* text : {"E#4", "B#4", "Fb4", "X4", "M c500"}) {
        CNote n = Parsed(text);
        EXPECT_TRUE(n.IsSilence()) << text;
        EXPECT_EQ(n.GetKey(), -1) << text;
        EXPECT_FALSE(n.IsSharp() || n.IsFlat()) << text;
    }
}

TEST(Note, PitchIsScientific)
{
    CNote a = Parsed("A4");
    EXPECT_EQ(a.GetKey(), 69);
    EXPECT_EQ(a.GetFrequency(), 440);
    EXPECT_EQ(Parsed("C4").GetKey(), 60);
    EXPECT_EQ(Parsed("C4").GetFrequency(), 261);
    EXPECT_EQ(Parsed("A5").GetFrequency(), 880);
    EXPECT_EQ(Parsed("F#4").GetFrequency(), 369);
    // Flats sound like the sharp below: one model for both playback paths.
    EXPECT_EQ(Parsed("Db4").GetKey(), Parsed("C#4").GetKey());
    EXPECT_EQ(Parsed("Cb4").GetKey(), Parsed("B3").GetKey());
    EXPECT_EQ(Parsed("Cb4").GetFrequency(), Parsed("B3").GetFrequency());
}

TEST(Note, TextFormsRoundTrip)
{
    EXPECT_EQ(Parsed("C#5 c250").GetText(), "C#5 c250");
    EXPECT_EQ(Parsed("M c500").GetText(), "M c500");
    EXPECT_EQ(Parsed("Bb3 c250").GetText(), "Bb3 c250");
    EXPECT_EQ(Parsed("E#4 c100").GetText(), "M c100");
    EXPECT_EQ(CNote().GetText(), "");
    CNote rel;
    rel.SetName("A");
    rel.SetOctave(4);
    rel.SetDuration(2);
    rel.SetRelative(true);
    EXPECT_EQ(rel.GetText(), "A4 2");
    EXPECT_EQ(rel.GetDurationMs(300), 600);
    for (const char* text : {"C#5 c250", "G3 c1000", "M c40", "Eb6 c7"}) {
        CNote again;
        ASSERT_TRUE(again.Parse(Parsed(text).GetText(), 500, 4));
        CNote first = Parsed(text);
        EXPECT_TRUE(again.IsEqual(&first)) << text;
    }
}

TEST(Note, EditorShortForm)
{
    EXPECT_EQ(Parsed("A4 c500").GetEditorText(500, 4), "a");
    EXPECT_EQ(Parsed("A4 c1000").GetEditorText(500, 4), "A");
    EXPECT_EQ(Parsed("A4 c750").GetEditorText(500, 4), "");
    EXPECT_EQ(Parsed("C#6 c500").GetEditorText(500, 4), "c#++");
    EXPECT_EQ(Parsed("D2 c1000").GetEditorText(500, 4), "D--");
    EXPECT_EQ(Parsed("M c500").GetEditorText(500, 4), "p");
    EXPECT_EQ(Parsed("M c1000").GetEditorText(500, 4), "p");
    EXPECT_EQ(Parsed("M c300").GetEditorText(500, 4), "");
    // The notation has no flat sign ("b" is the note B): a flat is written
    // as the same pitch with a sharp.
    EXPECT_EQ(Parsed("Eb4 c500").GetEditorText(500, 4), "d#");
    EXPECT_EQ(Parsed("Cb4 c500").GetEditorText(500, 4), "b-");
}

TEST(Note, EqualityIgnoresNameCaseOnly)
{
    CNote a = Parsed("A4 c500");
    CNote b;
    b.CopyFrom(a);
    EXPECT_TRUE(a.IsEqual(&b));
    b.SetName("a");
    EXPECT_TRUE(a.IsEqual(&b));
    b.SetOctave(5);
    EXPECT_FALSE(a.IsEqual(&b));
    EXPECT_FALSE(a.IsEqual(nullptr));
    CNote c = Parsed("A4 c501");
    EXPECT_FALSE(a.IsEqual(&c));
}

}  // namespace
