// One note of a melody: its text forms (phone and ".MDY" lines, the editor's
// letter notation), its parse, and its pitch as a MIDI key and a frequency.
//
// Pitches follow scientific pitch notation on both playback paths: A4 is
// 440 Hz and MIDI key 69, C4 is key 60.
#pragma once

#include <string>

class CNote {
public:
    CNote() = default;

    // Parses "<name>[ <duration>]": a letter A-G (M for a silence) with an
    // optional '#' or 'b' and an octave ("4", "+", "-2"...), then a duration
    // in beats ("2") or in units ("c250"). Without a duration the note lasts
    // one beat (`tempo` units). Returns false for a malformed text.
    bool Parse(const std::string& text, int tempo, int defaultOctave);

    // "A4 c500" / "C#5 c250" / "M c500" (relative notes omit the "c").
    std::string GetText() const;
    // "M" for a silence, else letter, accidental and octave.
    std::string GetNameText() const;
    // The editor's short form: lower-case letter for one beat, upper case for
    // two, '#', one '+' or '-' per octave away from `baseOctave`, "p" for a
    // silence; empty when the note has no such form.
    std::string GetEditorText(int tempo, int baseOctave) const;

    // Unknown letters, B#, E# and Fb become silences.
    void Validate();
    // Computes the key and the frequency.
    void Prepare();
    void ComputeFrequency();
    void ComputeKey();
    // Recomputes, then returns the key (-1 for a silence).
    int GetKey();
    int GetKeyValue() const { return m_nKey; }
    // Length in whole duration units, for a melody of that tempo.
    int GetDurationMs(int tempo) const;

    bool IsSilence() const { return m_strName == "M"; }
    // Same name (ignoring case), accidentals, duration, relative flag and
    // octave. A null other is unequal.
    bool IsEqual(const CNote* other) const;
    void CopyFrom(const CNote& other) { *this = other; }

    void SetName(const std::string& name) { m_strName = name; }
    const std::string& GetName() const { return m_strName; }
    void SetSharp() { m_bSharp = true; m_bFlat = false; }
    void SetFlat() { m_bFlat = true; m_bSharp = false; }
    bool IsSharp() const { return m_bSharp; }
    bool IsFlat() const { return m_bFlat; }
    void SetDuration(double duration) { m_dDuration = duration; }
    double GetDuration() const { return m_dDuration; }
    void SetRelative(bool relative) { m_bRelative = relative; }
    bool IsRelative() const { return m_bRelative; }
    void SetOctave(int octave) { m_nOctave = octave; }
    int GetOctave() const { return m_nOctave; }
    int GetFrequency() const { return m_nFrequency; }

    // Longest duration a note can hold, in units; longer texts are refused.
    static constexpr double kMaxDuration = 1000000.0;

private:
    std::string m_strName;
    bool m_bSharp = false;
    bool m_bFlat = false;
    double m_dDuration = 0;
    bool m_bRelative = false;
    int m_nOctave = -1;
    int m_nFrequency = 440;
    int m_nKey = -1;
};
