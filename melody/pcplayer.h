// Playback of a melody on the PC through the default audio output.
//
// The MIDI file of the melody is played by the FluidSynth synthesizer with a
// General MIDI sound font. When the synthesizer cannot play (no sound font,
// a file it refuses), the notes are played as plain tones of their frequency
// through the same audio output. The audio thread is FluidSynth's own; a
// timer of the user-interface thread notices the end and posts
// WM_MMI_MELODY_DONE to the window to notify, once per playback.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <string>
#include <vector>

// One tone of the fallback path; frequency 0 is a silence.
struct PcTone {
    int frequency = 0;
    int ms = 0;
};

// Renders a list of tones as samples: sine tones with short fades, so that
// neither tones nor silences click. Used by the audio thread.
class CToneSource {
public:
    CToneSource(std::vector<PcTone> tones, bool loop, int sampleRate);
    // Fills `len` samples of each output; past the end (without loop) it
    // writes silence and reports finished.
    void Render(float* left, float* right, int len);
    bool IsFinished() const { return m_bFinished.load(); }
    // Samples of one pass through the tones.
    long long TotalSamples() const;

private:
    std::vector<PcTone> m_tones;
    bool m_bLoop;
    int m_nRate;
    size_t m_nIndex = 0;
    long long m_nPos = 0;  // sample within the current tone
    double m_dPhase = 0;
    std::atomic<bool> m_bFinished{false};
};

class CPcPlayer : public QObject {
    Q_OBJECT
public:
    explicit CPcPlayer(QObject* notify);
    // Stops (waiting for the audio thread) before anything is freed.
    ~CPcPlayer() override;

    // Plays the MIDI file; false when the synthesizer or the audio output
    // cannot start (nothing plays then).
    bool PlayMidi(const std::string& midiPath, bool loop);
    // Plays the tones; false when the audio output cannot start.
    bool PlayTones(const std::vector<PcTone>& tones, bool loop);
    // Ends the playback at once, waits for the audio thread and posts the
    // done message when something was playing.
    void Stop();
    bool IsPlaying() const { return m_pDriver != nullptr; }
    // The window for the next done message.
    void SetNotify(QObject* notify) { m_pNotify = notify; }

    // The audio output: a FluidSynth driver name (empty: the system's
    // default output) and, for the "file" driver, the file to write.
    static void SetAudioOutput(const std::string& driver, const std::string& file);
    // The sound font to use (empty: the system's General MIDI font).
    static void SetSoundFont(const std::string& path);
    static std::string FindSoundFont();
    static int SampleRate() { return 44100; }

private:
    void Poll();
    void Release();
    void Finish();
    bool CreateDriver(bool tones);
    static int ToneCallback(void* data, int len, int nfx, float* fx[], int nout, float* out[]);

    QPointer<QObject> m_pNotify;
    QTimer m_timer;
    void* m_pSettings = nullptr;  // fluid_settings_t
    void* m_pSynth = nullptr;     // fluid_synth_t
    void* m_pPlayer = nullptr;    // fluid_player_t
    void* m_pDriver = nullptr;    // fluid_audio_driver_t
    CToneSource* m_pTones = nullptr;
    bool m_bLoop = false;
};
