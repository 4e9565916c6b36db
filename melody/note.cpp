#include "note.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace {

void TrimBlanks(std::string& s)
{
    const size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) {
        s.clear();
        return;
    }
    s = s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// Semitone of a natural letter above C, -1 for anything else.
int LetterSemitone(char letter)
{
    switch (letter) {
    case 'C': return 0;
    case 'D': return 2;
    case 'E': return 4;
    case 'F': return 5;
    case 'G': return 7;
    case 'A': return 9;
    case 'B': return 11;
    default: return -1;
    }
}

// The note one semitone below a natural letter, written with a sharp where
// it needs one: the editor notation has no flat sign.
struct Enharmonic {
    char letter;
    bool sharp;
    int octaveShift;
};

Enharmonic FlatAsSharp(char letter)
{
    switch (letter) {
    case 'C': return {'B', false, -1};
    case 'D': return {'C', true, 0};
    case 'E': return {'D', true, 0};
    case 'F': return {'E', false, 0};
    case 'G': return {'F', true, 0};
    case 'A': return {'G', true, 0};
    default: return {'A', true, 0};  // B flat
    }
}

}  // namespace

bool CNote::Parse(const std::string& text, int tempo, int defaultOctave)
{
    std::string namePart = text;
    std::string durationPart;
    const size_t blank = text.find(' ');
    if (blank != std::string::npos) {
        namePart = text.substr(0, blank);
        durationPart = text.substr(blank + 1);
        if (namePart.empty() || durationPart.empty())
            return false;
        TrimBlanks(namePart);
        TrimBlanks(durationPart);
    }
    if (namePart.size() > 4)
        return false;

    m_bSharp = m_bFlat = false;
    std::string octavePart;
    bool split = false;
    size_t pos = namePart.find('#');
    if (pos != std::string::npos) {
        m_bSharp = true;
        octavePart = namePart.substr(pos + 1);
        namePart = namePart.substr(0, pos);
        split = true;
    }
    // The flat sign follows the letter; a leading 'b' is the letter B.
    pos = namePart.find('b', 1);
    if (pos != std::string::npos) {
        m_bSharp = false;
        m_bFlat = true;
        octavePart = namePart.substr(pos + 1);
        namePart = namePart.substr(0, pos);
        split = true;
    }
    if (!split)
        octavePart = namePart.size() > 1 ? namePart.substr(1) : std::string();

    m_strName = namePart.empty() ? std::string() : namePart.substr(0, 1);
    if (octavePart.size() > 2)
        octavePart.resize(2);

    if (octavePart.empty()) {
        m_nOctave = defaultOctave;
    } else if (octavePart.find_first_of("+-") != std::string::npos) {
        const bool up = octavePart.find('+') != std::string::npos;
        int n = 1;
        if (octavePart.size() > 1) {
            n = std::atoi(octavePart.c_str() + 1);
            if (n < 0)
                n = 1;
        }
        m_nOctave = up ? defaultOctave + n : defaultOctave - n;
    } else {
        m_nOctave = std::atoi(octavePart.c_str());
    }
    m_nOctave = std::max(m_nOctave, 0);

    if (durationPart.empty()) {
        m_dDuration = tempo;
        m_bRelative = false;
    } else {
        const size_t c = durationPart.find('c');
        const bool absolute = c != std::string::npos;
        const std::string number = absolute ? durationPart.substr(c + 1) : durationPart;
        char* end = nullptr;
        double value = std::strtod(number.c_str(), &end);
        if (end == number.c_str())
            value = 0;
        if (!std::isfinite(value) || value < 0)
            return false;
        if (!absolute)
            value *= tempo;
        if (value > kMaxDuration)
            return false;
        m_dDuration = value;
        m_bRelative = false;
    }
    Validate();
    Prepare();
    return true;
}

std::string CNote::GetNameText() const
{
    if (IsSilence())
        return "M";
    std::string s = m_strName;
    if (m_bSharp)
        s += '#';
    else if (m_bFlat)
        s += 'b';
    return s + std::to_string(m_nOctave);
}

