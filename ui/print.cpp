#include "print.h"

#include "uiservices.h"
#include "uitext.h"

#include <QApplication>
#include <QDateTime>
#include <QFontMetrics>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include <memory>

namespace {

constexpr int kPageString = 31417;     // "page %1" of the printing window
constexpr int kHeadingString = 31370;  // date and time %1, page %2
constexpr int kDocString = 31371;      // the document's name

// Geometry in 1/600 inch.
constexpr int kMargin = 468;
constexpr int kBothMargins = 936;
constexpr int kRuleEnd = 1600;

struct PrintJob {
    QPrinter* printer = nullptr;
    std::unique_ptr<QPrinter> ownPrinter;
    std::unique_ptr<QPainter> painter;
    QWidget* window = nullptr;  // the main window, disabled meanwhile
    CDlgPrinting* progress = nullptr;
    QString title;
    double scale = 1.0;
    int valueIndent = 780;
    int lineHeight = 1;
    int pageWidth = 1;
    int linesPerPage = 1;
    int line = 0;
    int page = 1;
    QFont normal, label, heading;
    bool busy = false;
    QStringList texts;  // the entry texts printed, in order
    QList<QRect> titleBoxes;  // the last heading's title lines
    QRect stampBox;           // and its date and page
    // The values' font measured on the printer, made once per job: a long
    // text is measured a few times per line.
    std::unique_ptr<QFontMetrics> normalMetrics;
};

PrintJob g_job;

int U(int units) { return static_cast<int>(units * g_job.scale + 0.5); }
int Y() { return g_job.line * g_job.lineHeight; }

QFont MakeFont(int points, bool bold, QPaintDevice* device)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(points);
    f.setBold(bold);
    return QFont(f, device);
}

int TextWidth(const QFont& font, const QString& text)
{
    if (g_job.normalMetrics && font == g_job.normal)
        return g_job.normalMetrics->horizontalAdvance(text);
    return QFontMetrics(font, g_job.printer).horizontalAdvance(text);
}

void KeepInterfaceAlive()
{
    // The interface stays painted while pages are produced; a second job
    // asked for meanwhile is refused by the busy flag.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void PrintHeading()
{
    QPainter& p = *g_job.painter;
    g_job.line += 3;
    p.setFont(g_job.label);
    const QString stamp = UiDateTimeText(QDateTime::currentDateTime());
    const QString right = UiFormatString(kHeadingString, {stamp, QString::number(g_job.page)});
    const int right_end = g_job.pageWidth - U(kMargin);
    const int stampWidth = TextWidth(g_job.label, right);
    p.drawText(0, Y(), right_end, g_job.lineHeight * 2, Qt::AlignRight | Qt::AlignTop, right);
    g_job.stampBox = QRect(right_end - stampWidth, Y(), stampWidth, g_job.lineHeight);
    // The title keeps clear of the date and page: beside them while there
    // is room (a long title goes on over further lines of that width), or
    // under them across the page when they leave too little (a narrow page).
    p.setFont(g_job.heading);
    const QFont heading = g_job.heading;
    auto measure = [&](const QString& s) { return TextWidth(heading, s); };
    const int beside = right_end - stampWidth - U(120) - U(kMargin);
    int titleWidth = beside;
    int top = Y();
    if (measure(g_job.title) > beside && beside < U(1200)) {
        titleWidth = right_end - U(kMargin);
        g_job.line += 1;
        top = Y();
    }
    const QStringList lines = PrintSplitLine(g_job.title, std::max(1, titleWidth), measure);
    const int titleLine = QFontMetrics(heading, g_job.printer).height();
    g_job.titleBoxes.clear();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QRect box(U(kMargin), top + static_cast<int>(i) * titleLine, titleWidth, titleLine);
        p.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, lines[i]);
        g_job.titleBoxes << QRect(box.topLeft(), QSize(TextWidth(heading, lines[i]), titleLine));
    }
    // The rule goes under the title's last line.
    if (lines.size() > 1)
        g_job.line += (static_cast<int>(lines.size() - 1) * titleLine + g_job.lineHeight - 1) / g_job.lineHeight;
    p.setFont(g_job.normal);
    g_job.line += 1;
    p.setPen(QPen(Qt::black, std::max(1, U(10))));
    const int mid = Y() + g_job.lineHeight / 2;
    p.drawLine(U(kMargin), mid, g_job.pageWidth - U(kMargin), mid);
    p.setPen(QPen(Qt::black, std::max(1, U(4))));
    g_job.line += 1;
    g_job.line += 2;
}

