// Helpers that put the components' own widgets where a dialog template has
// plain controls, and find the program's icons by name.
#pragma once

#include <QIcon>
#include <QString>

class QWidget;

// Puts `replacement` in the place of `placeholder` (same parent, geometry,
// layout slot and object name) and removes the placeholder. False when the
// placeholder is missing.
bool UiReplaceWidget(QWidget* placeholder, QWidget* replacement);

// An icon of the program by resource name ("IDI_MENU_PC") or number: from
// the language bundle, the program's compiled resources or the Res folder.
// A null icon when there is none.
QIcon UiLoadIcon(const QString& name);
