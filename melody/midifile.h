// A one-track Standard MIDI File written for PC playback of a melody.
//
// Layout: "MThd", format 0, one track, 100 ticks a quarter note (one beat);
// the track holds a set-tempo event, then per note a note-on, its length as
// a variable-length delta and the note-off, then the end of track. A note
// of d duration units lasts d * TempoCoef milliseconds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The melody folder of the application (empty without an application).
std::string GetMelodyDirectory();
// The profile's MIDI/TempoCoef: milliseconds per duration unit (10 when the
// value is missing or negative).
double GetTempoCoef();

class CMidiFile {
public:
    // An empty path takes a new unique ".MID" name in the melody folder. The
    // file is created at once and the header written; IsOpen() tells whether
    // that worked.
    explicit CMidiFile(const std::string& path = std::string());
    // Closes the file and removes it from disk.
    ~CMidiFile();
    CMidiFile(const CMidiFile&) = delete;
    CMidiFile& operator=(const CMidiFile&) = delete;

    bool IsOpen() const { return m_pFile != nullptr; }
    const std::string& GetPath() const { return m_strPath; }

    void WriteHeader();
    // Division bytes: 100 ticks a quarter, or 16 for tempo -1.
    void WriteDivision(int tempo);
    // The set-tempo event: tempo * 1000 * TempoCoef microseconds a quarter,
    // bounded to what the event can hold (1 .. 0xFFFFFF).
    void WriteTempo(int tempo);
    // A sounding note of `units` duration units; keys are bounded to 0..127.
    void WriteNote(int key, int units);
    // A silence writes no event: its ticks delay the next event.
    void WriteSilence(int units);
    void WriteVarLen(uint32_t value);
    // Writes the end of track, fills in the track length and closes the
    // file. False when any write failed.
    bool FinishTrack();

    // Ticks for a duration at the stored tempo.
    uint32_t TicksFor(int units) const;

private:
    void Put(const void* bytes, size_t n, bool counted);
    void PutByte(uint8_t b, bool counted) { Put(&b, 1, counted); }

    std::string m_strPath;
    std::FILE* m_pFile = nullptr;
    int m_nTempo = 500;
    uint32_t m_nTrackBytes = 0;   // bytes of the track after its header
    uint32_t m_nPendingTicks = 0; // silence waiting for the next event
    bool m_bFailed = false;
};
