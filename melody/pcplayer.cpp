#include "pcplayer.h"

#include "debugtrace.h"
#include "wndmsg.h"

#include <fluidsynth.h>

#include <QFileInfo>

#include <cmath>
#include <mutex>

namespace {

std::mutex g_outputLock;
std::string g_driver;
std::string g_file;
std::string g_soundFont;

// FluidSynth reports to standard error by default; its complaints (no sound
// server, for example) go to the program's trace instead.
void FluidLog(int level, const char* message, void*)
{
    if (level <= FLUID_WARN && message)
        WriteDebug("CPcPlayer -> ", message);
}

void InstallLogOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, FluidLog, nullptr);
    });
}

constexpr double kFadeMs = 5.0;
constexpr float kToneLevel = 0.25f;

}  // namespace

// ---------------------------------------------------------------- tones

CToneSource::CToneSource(std::vector<PcTone> tones, bool loop, int sampleRate)
    : m_tones(std::move(tones)), m_bLoop(loop), m_nRate(sampleRate)
{
    if (m_tones.empty())
        m_bFinished = true;
}

long long CToneSource::TotalSamples() const
{
    long long n = 0;
    for (const PcTone& t : m_tones)
        n += static_cast<long long>(t.ms) * m_nRate / 1000;
    return n;
}

void CToneSource::Render(float* left, float* right, int len)
{
    const long long fade = static_cast<long long>(kFadeMs * m_nRate / 1000);
    for (int i = 0; i < len; ++i) {
        float v = 0;
        // Skip tones that are over (or empty) before taking a sample.
        while (!m_bFinished && m_nIndex < m_tones.size() &&
               m_nPos >= static_cast<long long>(m_tones[m_nIndex].ms) * m_nRate / 1000) {
            m_nPos = 0;
            m_dPhase = 0;
            if (++m_nIndex == m_tones.size()) {
                if (m_bLoop && TotalSamples() > 0)
                    m_nIndex = 0;
                else
                    m_bFinished = true;
            }
        }
        if (!m_bFinished && m_nIndex < m_tones.size()) {
            const PcTone& t = m_tones[m_nIndex];
            const long long length = static_cast<long long>(t.ms) * m_nRate / 1000;
            if (t.frequency > 0) {
                double gain = 1.0;
                if (fade > 0) {
                    gain = std::min({1.0, static_cast<double>(m_nPos) / fade,
                                     static_cast<double>(length - m_nPos) / fade});
                }
                v = static_cast<float>(kToneLevel * gain * std::sin(m_dPhase));
                m_dPhase += 2 * M_PI * t.frequency / m_nRate;
                if (m_dPhase > 2 * M_PI)
                    m_dPhase -= 2 * M_PI;
            }
            ++m_nPos;
        }
        if (left)
            left[i] = v;
        if (right)
            right[i] = v;
    }
}

// ---------------------------------------------------------------- player

CPcPlayer::CPcPlayer(QObject* notify) : m_pNotify(notify)
{
    InstallLogOnce();
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
}

CPcPlayer::~CPcPlayer()
{
    m_timer.stop();
    Release();
}

void CPcPlayer::SetAudioOutput(const std::string& driver, const std::string& file)
{
    std::lock_guard<std::mutex> lock(g_outputLock);
    g_driver = driver;
    g_file = file;
}

void CPcPlayer::SetSoundFont(const std::string& path)
{
    std::lock_guard<std::mutex> lock(g_outputLock);
    g_soundFont = path;
}

std::string CPcPlayer::FindSoundFont()
{
    {
        std::lock_guard<std::mutex> lock(g_outputLock);
        if (!g_soundFont.empty())
            return g_soundFont;
    }
    for (const char* path : {"/usr/share/sounds/sf2/default-GM.sf2",
                             "/usr/share/sounds/sf2/TimGM6mb.sf2",
                             "/usr/share/sounds/sf2/FluidR3_GM.sf2",
                             "/usr/share/sounds/sf3/default-GM.sf3"}) {
        if (QFileInfo::exists(QString::fromLocal8Bit(path)))
            return path;
    }
    return std::string();
}

bool CPcPlayer::CreateDriver(bool tones)
{
    auto* settings = static_cast<fluid_settings_t*>(m_pSettings);
    std::string driver, file;
    {
        std::lock_guard<std::mutex> lock(g_outputLock);
        driver = g_driver;
        file = g_file;
    }
    std::vector<std::string> candidates;
    if (!driver.empty()) {
        candidates.push_back(driver);
    } else {
        char* def = nullptr;
        if (fluid_settings_getstr_default(settings, "audio.driver", &def) == FLUID_OK && def)
            candidates.emplace_back(def);
        for (const char* d : {"pulseaudio", "alsa", "sdl2"})
            candidates.emplace_back(d);
    }
    if (!file.empty())
        fluid_settings_setstr(settings, "audio.file.name", file.c_str());
    for (const std::string& name : candidates) {
        if (fluid_settings_setstr(settings, "audio.driver", name.c_str()) != FLUID_OK)
            continue;
        fluid_audio_driver_t* d =
            tones ? new_fluid_audio_driver2(settings, &CPcPlayer::ToneCallback, m_pTones)
                  : new_fluid_audio_driver(settings, static_cast<fluid_synth_t*>(m_pSynth));
        if (d) {
            m_pDriver = d;
            return true;
        }
    }
    return false;
}

