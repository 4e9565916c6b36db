// The program's help: one HTML document per language beside the program
// ("ZORQ" + code + ".html"), opened in the desktop's browser at the section
// of the screen the user is on. Each section's anchor is its help context.
#pragma once

#include <QString>
#include <QStringList>

// The help context of a kind of screen (ViewKind); "contents" for a kind
// without a section of its own.
QString HelpContextOfView(int viewKind);
// Every help context the program may ask the document for.
QStringList AllHelpContexts();
// Asks the desktop to open the help document at `context`. False when there
// is no help document or the desktop could not open it; the user is then
// told so by a message that names the document.
bool OpenHelp(const QString& context);

// The menu text of the About command: string 31458 with the product name,
// followed by the ellipsis of a command that opens a dialog.
QString AboutMenuText();
