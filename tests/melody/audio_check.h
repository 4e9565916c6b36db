// Reading and measuring rendered audio in the playback tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zorqtest {

struct Audio {
    int rate = 0;
    int channels = 0;
    std::vector<float> left;  // first channel, -1..1
    double Seconds() const { return rate ? static_cast<double>(left.size()) / rate : 0; }
};

// A 16-bit or 32-bit float PCM RIFF/WAVE file; empty on anything else.
inline Audio ReadWav(const std::string& path)
{
    Audio a;
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string d = ss.str();
    if (d.size() < 12 || d.compare(0, 4, "RIFF") != 0 || d.compare(8, 4, "WAVE") != 0)
        return a;
    auto u16 = [&](size_t p) { return static_cast<uint16_t>(uint8_t(d[p]) | uint8_t(d[p + 1]) << 8); };
    auto u32 = [&](size_t p) {
        return static_cast<uint32_t>(u16(p)) | static_cast<uint32_t>(u16(p + 2)) << 16;
    };
    int format = 0, bits = 0;
    size_t pos = 12;
    while (pos + 8 <= d.size()) {
        const std::string id = d.substr(pos, 4);
        size_t size = u32(pos + 4);
        const size_t body = pos + 8;
        if (id == "fmt ") {
            format = u16(body);
            a.channels = u16(body + 2);
            a.rate = static_cast<int>(u32(body + 4));
            bits = u16(body + 14);
            if (format == 0xFFFE)  // extensible: the sub-format's first word
                format = u16(body + 24);
        } else if (id == "data") {
            size = std::min(size, d.size() - body);
            const int bytes = bits / 8;
            if (a.channels <= 0 || bytes <= 0)
                return Audio();
            const size_t frame = static_cast<size_t>(bytes * a.channels);
            for (size_t p = body; p + frame <= body + size; p += frame) {
                if (format == 1 && bits == 16) {
                    a.left.push_back(static_cast<int16_t>(u16(p)) / 32768.0f);
                } else if (format == 3 && bits == 32) {
                    float f;
                    std::memcpy(&f, d.data() + p, 4);
                    a.left.push_back(f);
                } else {
                    return Audio();
                }
            }
            return a;
        }
        pos = body + size + (size & 1);
    }
    return Audio();
}

inline double Rms(const std::vector<float>& s, size_t from, size_t to)
{
    to = std::min(to, s.size());
    if (from >= to)
        return 0;
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += static_cast<double>(s[i]) * s[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

// The frequency (in whole hertz, 50..2000) with the most energy in the
// window, by a direct discrete Fourier transform in 1 Hz steps.
inline int DominantFrequency(const std::vector<float>& s, size_t from, size_t count, int rate)
{
    count = std::min(count, s.size() - std::min(from, s.size()));
    int best = 0;
    double bestPower = -1;
    for (int f = 50; f <= 2000; ++f) {
        double re = 0, im = 0;
        const double w = 2 * M_PI * f / rate;
        for (size_t i = 0; i < count; ++i) {
            // Hann window against leakage from the window's edges.
            const double h = 0.5 - 0.5 * std::cos(2 * M_PI * static_cast<double>(i) / count);
            re += h * s[from + i] * std::cos(w * static_cast<double>(i));
            im += h * s[from + i] * std::sin(w * static_cast<double>(i));
        }
        const double power = re * re + im * im;
        if (power > bestPower) {
            bestPower = power;
            best = f;
        }
    }
    return best;
}

}  // namespace zorqtest
