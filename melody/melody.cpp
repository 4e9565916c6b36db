#include "melody.h"

#include "archive.h"
#include "debugtrace.h"
#include "midifile.h"
#include "melodypaths.h"
#include "pcplayer.h"
#include "profile.h"
#include "strutil.h"
#include "uiservices.h"
#include "utilities.h"
#include "wndmsg.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A melody without a file of its own gets a name only once it is written
// whole: the text goes under a temporary name, then takes a free ".MDY"
// name by a link, which fails rather than replace a file of that name. A
// process killed on the way leaves at most the temporary file, never an
// empty or half-written melody. The new path, or empty on failure.
std::string WriteUnderFreshName(const std::string& folder, const std::vector<uint8_t>& bytes)
{
    const std::string tmp = MakeTempName(folder, "tmp");
    if (tmp.empty())
        return std::string();
    std::string made;
    if (WriteFileAtomically(tmp, bytes)) {
        std::random_device rd;
        std::mt19937 gen(rd());
        std::uniform_int_distribution<int> letter(0, 25);
        for (int attempt = 0; attempt < 1000 && made.empty(); ++attempt) {
            std::string name(8, 'A');
            for (char& c : name)
                c = static_cast<char>('A' + letter(gen));
            const std::string path = folder + name + ".MDY";
            if (::link(tmp.c_str(), path.c_str()) == 0) {
                made = path;
            } else if (errno != EEXIST) {
                // A file system without links: a rename to a name seen free.
                if (::access(path.c_str(), F_OK) != 0 && ::rename(tmp.c_str(), path.c_str()) == 0)
                    made = path;
                break;
            }
        }
    }
    ::unlink(tmp.c_str());
    return made;
}

constexpr int kPieceLength = 160;  // the phone takes the notes in pieces
constexpr int kLineMax = 258;      // longest ".MDY" line read

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

// Name from a file line or a phone header: blanks around it, double quotes
// and commas removed (they would break the header).
QString CleanName(const std::string& bytes)
{
    QString name = PcToQString(bytes).trimmed();
    name.remove(QLatin1Char('"'));
    name.remove(QLatin1Char(','));
    return name;
}

// Leading decimal digits (with a sign) of a text, 0 without any.
int DecimalValue(std::string text)
{
    Trim(text);
    return std::atoi(text.c_str());
}

// Takes the text up to the first comma and leaves what follows it.
std::string NextHeaderToken(std::string& text)
{
    const size_t comma = text.find(',');
    std::string token;
    if (comma == std::string::npos) {
        token = text;
        text.clear();
    } else {
        token = text.substr(0, comma);
        text.erase(0, comma + 1);
    }
    return token;
}

// Two blank-separated words make one note token ("A4 c500"); the text
// keeps what follows. A last lone word gives no token.
std::string NextNoteToken(std::string& text)
{
    const size_t first = text.find(' ');
    if (first == std::string::npos) {
        text.clear();
        return std::string();
    }
    const size_t second = text.find(' ', first + 1);
    std::string token;
    if (second == std::string::npos) {
        token = text;
        text.clear();
    } else {
        token = text.substr(0, second);
        text.erase(0, second + 1);
    }
    return token;
}

}  // namespace

CMelody::CMelody()
{
    Reset();
}

CMelody::~CMelody()
{
    Reset();
}

void CMelody::Reset()
{
    // Playback first: the player must be gone before anything it used.
    Stop();
    m_pPlayer.reset();
    CObjectListItem::Reset();
    RemoveNotes();
    m_nTempo = GetIniProfileInt("Melody", "Tempo", 500);
    CheckTempo();
    m_nLength = 0;
    m_nDefaultOctave = 4;
    m_bLoop = false;
}

void CMelody::CopyFrom(const CMelody* other)
{
    if (!other || other == this)
        return;
    Reset();
    CObjectListItem::Copy(*other);
    m_nTempo = other->m_nTempo;
    m_nLength = other->m_nLength;
    m_nDefaultOctave = other->m_nDefaultOctave;
    m_nIterator = other->m_nIterator;
    for (const auto& note : other->m_notes) {
        auto copy = std::make_unique<CNote>();
        copy->CopyFrom(*note);
        m_notes.push_back(std::move(copy));
    }
}

void CMelody::RemoveNotes()
{
    m_notes.clear();
    m_nIterator = 0;
}

void CMelody::AddNote(CNote* note)
{
    if (note)
        m_notes.emplace_back(note);
}

CNote* CMelody::GetFirstNote()
{
    m_nIterator = 0;
    return GetNextNote();
}

CNote* CMelody::GetNextNote()
{
    if (m_nIterator >= m_notes.size())
        return nullptr;
    return m_notes[m_nIterator++].get();
}

const CNote* CMelody::GetNoteAt(int i) const
{
    if (i < 0 || i >= GetNoteCount())
        return nullptr;
    return m_notes[static_cast<size_t>(i)].get();
}

void CMelody::SetTempo(int tempo)
{
    m_nTempo = tempo;
    CheckTempo();
}