void ReleaseJob()
{
    g_job.normalMetrics.reset();
    g_job.painter.reset();
    if (g_job.progress) {
        g_job.progress->close();
        delete g_job.progress;
        g_job.progress = nullptr;
    }
    if (g_job.window)
        g_job.window->setEnabled(true);
    g_job.window = nullptr;
    g_job.ownPrinter.reset();
    g_job.printer = nullptr;
    g_job.busy = false;
}

}  // namespace

QStringList PrintSplitLine(const QString& text, int width, const std::function<int(const QString&)>& measure)
{
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype pos = 0;
    while (pos < n) {
        // Only about one line's worth of text is measured for each line: a
        // window that doubles until it no longer fits (or holds the rest),
        // so a long text costs about its own length, not its length times
        // the number of its lines.
        qsizetype fit = 0, over = -1;
        for (qsizetype span = 64;; span *= 2) {
            const qsizetype len = std::min(span, n - pos);
            if (measure(text.mid(pos, len)) > width) {
                over = len;
                break;
            }
            fit = len;
            if (len == n - pos)
                break;
        }
        if (over < 0) {
            lines << text.mid(pos);
            break;
        }
        // The longest leading part that fits.
        qsizetype lo = fit + 1, hi = over - 1;
        while (lo <= hi) {
            const qsizetype mid = (lo + hi) / 2;
            if (measure(text.mid(pos, mid)) <= width) {
                fit = mid;
                lo = mid + 1;
            } else {
                hi = mid - 1;
            }
        }
        // At least one character a line, so a narrow page still ends.
        fit = std::max<qsizetype>(fit, 1);
        qsizetype cut = fit;
        const qsizetype blank = text.mid(pos, fit + 1).lastIndexOf(' ');
        if (blank > 0)
            cut = blank;
        lines << text.mid(pos, cut);
        pos += cut;
        if (pos < n && text[pos] == QLatin1Char(' '))
            ++pos;
    }
    if (lines.isEmpty())
        lines << QString();
    return lines;
}

bool PrintBegin(const QString& title, QWidget* parent, int layout)
{
    if (g_job.busy)
        return false;
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrintDialog dlg(printer.get(), parent);
    dlg.setOption(QAbstractPrintDialog::PrintToFile, true);
    dlg.setOption(QAbstractPrintDialog::PrintSelection, false);
    dlg.setOption(QAbstractPrintDialog::PrintPageRange, false);
    g_job.busy = true;  // the dialog runs its own event loop
    const int answer = dlg.exec();
    g_job.busy = false;
    if (answer != QDialog::Accepted)
        return false;
    if (!PrintBeginOn(printer.get(), title, parent, layout))
        return false;
    g_job.ownPrinter = std::move(printer);
    return true;
}

bool PrintBeginOn(QPrinter* printer, const QString& title, QWidget* parent, int layout)
{
    if (g_job.busy || !printer)
        return false;
    g_job.busy = true;
    g_job.printer = printer;
    g_job.title = title;
    g_job.texts.clear();
    if (layout == 0)
        g_job.valueIndent = 780;
    else if (layout == 1)
        g_job.valueIndent = 1024;
    printer->setDocName(UiLoadAppString(kDocString));
    g_job.painter = std::make_unique<QPainter>();
    if (!g_job.painter->begin(printer)) {
        ReleaseJob();
        return false;
    }
    g_job.scale = printer->resolution() / 600.0;
    g_job.normal = MakeFont(10, false, printer);
    g_job.label = MakeFont(10, true, printer);
    g_job.heading = MakeFont(12, true, printer);
    g_job.painter->setFont(g_job.normal);
    const QFontMetrics fm(g_job.normal, printer);
    g_job.normalMetrics = std::make_unique<QFontMetrics>(g_job.normal, printer);
    g_job.lineHeight = std::max(1, fm.height() + fm.leading());
    g_job.pageWidth = std::max(1, printer->width());
    g_job.linesPerPage = std::max(1, printer->height() / g_job.lineHeight);
    g_job.page = 1;
    g_job.line = 0;

    g_job.window = parent ? parent->window() : nullptr;
    if (g_job.window)
        g_job.window->setEnabled(false);
    g_job.progress = new CDlgPrinting(parent);
    g_job.progress->ShowPage(1);
    PrintHeading();
    KeepInterfaceAlive();
    return true;
}

void PrintEnd(bool success)
{
    if (!g_job.busy || !g_job.painter)
        return;
    if (success)
        g_job.painter->end();
    else if (g_job.printer)
        g_job.printer->abort();
    ReleaseJob();
}

