// The phone's date, time, date format and time format, set by the user.
// The time shown runs on with the PC's clock until the user edits it.
#pragma once

#include "dlgbase.h"
#include "mobileclock.h"

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

    // String of a time-format row: its own range, so that a phone offering
    // more time formats never shows a date-format text.
    static constexpr int kTimeFormatStrings = 31530;
    static constexpr int kDateFormatStrings = 31518;

protected:
    // Sends both formats to the phone; false (message shown) when refused.
    bool ApplyFormats();

private:
    void FillFormatCombos();
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
};
