// Running a data application: the phone link is released first (the
// program needs the serial port), then the program starts; its help and
// its modem file are handled for entries of type 0.
#pragma once

#include "dataobj.h"

#include <QUrl>

// Stops the indications and closes the port; the link counts as gone.
void ReleasePhoneLink();

// Starts the entry's program (argument vector from its stored arguments)
// and has WM_MMI_APP_ENDED posted when it ends. The link is released before
// the start; when the program cannot start, the document's flag stays 0
// and false is returned (the caller re-establishes the link and says so).
bool RunDataApplication(CDataObj& entry);

// Modem file of the entry: state 1 copies it from the files folder into the
// copy path (relative paths from the program's folder), state 2 opens it in
// the desktop's text editor. A failed copy is only traced.
void ManageModemFile(const CDataObj& entry);

// The data applications' help as the desktop opens it: "FD" + language code
// + ".html" in the program folder, at the place the entry's help command
// names (its text after a leading viewer switch such as "-i"). Empty when
// the entry has no help command.
QUrl DataHelpUrl(const CDataObj& entry);
