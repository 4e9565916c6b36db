// The program's own pictures used by the melody screens.
#pragma once

#include "utilities.h"

#include <QIcon>
#include <QString>

// A picture compiled into the program, by its name ("IDI_MMELPLAY_PC") or
// number ("261").
inline QIcon MelodyIcon(const QString& name)
{
    return LoadAppIconByName(name);
}
