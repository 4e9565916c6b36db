#include "mobileclock.h"

#include "at_defs.h"
#include "mtr_clock.h"
#include "zorqapp.h"

namespace {

std::string CurrentLanguage()
{
    CZorqMMIApp* app = CZorqMMIApp::Instance();
    return app ? app->GetLanguage() : std::string();
}

}  // namespace

CMobileClock::CMobileClock() : m_dateTime(QDateTime::currentDateTime()) {}

int CMobileClock::UpLoad()
{
    if (gv_SPIO_com_status != SPIO_com_available)
        return -1;

    // A phone that cannot tell its formats gets the ones its user most
    // likely reads: day first in French, the 12-hour clock in English.
    int32_t code = m_nDateFormat;
    if (mtr_CLK_get_date_format(&code) == MTR_DONE)
        m_nDateFormat = code;
    else if (CurrentLanguage() == "fra")
        m_nDateFormat = CLK_DATE_FMT_DMY;

    code = m_nTimeFormat;
    if (mtr_CLK_get_time_format(&code) == MTR_DONE)
        m_nTimeFormat = code;
    else if (CurrentLanguage() == "enu")
        m_nTimeFormat = CLK_TIME_FMT_12H;

    MTR_DATETIME when;
    if (mtr_CLK_get_clock(&when) == MTR_DONE) {
        m_dateTime = DateTimeFromEngine(when);
    } else {
        m_dateTime = QDateTime::currentDateTime();
        m_strText.clear();
    }
    Format();
    return 1;
}

QString CMobileClock::Format(const QDateTime& when, int dateFormat, int timeFormat)
{
    m_strText = FormatText(when.isValid() ? when : m_dateTime, dateFormat == -1 ? m_nDateFormat : dateFormat,
                           timeFormat == -1 ? m_nTimeFormat : timeFormat);
    return m_strText;
}

QString CMobileClock::FormatText(const QDateTime& when, int dateFormat, int timeFormat)
{
    int year = -1, month = -1, day = -1, hour = -1, minute = -1;
    if (when.isValid()) {
        year = when.date().year();
        month = when.date().month();
        day = when.date().day();
        hour = when.time().hour();
        minute = when.time().minute();
    }
    const auto two = [](int v) { return QString::asprintf("%2.2d", v); };

    QString date;
    switch (dateFormat) {
    case CLK_DATE_FMT_DMY:
        date = two(day) + "/" + two(month) + "/" + QString::number(year);
        break;
    case CLK_DATE_FMT_YMD:
        date = QString::number(year) + "/" + two(month) + "/" + two(day);
        break;
    default:
        date = two(month) + "/" + two(day) + "/" + QString::number(year);
        break;
    }

    QString time;
    if (timeFormat == CLK_TIME_FMT_12H && hour >= 0) {
        // Midnight is 12 AM and noon 12 PM; the afternoon counts 1 to 11 PM.
        const char* suffix = hour < 12 ? " AM" : " PM";
        int shown = hour % 12;
        if (shown == 0)
            shown = 12;
        time = two(shown) + ":" + two(minute) + suffix;
    } else if (timeFormat == CLK_TIME_FMT_12H) {
        time = two(hour) + ":" + two(minute) + " AM";
    } else {
        time = two(hour) + ":" + two(minute);
    }
    return date + " " + time;
}

QDateTime DateTimeFromEngine(const MTR_DATETIME& when)
{
    const QDate date(when.year, when.month, when.day);
    const QTime time(when.hour, when.minute, when.second);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time);
}

MTR_DATETIME DateTimeToEngine(const QDateTime& when)
{
    MTR_DATETIME out;
    if (!when.isValid())
        return out;
    out.year = when.date().year();
    out.month = when.date().month();
    out.day = when.date().day();
    out.hour = when.time().hour();
    out.minute = when.time().minute();
    out.second = when.time().second();
    return out;
}
