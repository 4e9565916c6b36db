#include "midifile.h"

#include "profile.h"
#include "strutil.h"
#include "utilities.h"
#include "zorqapp.h"

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

std::string GetMelodyDirectory()
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    return app ? app->GetMelodyDir() : std::string();
}

double GetTempoCoef()
{
    const std::string text = GetIniProfileString("MIDI", "TempoCoef", "10");
    double coef = std::atof(text.c_str());
    if (coef < 0)
        coef = 10.0;
    return coef;
}

CMidiFile::CMidiFile(const std::string& path) : m_strPath(path)
{
    if (m_strPath.empty()) {
        std::string folder = GetMelodyDirectory();
        if (folder.empty())
            folder = GetTempDirectory();  // no melody folder: the user's own temporary one
        m_strPath = MakeTempName(folder, "MID");
    }
    if (!m_strPath.empty())
        m_pFile = std::fopen(m_strPath.c_str(), "wb");
    WriteHeader();
}

CMidiFile::~CMidiFile()
{
    if (m_pFile)
        std::fclose(m_pFile);
    if (!m_strPath.empty())
        ::unlink(m_strPath.c_str());
}

void CMidiFile::Put(const void* bytes, size_t n, bool counted)
{
    if (!m_pFile)
        return;
    if (std::fwrite(bytes, 1, n, m_pFile) != n)
        m_bFailed = true;
    if (counted)
        m_nTrackBytes += static_cast<uint32_t>(n);
}

void CMidiFile::WriteHeader()
{
    if (!m_pFile && !m_strPath.empty())
        m_pFile = std::fopen(m_strPath.c_str(), "wb");
    if (!m_pFile)
        return;
    static const uint8_t header[12] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1};
    Put(header, sizeof header, false);
    m_nTrackBytes = 0;
    m_nPendingTicks = 0;
}

void CMidiFile::WriteDivision(int tempo)
{
    const uint8_t division[10] = {0, static_cast<uint8_t>(tempo == -1 ? 0x10 : 0x64),
                                  0, 0, 0, 0, 0, 0, 0, 0};
    Put(division, sizeof division, false);
}

void CMidiFile::WriteTempo(int tempo)
{
    // -1 and the meaningless 0 play at the default tempo.
    m_nTempo = tempo < 1 ? 500 : tempo;
    double micros = m_nTempo * 1000.0 * GetTempoCoef();
    micros = std::clamp(micros, 1.0, static_cast<double>(0xFFFFFF));
    const uint32_t us = static_cast<uint32_t>(micros);
    const uint8_t event[7] = {0, 0xFF, 0x51, 3, static_cast<uint8_t>(us >> 16),
                              static_cast<uint8_t>(us >> 8), static_cast<uint8_t>(us)};
    Put(event, sizeof event, true);
}

uint32_t CMidiFile::TicksFor(int units) const
{
    if (units <= 0)
        return 0;
    return static_cast<uint32_t>(static_cast<int64_t>(units) * 100 / m_nTempo);
}

void CMidiFile::WriteVarLen(uint32_t value)
{
    value = std::min<uint32_t>(value, 0x0FFFFFFF);
    uint8_t bytes[4];
    int n = 0;
    bytes[n++] = value & 0x7F;
    while ((value >>= 7) != 0)
        bytes[n++] = static_cast<uint8_t>((value & 0x7F) | 0x80);
    while (n > 0)
        PutByte(bytes[--n], true);
}

void CMidiFile::WriteNote(int key, int units)
{
    const uint8_t k = static_cast<uint8_t>(std::clamp(key, 0, 127));
    WriteVarLen(m_nPendingTicks);
    m_nPendingTicks = 0;
    const uint8_t on[3] = {0x90, k, 0x7F};
    Put(on, sizeof on, true);
    WriteVarLen(TicksFor(units));
    const uint8_t off[3] = {0x80, k, 0x7F};
    Put(off, sizeof off, true);
}

void CMidiFile::WriteSilence(int units)
{
    const uint64_t total = static_cast<uint64_t>(m_nPendingTicks) + TicksFor(units);
    m_nPendingTicks = static_cast<uint32_t>(std::min<uint64_t>(total, 0x0FFFFFFF));
}

bool CMidiFile::FinishTrack()
{
    if (!m_pFile)
        return false;
    WriteVarLen(m_nPendingTicks);
    m_nPendingTicks = 0;
    const uint8_t eot[3] = {0xFF, 0x2F, 0};
    Put(eot, sizeof eot, true);
    const uint32_t len = m_nTrackBytes;
    const uint8_t track[8] = {'M', 'T', 'r', 'k', static_cast<uint8_t>(len >> 24),
                              static_cast<uint8_t>(len >> 16), static_cast<uint8_t>(len >> 8),
                              static_cast<uint8_t>(len)};
    if (std::fseek(m_pFile, 14, SEEK_SET) != 0)
        m_bFailed = true;
    Put(track, sizeof track, false);
    if (std::fseek(m_pFile, 0, SEEK_END) != 0)
        m_bFailed = true;
    if (std::fclose(m_pFile) != 0)
        m_bFailed = true;
    m_pFile = nullptr;
    return !m_bFailed;
}
