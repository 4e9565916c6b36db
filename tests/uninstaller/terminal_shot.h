// The walk-through of a terminal program: what it wrote on its terminal,
// rendered as an 80-column terminal window shows it (fixed-width characters,
// long lines wrapped at the edge) into the walk-through's screens folder.
#pragma once

#include "walkthrough.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QTextBlock>

#include <cmath>

#include <string>

namespace zorqtest {

namespace detail {
// A plain text view that tells where its text ends.
class TerminalView : public QPlainTextEdit {
public:
    explicit TerminalView(int margin) { setViewportMargins(margin, margin, margin, margin); }
    int TextBottom() const
    {
        const QTextBlock last = document()->lastBlock();
        return static_cast<int>(std::ceil(blockBoundingGeometry(last).translated(contentOffset()).bottom()));
    }
};
}  // namespace detail

inline QString SaveTerminal(const std::string& shown, const QString& name)
{
    constexpr int kColumns = 80;
    QString text = QString::fromLocal8Bit(shown.data(), static_cast<qsizetype>(shown.size()));
    text.remove(QLatin1Char('\r'));
    // The terminal wraps a long line at its edge, whatever the characters.
    QStringList rows;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        rows << line.left(kColumns);
        for (qsizetype at = kColumns; at < line.size(); at += kColumns)
            rows << line.mid(at, kColumns);
    }
    while (!rows.isEmpty() && rows.last().isEmpty())
        rows.removeLast();
    const int margin = 8;
    detail::TerminalView terminal(margin);
    terminal.setReadOnly(true);
    terminal.setFrameShape(QFrame::NoFrame);
    terminal.setLineWrapMode(QPlainTextEdit::NoWrap);
    terminal.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    terminal.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(10);
    terminal.setFont(mono);
    QPalette pal = terminal.palette();
    pal.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
    pal.setColor(QPalette::Window, QColor(0x1E, 0x1E, 0x1E));
    pal.setColor(QPalette::Text, QColor(0xE0, 0xE0, 0xE0));
    terminal.setPalette(pal);
    terminal.setPlainText(rows.join(QLatin1Char('\n')));
    // 80 columns wide, and as tall as its rows once they are laid out.
    terminal.resize(terminal.fontMetrics().horizontalAdvance(QString(kColumns, QLatin1Char('M'))) + 3 * margin,
                    static_cast<int>(rows.size() + 2) * terminal.fontMetrics().lineSpacing() * 2);
    terminal.show();
    QCoreApplication::processEvents();
    terminal.resize(terminal.width(), terminal.TextBottom() + 3 * margin);
    return SaveScreen(&terminal, name);
}

}  // namespace zorqtest
