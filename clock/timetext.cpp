#include "timetext.h"

#include <QRegularExpression>

bool ParseDateText(const QString& text, QDateTime* dateTime)
{
    static const QRegularExpression kTime(QStringLiteral("^\\s*(\\d{1,2})[-:/. ](\\d{1,2})\\s*$"));
    const QRegularExpressionMatch m = kTime.match(text);
    if (!m.hasMatch())
        return false;
    const int hour = m.captured(1).toInt();
    const int minute = m.captured(2).toInt();
    // Hour 24 is not a time of day the phone can hold.
    if (hour > 23 || minute > 59)
        return false;
    if (dateTime) {
        QDate date = dateTime->isValid() ? dateTime->date() : QDate::currentDate();
        *dateTime = QDateTime(date, QTime(hour, minute, 0));
    }
    return true;
}

bool CheckDateText(const QString& text) { return ParseDateText(text, nullptr); }

QString FormatHourMinute(const QDateTime& when)
{
    return QString::asprintf("%2.2d:%2.2d", when.time().hour(), when.time().minute());
}