void CMelody::CheckTempo()
{
    // A tempo of 0 would give notes without length and divide by zero when
    // the MIDI file is written, so the lowest tempo is 1.
    if (m_nTempo < 1 || m_nTempo >= 1000)
        m_nTempo = GetIniProfileInt("Melody", "Tempo", 500);
    if (m_nTempo < 1 || m_nTempo >= 1000)
        m_nTempo = 500;
}

int CMelody::GetPhoneIndex() const
{
    return m_nIndex;
}

void CMelody::SetPhoneIndex(int index)
{
    m_nIndex = index;
}

std::string CMelody::MakeEditorText(int n) const
{
    std::string text;
    int count = 0;
    for (const auto& note : m_notes) {
        if (n >= 0 && count >= n)
            break;
        const std::string part = note->GetEditorText(m_nTempo, 4);
        if (part.empty())
            return std::string();
        text += part;
        ++count;
    }
    return text;
}

bool CMelody::IsAllSilence() const
{
    for (const auto& note : m_notes)
        if (!note->IsSilence())
            return false;
    return true;
}

bool CMelody::IsLastNoteSilence() const
{
    return m_notes.empty() || m_notes.back()->IsSilence();
}

bool CMelody::AreAllNotesRelative() const
{
    for (const auto& note : m_notes)
        if (!note->IsRelative())
            return false;
    return true;
}

bool CMelody::IsSameNotes(const CMelody* other, int n) const
{
    if (!other || other->GetNoteCount() != GetNoteCount())
        return false;
    for (size_t i = 0; i < m_notes.size(); ++i) {
        if (n >= 0 && static_cast<int>(i) >= n)
            break;
        if (!m_notes[i]->IsEqual(other->m_notes[i].get()))
            return false;
    }
    return true;
}

void CMelody::AddSilence()
{
    auto note = std::make_unique<CNote>();
    note->SetName(std::string());
    note->SetDuration(m_nTempo);
    note->SetRelative(false);
    note->SetOctave(m_nDefaultOctave);
    note->Validate();
    note->Prepare();
    m_notes.push_back(std::move(note));
}

std::string CMelody::MakeHeaderString() const
{
    if (m_nTempo < 0 || GetName().isEmpty())
        return std::string();
    std::string header;
    if (m_nIndex >= 0)
        header = std::to_string(m_nIndex) + ",";
    return header + "\"" + QStringToPc(GetName()) + "\"," + std::to_string(m_nTempo);
}

std::string CMelody::MakePlayHeaderString(bool loop)
{
    const int index = m_nIndex;
    m_nIndex = -1;
    std::string header = MakeHeaderString();
    m_nIndex = index;
    if (header.empty())
        return header;
    return header + (loop ? ",1" : ",0");
}

std::string CMelody::MakeNotesString(int maxNotes) const
{
    std::string result;
    int piece = 1;
    const int count = GetNoteCount();
    for (int i = 0; i < count;) {
        const CNote* note = m_notes[static_cast<size_t>(i)].get();
        ++i;
        const std::string token = note ? note->GetText() : std::string();
        if (!token.empty()) {
            if (static_cast<int>(result.size() + token.size()) > piece * kPieceLength) {
                result += '\r';
                ++piece;
            }
            result += token;
            if (i != count)
                result += ' ';
        }
        if (i == maxNotes)
            break;
    }
    return result;
}

int CMelody::NotesWithinText(int textMax) const
{
    const int count = GetNoteCount();
    if (textMax <= 0)
        return count;
    int length = 0;
    bool any = false;
    for (int i = 0; i < count; ++i) {
        const CNote* note = m_notes[static_cast<size_t>(i)].get();
        const std::string token = note ? note->GetText() : std::string();
        if (!token.empty()) {
            length += static_cast<int>(token.size()) + (any ? 1 : 0);
            any = true;
        }
        if (length > textMax)
            return i;
    }
    return count;
}

bool CMelody::InitHeaderWithString(const std::string& header)
{
    std::string rest = header;
    const std::string first = NextHeaderToken(rest);
    if (first.empty())
        return false;
    const int index = DecimalValue(first);

    // A quoted name runs to its closing quote, so a comma inside it neither
    // cuts the name nor shifts the tempo.
    std::string name, tempo;
    bool haveTempo = false;
    const size_t lead = rest.find_first_not_of(' ');
    const size_t close = rest.rfind('"');
    if (lead != std::string::npos && rest[lead] == '"' && close > lead) {
        name = rest.substr(0, close + 1);
        std::string after = rest.substr(close + 1);
        const size_t comma = after.find(',');
        if (comma != std::string::npos) {
            after.erase(0, comma + 1);
            tempo = NextHeaderToken(after);
            haveTempo = true;
        }
    } else {
        const bool more = rest.find(',') != std::string::npos;
        name = NextHeaderToken(rest);
        if (more) {
            tempo = NextHeaderToken(rest);
            haveTempo = true;
        }
    }
    if (name.empty())
        return false;
    m_nIndex = index;
    SetName(CleanName(name), false);
    if (haveTempo)
        m_nTempo = DecimalValue(tempo);
    CheckTempo();
    return true;
}

