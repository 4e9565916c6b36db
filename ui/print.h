// Text reports on a printer or into a PDF file: a heading on every page,
// label/value lines, bullets, separator rules and wrapped text.
//
// One print job at a time (module state). A caller prints as:
//   PrintBegin; per entry PrintIsPageFull(PrintCountLines(...)) and, when
//   full, PrintNewPage; then PrintText, PrintBullet, separators; PrintEnd.
// While a job runs the main window is disabled and a small window shows the
// page number; events keep being handled between pages, and a second
// PrintBegin meanwhile is refused.
//
// Geometry is given in units of 1/600 inch and scaled to the device's
// resolution: left margin 468, value column 780 (layout 0) or 1024
// (layout 1) further right.
#pragma once

#include "dialog.h"

#include <QList>
#include <QRect>
#include <QString>

#include <functional>

class QPrinter;

// Starts a job through the print dialog; false when the user cancels, the
// document cannot be started or a job is already running.
bool PrintBegin(const QString& title, QWidget* parent, int layout = 0);
// Starts a job on a printer already set up (no dialog): a PDF file, say.
bool PrintBeginOn(QPrinter* printer, const QString& title, QWidget* parent, int layout = 0);
// Finishes (success) or abandons the job and releases everything.
void PrintEnd(bool success);

void PrintText(const QString& label, const QString& text);
void PrintWrapped(const QString& text);
void PrintBullet(const QString& text);
void PrintSeparator();
void PrintSeparatorSpaced();
int PrintCountLines(const QString& text);
bool PrintIsPageFull(int lines);
bool PrintNewPage();

// The state of the running job, for callers and tests.
bool PrintIsBusy();
int PrintCurrentLine();
int PrintPageNumber();
int PrintLinesPerPage();
// Device units per 1/600 inch of the running job.
double PrintScale();
// Where the last page heading wrote its title, line by line, and its date
// and page number, in device units (each box as wide as its text).
QList<QRect> PrintHeadingTitleBoxes();
QRect PrintHeadingStampBox();
// What the last job printed, in order: each bullet's text and each entry as
// label, tab, text (kept until the next job starts).
QStringList PrintJobTexts();

// Splits one line of text into printed lines no wider than `width` as
// `measure` counts it: breaks after the last blank that fits, else after
// the last character that fits, and always at least one character a line.
QStringList PrintSplitLine(const QString& text, int width, const std::function<int(const QString&)>& measure);

// The small window that shows the page being printed (template 240).
class CDlgPrinting : public CDialog {
    Q_OBJECT
public:
    explicit CDlgPrinting(QWidget* parent);
    void ShowPage(int page);
    QString PageText() const;
};
