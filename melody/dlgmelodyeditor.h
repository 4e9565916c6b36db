// The melody editor: a name, the notes in a letter notation and a tempo
// slider; plays the melody on the PC and saves it as a ".MDY" file in the
// melody folder.
//
// Notation: c d e f g a b are notes of one beat, C D E F G A B of two, in
// the base octave; '#' raises the note before it a semitone, '+' and '-' an
// octave, a digit sets its octave; any other character is a pause of one
// beat ("p"). Two pauses close every melody.
#pragma once

#include "dlgbase.h"
#include "note.h"

#include <memory>

class CMelody;
class CMelodyList;
class QLineEdit;
class QPushButton;
class QSlider;

class CDlgMelodyEditor : public CDlgBase {
    Q_OBJECT
public:
    struct Limits {
        int nameMax = 10;
        int tempoMin = 1;
        int tempoMax = 1000;
        int baseOctave = 4;
        // The longest notes text the phone keeps (0: no limit), see
        // CMelody::NotesWithinText.
        int notesTextMax = 0;
        int lowOctave = 3;
        int highOctave = 6;
        char lowNote = 'F';
        char highNote = 'C';
    };

    // With a melody the dialog edits it; without, it creates a new one.
    CDlgMelodyEditor(QWidget* parent, CMelody* melody, const Limits& limits, CMelodyList* list);
    ~CDlgMelodyEditor() override;

    // The edited or created melody (the dialog's own for a new one).
    CMelody* GetMelody() const { return m_pMelody; }
    bool IsPlaying() const { return m_nPlaying == 2; }

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    void OnCancel() override;
    void OnCommand(int id) override;

    void OnPlay();
    void StopPlay();

    // Reads the notes text into the melody; false (after the message) when
    // the melody has more notes than the phone takes.
    bool ReadNotes(const QString& text);
    void ReadTempo();

    QString m_strName;
    QString m_strNotes;

protected:
    bool event(QEvent* e) override;

private:
    void UpdateOkPlay();
    void ResetPlayButton();

    Limits m_limits;
    bool m_bModify = false;
    bool m_bNotesEditable = true;
    bool m_bTempoEditable = true;
    int m_nPlaying = 0;
    CNote m_lowest, m_highest;
    CMelody* m_pMelody = nullptr;
    std::unique_ptr<CMelody> m_pOwned;
    CMelodyList* m_pList = nullptr;
    QString m_strOldName;
    QString m_strOldPath;
    QLineEdit* m_editName = nullptr;
    QLineEdit* m_editNotes = nullptr;
    QSlider* m_slider = nullptr;
    QPushButton* m_btnPlay = nullptr;
};
