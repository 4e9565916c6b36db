#include "melodylist.h"

#include "uiservices.h"

#include <QFile>

bool CMelodyList::LoadMelodyFolder(const QString& folder, const QString& pattern, QObject* notify)
{
    return LoadFolder(folder, pattern, notify);
}

bool CMelodyList::LoadFile(QString folder, QString fileName)
{
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    auto melody = std::make_unique<CMelody>();
    melody->SetDefaultOctave(m_nDefaultOctave);
    if (!melody->Load(folder + fileName)) {
        // Listed but not readable as a melody: the user hears which file.
        UiReportFileOnce(kFileUnreadable, QFile::encodeName(folder + fileName).toStdString());
        return false;
    }
    if (AddSorted(melody.get()) < 0)
        return false;
    melody.release();  // the list owns it now
    return true;
}

int CMelodyList::IndexOf(const CMelody* melody, int noteCount) const
{
    int index = 0;
    for (const CObjectListItem* item : GetItems()) {
        if (static_cast<const CMelody*>(item)->IsSameNotes(melody, noteCount))
            return index;
        ++index;
    }
    return -1;
}