std::string CNote::GetText() const
{
    if (m_strName.empty())
        return std::string();
    std::string s = GetNameText() + ' ';
    if (!m_bRelative)
        s += 'c';
    return s + std::to_string(static_cast<long long>(m_dDuration));
}

std::string CNote::GetEditorText(int tempo, int baseOctave) const
{
    if (m_strName.empty())
        return std::string();
    bool lower;
    if (m_bRelative ? m_dDuration == 1 : m_dDuration == tempo)
        lower = true;
    else if (m_bRelative ? m_dDuration == 2 : m_dDuration == 2.0 * tempo)
        lower = false;
    else
        return std::string();
    if (IsSilence())
        return "p";

    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(m_strName[0])));
    bool sharp = m_bSharp;
    int octave = m_nOctave;
    if (m_bFlat) {
        const Enharmonic e = FlatAsSharp(letter);
        letter = e.letter;
        sharp = e.sharp;
        octave += e.octaveShift;
    }
    std::string s(1, lower ? static_cast<char>(std::tolower(static_cast<unsigned char>(letter)))
                           : letter);
    if (sharp)
        s += '#';
    if (octave > baseOctave)
        s.append(static_cast<size_t>(octave - baseOctave), '+');
    else if (octave < baseOctave)
        s.append(static_cast<size_t>(baseOctave - octave), '-');
    return s;
}

void CNote::Validate()
{
    if (m_strName.empty())
        m_strName = "M";
    for (char& c : m_strName)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const bool known = m_strName.size() == 1 && LetterSemitone(m_strName[0]) >= 0;
    if (!known || (m_strName == "B" && m_bSharp) || (m_strName == "E" && m_bSharp) ||
        (m_strName == "F" && m_bFlat)) {
        m_bSharp = m_bFlat = false;
        m_strName = "M";
    }
}

void CNote::Prepare()
{
    if (m_strName.empty())
        m_strName = "M";
    ComputeKey();
    ComputeFrequency();
}

void CNote::ComputeKey()
{
    if (IsSilence() || m_strName.empty()) {
        m_nKey = -1;
        return;
    }
    int s = LetterSemitone(
        static_cast<char>(std::toupper(static_cast<unsigned char>(m_strName[0]))));
    if (s < 0) {
        m_nKey = -1;
        return;
    }
    if (m_bSharp)
        ++s;
    else if (m_bFlat)
        --s;
    // Octaves are bounded by the parse (two digits), so this cannot overflow.
    m_nKey = s + 12 * (std::clamp(m_nOctave, -1, 99) + 1);
}

void CNote::ComputeFrequency()
{
    if (IsSilence() || m_strName.empty())
        return;
    ComputeKey();
    if (m_nKey < 0)
        return;
    // Equal temperament from the key, the same pitch the MIDI path plays.
    const int key = std::min(m_nKey, 127);
    m_nFrequency = static_cast<int>(440.0 * std::pow(2.0, (key - 69) / 12.0));
}

int CNote::GetKey()
{
    Prepare();
    return m_nKey;
}

int CNote::GetDurationMs(int tempo) const
{
    double units = m_bRelative ? tempo * m_dDuration : m_dDuration;
    if (!(units > 0))
        return 0;
    return static_cast<int>(std::min(units, kMaxDuration));
}

bool CNote::IsEqual(const CNote* other) const
{
    if (!other)
        return false;
    if (m_strName.size() != other->m_strName.size())
        return false;
    for (size_t i = 0; i < m_strName.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(m_strName[i])) !=
            std::toupper(static_cast<unsigned char>(other->m_strName[i])))
            return false;
    }
    return m_bSharp == other->m_bSharp && m_bFlat == other->m_bFlat &&
           m_dDuration == other->m_dDuration && m_bRelative == other->m_bRelative &&
           m_nOctave == other->m_nOctave;
}
