// The phone's date, time, date format and time format, set by the user.
// The time shown runs on with the PC's clock until the user edits it.
#pragma once

#include "dlgbase.h"
#include "mobileclock.h"
#include "phonechange.h"

#include <QString>

class CDateEdit;
class QComboBox;
class QLineEdit;

class CDlgDateTime : public CDlgBase {
    Q_OBJECT
public:
    explicit CDlgDateTime(QWidget* parent = nullptr);

    // How many date formats the phone offers, and the highest time-format
    // index it offers (0 for either: the usual three date formats and the
    // 24-hour clock only).
    void SetFormatCounts(int dateFormats, int timeFormatLimit);
    // Starts from the formats of that clock.
    void SetCurrentFormats(const CMobileClock& clock);
    // The clock as set by the last successful confirm.
    CMobileClock& GetClock() { return m_clock; }

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    void OnTimer(int id) override;
    void done(int result) override;

    int GetDateFormat() const { return m_nDateFormat; }
    int GetTimeFormat() const { return m_nTimeFormat; }
    CDateEdit* GetDateEdit() const { return m_pDateEdit; }
    // The phone did not answer one of the requests of a confirm: what it
    // holds may differ from what the dialog and its caller last showed.
    bool MetSilence() const { return m_bSilence; }

    // String of a time-format row: its own range, so that a phone offering
    // more time formats never shows a date-format text.
    static constexpr int kTimeFormatStrings = 31530;
    static constexpr int kDateFormatStrings = 31518;

protected:
    // Sends both formats to the phone; false (message shown) when refused.
    bool ApplyFormats();

private:
    void FillFormatCombos();
    // Tells what the phone was found to hold after a request it did not
    // answer; `what` names the value that was being written.
    static void TellSilence(const PhoneChangeResult& r, const QString& what);
    // Whether the phone's clock holds `asked`, set `sinceAskedMs` ago.
    static PhoneHolds ClockHolds(const QDateTime& asked, qint64 sinceAskedMs);
    static constexpr qint64 kClockToleranceSecs = 60;
    void ApplyDateOrder();

    CDateEdit* m_pDateEdit = nullptr;
    QString m_strTime;
    QLineEdit* m_editTime = nullptr;
    QComboBox* m_comboDate = nullptr;
    QComboBox* m_comboTime = nullptr;
    int m_nDateFormat = CLK_DATE_FMT_MDY;
    int m_nTimeFormat = CLK_TIME_FMT_24H;
    CMobileClock m_clock;
    int m_nDateFormats = 0;
    int m_nTimeFormatLimit = 0;

protected:
    // The second of the PC clock at the last tick.
    int m_nLastSecond = 0;

private:
    // The user typed in the time edit: the shown time no longer runs on.
    bool m_bTimeEdited = false;
    bool m_bSilence = false;
};
