// One ringtone as the program holds it: a name, a tempo, a slot in the
// phone and the notes. Its three text forms are the phone's header and notes
// strings, the ".MDY" file and the note lines shared by both.
//
// The item members of the object list hold: the display name (the melody
// name), the second text (the file name of its ".MDY" file), the file path
// and the index (the phone slot, -1 for a melody that is not in the phone).
#pragma once

#include "note.h"
#include "objectlist.h"

#include <QString>

#include <memory>
#include <string>
#include <vector>

class CMidiFile;
class CPcPlayer;
class QObject;

class CMelody : public CObjectListItem {
public:
    CMelody();
    ~CMelody() override;
    CMelody(const CMelody&) = delete;
    CMelody& operator=(const CMelody&) = delete;

    // Empties the melody (stopping its playback first): no name, no notes,
    // the profile's tempo, octave 4.
    void Reset();
    // Takes the other melody's strings, slot, tempo and notes. Playback state
    // is never shared: the copy starts idle.
    void CopyFrom(const CMelody* other);

    void RemoveNotes();
    // Appends the note and takes it over.
    void AddNote(CNote* note);
    CNote* GetFirstNote();
    CNote* GetNextNote();
    const CNote* GetNoteAt(int i) const;
    int GetNoteCount() const { return static_cast<int>(m_notes.size()); }

    int GetTempo() const { return m_nTempo; }
    void SetTempo(int tempo);
    // A tempo outside 1..999 becomes the profile's Melody/Tempo, or 500.
    void CheckTempo();
    int GetLength() const { return m_nLength; }
    int GetDefaultOctave() const { return m_nDefaultOctave; }
    void SetDefaultOctave(int octave) { m_nDefaultOctave = octave > 0 ? octave : 4; }
    int GetPhoneIndex() const;
    void SetPhoneIndex(int index);
    QString GetMelodyName() const { return GetName(); }
    // The file name without its folder.
    QString GetFileName() const { return m_strText2; }

    // The first n notes (all for -1) in the editor's letter notation; empty
    // as soon as one note has no short form.
    std::string MakeEditorText(int n) const;
    bool IsAllSilence() const;
    bool IsLastNoteSilence() const;
    bool AreAllNotesRelative() const;
    // Same notes, in order, over the first n pairs (all for -1); name and
    // tempo do not count.
    bool IsSameNotes(const CMelody* other, int n) const;
    // Appends one beat of silence.
    void AddSilence();

    // Phone strings: "3,\"Tango\",120" (without the index when it is -1);
    // empty for a melody without name or with a negative tempo.
    std::string MakeHeaderString() const;
    // "\"Tango\",120,1": the header without index and the loop flag.
    std::string MakePlayHeaderString(bool loop);
    // The note texts separated by blanks, a CR before the token that would
    // pass each further 160 characters; the first maxNotes notes (-1 all).
    std::string MakeNotesString(int maxNotes) const;
    // The phone limits a melody by the length of its notes text as it keeps
    // it: the note texts joined by single blanks (the line breaks of the
    // pieces do not count). How many of the first notes fit in `textMax`
    // characters; all of them when textMax is 0 or less.
    int NotesWithinText(int textMax) const;
    // Reads index, name and tempo from a phone header; false when the index
    // or the name is missing.
    bool InitHeaderWithString(const std::string& header);
    // Appends the notes of a phone notes string; true when the melody has
    // notes afterwards.
    bool AnalyseNote(const std::string& notes);

    // The ".MDY" file. Load: empty path means the melody's own file; false
    // when the file cannot be read, or has no name, no notes or only
    // silences. Save: empty path means the melody's own file (a new unique
    // name in the melody folder when it has none), a path ending in '/' the
    // melody's name + ".MDY" in that folder. The file is written complete
    // under a temporary name and then renamed over the old one.
    bool Load(QString path) override;
    bool Save(QString path) override;
    int GetImage() const override { return -1; }
    bool CanTrash() const override { return true; }
    bool CanModify() const override { return true; }

    // Plays the melody on the PC; `window` receives WM_MMI_MELODY_DONE when
    // it ends or is stopped. When nothing can play, message 31647 is shown,
    // the done message posted and false returned.
    bool Play(QObject* window, bool loop);
    // Ends PC playback at once (waiting for the audio thread). True when the
    // melody is stopped afterwards.
    bool Stop();
    bool IsPlaying() const;


private:
    std::vector<std::unique_ptr<CNote>> m_notes;
    size_t m_nIterator = 0;
    int m_nTempo = 500;
    int m_nLength = 0;
    int m_nDefaultOctave = 4;
    bool m_bLoop = false;
    std::unique_ptr<CMidiFile> m_pPlayback;
    std::unique_ptr<CPcPlayer> m_pPlayer;
};