bool CPcPlayer::PlayMidi(const std::string& midiPath, bool loop)
{
    Stop();
    const std::string font = FindSoundFont();
    if (font.empty() || !QFileInfo::exists(QString::fromLocal8Bit(font.c_str()))) {
        WriteDebug("CPcPlayer::PlayMidi -> no sound font");
        return false;
    }
    fluid_settings_t* settings = new_fluid_settings();
    if (!settings)
        return false;
    m_pSettings = settings;
    fluid_settings_setnum(settings, "synth.sample-rate", SampleRate());
    // The default gain leaves a single voice rather quiet.
    fluid_settings_setnum(settings, "synth.gain", 0.5);
    fluid_synth_t* synth = new_fluid_synth(settings);
    m_pSynth = synth;
    if (!synth || fluid_synth_sfload(synth, font.c_str(), 1) == FLUID_FAILED) {
        WriteDebug("CPcPlayer::PlayMidi -> sound font refused: ", font);
        Release();
        return false;
    }
    fluid_player_t* player = new_fluid_player(synth);
    m_pPlayer = player;
    if (!player || fluid_player_add(player, midiPath.c_str()) != FLUID_OK) {
        Release();
        return false;
    }
    fluid_player_set_loop(player, loop ? -1 : 1);
    m_bLoop = loop;
    // The player advances with the synthesizer's output, so starting it
    // before the output adds no silence in front.
    if (fluid_player_play(player) != FLUID_OK || !CreateDriver(false)) {
        Release();
        return false;
    }
    m_timer.start();
    return true;
}

bool CPcPlayer::PlayTones(const std::vector<PcTone>& tones, bool loop)
{
    Stop();
    fluid_settings_t* settings = new_fluid_settings();
    if (!settings)
        return false;
    m_pSettings = settings;
    fluid_settings_setnum(settings, "synth.sample-rate", SampleRate());
    m_pTones = new CToneSource(tones, loop, SampleRate());
    if (!CreateDriver(true)) {
        Release();
        return false;
    }
    m_timer.start();
    return true;
}

int CPcPlayer::ToneCallback(void* data, int len, int, float*[], int nout, float* out[])
{
    auto* tones = static_cast<CToneSource*>(data);
    tones->Render(nout > 0 ? out[0] : nullptr, nout > 1 ? out[1] : nullptr, len);
    return FLUID_OK;
}

void CPcPlayer::Poll()
{
    if (!m_pDriver) {
        m_timer.stop();
        return;
    }
    bool done = false;
    if (m_pPlayer) {
        // The player itself stays busy while the last notes fade out; the
        // melody is over when its last tick has played.
        auto* player = static_cast<fluid_player_t*>(m_pPlayer);
        const int total = fluid_player_get_total_ticks(player);
        done = fluid_player_get_status(player) != FLUID_PLAYER_PLAYING ||
               (!m_bLoop && total > 0 && fluid_player_get_current_tick(player) >= total);
    }
    else if (m_pTones)
        done = m_pTones->IsFinished();
    if (done)
        Finish();
}

void CPcPlayer::Finish()
{
    m_timer.stop();
    const bool wasPlaying = m_pDriver != nullptr;
    Release();
    if (wasPlaying && m_pNotify)
        PostMessage(m_pNotify, WM_MMI_MELODY_DONE);
}

void CPcPlayer::Stop()
{
    Finish();
}

void CPcPlayer::Release()
{
    // The audio thread goes first (deleting the driver waits for it), then
    // what it was reading.
    if (m_pDriver)
        delete_fluid_audio_driver(static_cast<fluid_audio_driver_t*>(m_pDriver));
    m_pDriver = nullptr;
    if (m_pPlayer) {
        fluid_player_stop(static_cast<fluid_player_t*>(m_pPlayer));
        delete_fluid_player(static_cast<fluid_player_t*>(m_pPlayer));
    }
    m_pPlayer = nullptr;
    if (m_pSynth)
        delete_fluid_synth(static_cast<fluid_synth_t*>(m_pSynth));
    m_pSynth = nullptr;
    if (m_pSettings)
        delete_fluid_settings(static_cast<fluid_settings_t*>(m_pSettings));
    m_pSettings = nullptr;
    delete m_pTones;
    m_pTones = nullptr;
}