bool CMelody::AnalyseNote(const std::string& notes)
{
    std::string text = notes;
    // The phone's pieces are separated by CR; they count as blanks.
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\t')
            c = ' ';
    CollapseBlanks(text);
    for (;;) {
        const std::string token = NextNoteToken(text);
        if (token.empty())
            break;
        auto note = std::make_unique<CNote>();
        if (note->Parse(token, m_nTempo, m_nDefaultOctave))
            m_notes.push_back(std::move(note));
    }
    return !m_notes.empty();
}

bool CMelody::Load(QString pathIn)
{
    const std::string path = PathToStd(pathIn.isEmpty() ? GetFilePath() : pathIn);
    std::FILE* file = nullptr;
    if (path.empty() || OpenFileWithRetry(file, path) != fileNone || !file)
        return false;
    Reset();
    m_strText2 = PathFromStd(GetFileNamePart(path));
    SetFilePath(PathFromStd(path));

    bool nameSeen = false;
    char buffer[kLineMax + 1];
    while (ReadTextLine(file, buffer, kLineMax) > 0) {
        const std::string line = buffer;
        const std::string key = Upper(line);
        if (StartsWith(key, "NAME=")) {
            SetName(CleanName(line.substr(5)), false);
            nameSeen = true;
        } else if (StartsWith(key, "LENGTH=")) {
            m_nLength = DecimalValue(line.substr(7));
        } else if (StartsWith(key, "TEMPO=")) {
            m_nTempo = DecimalValue(line.substr(6));
            CheckTempo();
        } else if (line.find('=') == std::string::npos) {
            auto note = std::make_unique<CNote>();
            if (note->Parse(line, m_nTempo, m_nDefaultOctave))
                m_notes.push_back(std::move(note));
        }
    }
    std::fclose(file);
    return nameSeen && !GetName().isEmpty() && !m_notes.empty() && !IsAllSilence();
}

bool CMelody::Save(QString pathIn)
{
    std::string target;
    bool fresh = false;  // a new name, taken once the file is whole
    if (pathIn.isEmpty())
        target = PathToStd(GetFilePath());
    else if (pathIn.endsWith(QLatin1Char('/')))
        target = PathToStd(pathIn + MakeFileSafeName(GetName()) + QStringLiteral(".MDY"));
    else
        target = PathToStd(pathIn);
    if (target.empty()) {
        target = GetMelodyDirectory();
        if (target.empty())
            return false;
        fresh = true;
    }

    // Written complete under a temporary name, then renamed over the old
    // file: a failed write never loses the melody that was there.
    std::string text = "NAME=" + QStringToPc(GetName()) + "\r\n";
    text += "TEMPO=" + std::to_string(m_nTempo) + "\r\n";
    for (const auto& note : m_notes) {
        const std::string line = note->GetText();
        if (!line.empty())
            text += line + "\r\n";
    }
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    if (fresh)
        target = WriteUnderFreshName(target, bytes);
    if (target.empty() || (!fresh && !WriteFileAtomically(target, bytes))) {
        WriteDebug("CMelody::Save -> write failed: ", target);
        return false;
    }
    SetFilePath(PathFromStd(target));
    m_strText2 = PathFromStd(GetFileNamePart(target));
    return true;
}

bool CMelody::Play(QObject* window, bool loop)
{
    Stop();
    m_bLoop = loop;
    if (!m_pPlayer)
        m_pPlayer = std::make_unique<CPcPlayer>(window);
    else
        m_pPlayer->SetNotify(window);

    auto midi = std::make_unique<CMidiFile>();
    if (midi->IsOpen()) {
        midi->WriteDivision(m_nTempo);
        midi->WriteTempo(m_nTempo);
        for (const auto& note : m_notes) {
            const int units = note->GetDurationMs(m_nTempo);
            if (note->IsSilence())
                midi->WriteSilence(units);
            else
                midi->WriteNote(note->GetKey(), units);
        }
        if (midi->FinishTrack() && m_pPlayer->PlayMidi(midi->GetPath(), loop)) {
            m_pPlayback = std::move(midi);
            return true;
        }
    }
    midi.reset();

    // Without the synthesizer, the notes still sound as plain tones.
    const double coef = GetTempoCoef();
    std::vector<PcTone> tones;
    for (const auto& note : m_notes) {
        note->Prepare();
        PcTone tone;
        tone.frequency = note->IsSilence() ? 0 : note->GetFrequency();
        tone.ms = static_cast<int>(note->GetDurationMs(m_nTempo) * coef);
        tones.push_back(tone);
    }
    if (m_pPlayer->PlayTones(tones, loop))
        return true;

    WriteDebug("CMelody::Play -> no audio output");
    UiMessageBoxId(31647);
    PostMessage(window, WM_MMI_MELODY_DONE);
    return false;
}

bool CMelody::Stop()
{
    if (m_pPlayer)
        m_pPlayer->Stop();
    // The audio thread is gone now; its file can go.
    m_pPlayback.reset();
    m_bLoop = false;
    return true;
}

bool CMelody::IsPlaying() const
{
    return m_pPlayer && m_pPlayer->IsPlaying();
}