void PrintText(const QString& label, const QString& text)
{
    if (!g_job.painter || text.isEmpty())
        return;
    QPainter& p = *g_job.painter;
    p.setFont(g_job.label);
    p.drawText(U(kMargin), Y(), U(g_job.valueIndent), g_job.lineHeight, Qt::AlignLeft | Qt::AlignTop, label);
    g_job.texts.append(label + QLatin1Char('\t') + text);
    p.setFont(g_job.normal);
    for (const QString& piece : text.split(QStringLiteral("\r\n")))
        PrintWrapped(piece);
}

void PrintWrapped(const QString& text)
{
    if (!g_job.painter)
        return;
    const int x = U(kMargin + g_job.valueIndent);
    const int avail = std::max(1, g_job.pageWidth - U(kBothMargins + g_job.valueIndent));
    const QFont font = g_job.normal;
    const QStringList lines =
        PrintSplitLine(text, avail, [&](const QString& s) { return TextWidth(font, s); });
    for (const QString& l : lines) {
        // A text longer than what is left of the page goes on over the
        // next pages instead of running off the paper.
        if (g_job.line + 1 > g_job.linesPerPage && !PrintNewPage())
            return;
        g_job.painter->drawText(x, Y(), avail + U(kMargin), g_job.lineHeight,
                                Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, l);
        g_job.line += 1;
    }
}

void PrintBullet(const QString& text)
{
    if (!g_job.painter)
        return;
    QPainter& p = *g_job.painter;
    const int h = g_job.lineHeight;
    p.setBrush(Qt::black);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRect(QPoint(U(kMargin), Y() + h / 2), QPoint(U(kMargin) + h / 3, Y() + 5 * h / 6)));
    p.setPen(QPen(Qt::black, std::max(1, U(4))));
    p.setBrush(Qt::NoBrush);
    p.setFont(g_job.heading);
    p.drawText(U(kMargin) + 2 * h / 3, Y(), g_job.pageWidth, h * 2, Qt::AlignLeft | Qt::AlignTop, text);
    g_job.texts.append(text);
    p.setFont(g_job.normal);
    g_job.line += 1;
}

void PrintSeparator()
{
    if (!g_job.painter)
        return;
    g_job.line += 1;
    g_job.painter->setPen(QPen(Qt::black, std::max(1, U(4))));
    g_job.painter->drawLine(U(kMargin), Y(), g_job.pageWidth - U(kRuleEnd), Y());
    g_job.line += 1;
}

void PrintSeparatorSpaced()
{
    if (!g_job.painter)
        return;
    PrintSeparator();
    g_job.line += 2;
}

int PrintCountLines(const QString& text)
{
    if (text.isEmpty() || !g_job.painter)
        return 0;
    const int avail = std::max(1, g_job.pageWidth - U(kBothMargins + g_job.valueIndent));
    const QFont font = g_job.normal;
    int lines = 0;
    for (const QString& piece : text.split(QStringLiteral("\r\n")))
        lines += static_cast<int>(
            PrintSplitLine(piece, avail, [&](const QString& s) { return TextWidth(font, s); }).size());
    return lines;
}

bool PrintIsPageFull(int lines) { return g_job.line + lines + 4 > g_job.linesPerPage; }

bool PrintNewPage()
{
    if (!g_job.painter)
        return false;
    if (!g_job.printer->newPage()) {
        g_job.printer->abort();
        return false;
    }
    g_job.page += 1;
    if (g_job.progress)
        g_job.progress->ShowPage(g_job.page);
    g_job.line = 0;
    PrintHeading();
    KeepInterfaceAlive();
    return true;
}

bool PrintIsBusy() { return g_job.busy; }
int PrintCurrentLine() { return g_job.line; }
int PrintPageNumber() { return g_job.page; }
int PrintLinesPerPage() { return g_job.linesPerPage; }
double PrintScale() { return g_job.scale; }
QList<QRect> PrintHeadingTitleBoxes() { return g_job.titleBoxes; }
QRect PrintHeadingStampBox() { return g_job.stampBox; }

// ---------------------------------------------------------------- window

CDlgPrinting::CDlgPrinting(QWidget* parent) : CDialog(240, parent)
{
    setModal(false);
    if (CreateFromTemplate()) {
        OnInitDialog();
        CenterWindow();
        show();
    }
}

void CDlgPrinting::ShowPage(int page)
{
    SetDlgItemText(1133, UiFormatString(kPageString, {QString::number(page)}));
}

QString CDlgPrinting::PageText() const { return GetDlgItemText(1133); }

QStringList PrintJobTexts() { return g_job.texts; }
