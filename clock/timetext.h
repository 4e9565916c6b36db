// Times of day as the clock dialogs show and take them: "hh:mm".
#pragma once

#include <QDateTime>
#include <QString>

// Reads a time of day typed by the user: hour and minute separated by any of
// "-:/." or a blank, hours 0-23 and minutes 0-59. On success the date-time
// keeps its year, month and day and gets that hour and minute, seconds 0.
// With a null date-time the text is only checked.
bool ParseDateText(const QString& text, QDateTime* dateTime);
// Whether ParseDateText takes the text.
bool CheckDateText(const QString& text);
// Hour and minute, two digits each, joined by ":".
QString FormatHourMinute(const QDateTime& when);
