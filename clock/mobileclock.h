// One reading of the phone's clock with the phone's date and time display
// formats, and the one-line text the set-up screens show for it: the date, a
// blank, the time.
#pragma once

#include <QDateTime>
#include <QString>

#include "mtr_datetime.h"

// The phone's date formats (the engine's ~MDAF codes).
enum CLK_DATE_FMT { CLK_DATE_FMT_DMY = 0, CLK_DATE_FMT_MDY = 1, CLK_DATE_FMT_YMD = 2 };
// The phone's time formats (the engine's ~MTIF codes).
enum CLK_TIME_FMT { CLK_TIME_FMT_12H = 0, CLK_TIME_FMT_24H = 1 };

class CMobileClock {
public:
    CMobileClock();
    virtual ~CMobileClock() = default;

    // Reads the two formats and the clock from the phone and rebuilds the
    // text. 1 when it ran, -1 (nothing changed) without a link.
    int UpLoad();

    // Builds the text from the given values; an invalid date-time argument
    // or an index of -1 takes the clock's own value. The text is stored and
    // a copy returned.
    QString Format(const QDateTime& when = QDateTime(), int dateFormat = -1, int timeFormat = -1);
    // The text built last.
    const QString& GetText() const { return m_strText; }

    void SetDateTime(const QDateTime& when) { m_dateTime = when; }
    const QDateTime& GetDateTime() const { return m_dateTime; }
    void SetDateFormat(int format) { m_nDateFormat = format; }
    void SetTimeFormat(int format) { m_nTimeFormat = format; }
    int GetDateFormat() const { return m_nDateFormat; }
    int GetTimeFormat() const { return m_nTimeFormat; }

    // The text of a date-time in the given formats; an invalid date-time
    // prints -1 for each of its fields.
    static QString FormatText(const QDateTime& when, int dateFormat, int timeFormat);

private:
    QString m_strText;
    QDateTime m_dateTime;
    int m_nDateFormat = CLK_DATE_FMT_MDY;
    int m_nTimeFormat = CLK_TIME_FMT_24H;
};

// Between the engine's date-time and the screens' one. An engine date-time
// that is no calendar time (the zero date, 30 February) gives an invalid one.
QDateTime DateTimeFromEngine(const MTR_DATETIME& when);
MTR_DATETIME DateTimeToEngine(const QDateTime& when);
