// The melodies behind one list of the melody screen: the phone's, or the
// ".MDY" files of the melody folder.
#pragma once

#include "melody.h"
#include "objectlist.h"

class CMelodyList : public CQXObjectList {
public:
    CMelodyList() = default;

    // Empties the list and loads every matching file of the folder; `notify`
    // is told the count after each file. Always true.
    bool LoadMelodyFolder(const QString& folder, const QString& pattern, QObject* notify);
    // One ".MDY" file, inserted by name. An unreadable file is left out; a
    // melody whose name is listed already is dropped (false).
    bool LoadFile(QString folder, QString fileName) override;
    // Position of the first melody with the same notes (over noteCount
    // notes, all for -1); -1 when none. Names and tempo do not count.
    int IndexOf(const CMelody* melody, int noteCount) const;
    CMelody* GetMelodyAt(int index) const { return static_cast<CMelody*>(GetAt(index)); }

    int m_nDefaultOctave = 4;
};
