#include "dlgdatetime.h"

#include "calendar.h"
#include "dateedit.h"
#include "timetext.h"
#include "waitcursor.h"

#include "at_defs.h"
#include "mtr_clock.h"
#include "phonechange.h"
#include "silentwrite.h"
#include "uiservices.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>

CDlgDateTime::CDlgDateTime(QWidget* parent) : CDlgBase(221, parent) { ClearStyleFlag(); }

void CDlgDateTime::SetFormatCounts(int dateFormats, int timeFormatLimit)
{
    m_nDateFormats = dateFormats;
    m_nTimeFormatLimit = timeFormatLimit;
}

void CDlgDateTime::SetCurrentFormats(const CMobileClock& clock)
{
    m_nDateFormat = clock.GetDateFormat();
    m_nTimeFormat = clock.GetTimeFormat();
}

void CDlgDateTime::DoDataExchange(CDataExchange* pDX)
{
    CDlgBase::DoDataExchange(pDX);
    DDX_Text(pDX, 1041, m_strTime);
    DDX_Control(pDX, 1041, m_editTime);
    DDX_Control(pDX, 1042, m_comboDate);
    DDX_Control(pDX, 1043, m_comboTime);
}

bool CDlgDateTime::OnInitDialog()
{
    CDlgBase::OnInitDialog();
    CenterWindow();
    UpdateData(true);  // binds the controls
    if (m_editTime) {
        m_editTime->setMaxLength(5);
        connect(m_editTime, &QLineEdit::textEdited, this, [this] { m_bTimeEdited = true; });
    }
    {
        CWaitCursor wait;
        m_pDateEdit = CDateEdit::ReplaceTemplateEdit(GetDlgItem(1040));
        if (m_pDateEdit)
            m_pDateEdit->SetShortYear(false);
        FillFormatCombos();
    }
    ApplyDateOrder();
    if (m_comboDate)
        connect(m_comboDate, &QComboBox::currentIndexChanged, this, [this] { ApplyDateOrder(); });

    const QDateTime now = QDateTime::currentDateTime();
    m_strTime = FormatHourMinute(now);
    m_nLastSecond = now.time().second();
    SetTimer(1, 1000);
    UpdateData(false);

    AddToolTip(1040, 31601);
    AddToolTip(1041, 31602);
    AddToolTip(1042, 31603);
    AddToolTip(1043, 31604);
    return true;
}

void CDlgDateTime::FillFormatCombos()
{
    if (m_nDateFormats == 0)
        m_nDateFormats = 3;
    if (m_nTimeFormatLimit == 0)
        m_nTimeFormatLimit = 1;
    if (m_comboDate) {
        m_comboDate->clear();
        for (int row = 0; row < m_nDateFormats; ++row)
            m_comboDate->addItem(UiLoadString(kDateFormatStrings + row));
        m_comboDate->setCurrentIndex(m_nDateFormat >= 0 && m_nDateFormat < m_comboDate->count() ? m_nDateFormat : 0);
    }
    if (m_comboTime) {
        m_comboTime->clear();
        // A phone with the one 24-hour clock gets that one row.
        const int first = m_nTimeFormatLimit == 1 ? CLK_TIME_FMT_24H : 0;
        for (int index = first; index <= m_nTimeFormatLimit; ++index)
            m_comboTime->addItem(UiLoadString(kTimeFormatStrings + index), index);
        const int row = m_comboTime->findData(m_nTimeFormat);
        m_comboTime->setCurrentIndex(row >= 0 ? row : 0);
    }
}

void CDlgDateTime::ApplyDateOrder()
{
    if (m_pDateEdit && m_comboDate && m_comboDate->currentIndex() >= 0)
        m_pDateEdit->SetDateOrder(m_comboDate->currentIndex());
}

void CDlgDateTime::OnTimer(int id)
{
    if (id != 1)
        return;
    const QDateTime now = QDateTime::currentDateTime();
    const int second = now.time().second();
    const bool fullMinute = second < m_nLastSecond;  // the PC clock passed a full minute
    m_nLastSecond = second;
    if (!fullMinute || m_bTimeEdited)
        return;
    QDateTime shown(now.date(), QTime(0, 0));
    if (ParseDateText(m_strTime, &shown)) {
        m_strTime = FormatHourMinute(shown.addSecs(60));
        if (m_editTime)
            m_editTime->setText(m_strTime);
    }
}

void CDlgDateTime::OnOK()
{
    UpdateData(true);
    if (!CheckDateText(m_strTime)) {
        UiMessageBoxId(31600);
        if (m_editTime) {
            m_editTime->setFocus();
            m_editTime->selectAll();
        }
        return;
    }
    if (!ApplyFormats())
        return;

    int year = 0, month = 0, day = 0;
    if (m_pDateEdit)
        m_pDateEdit->GetDate(year, month, day);
    QDateTime when(QDate(year, month, day), QTime(0, 0));
    if (!when.isValid() || !ParseDateText(m_strTime, &when)) {
        UiMessageBoxId(31640);
        return;
    }
    PhoneChangeResult r;
    {
        CWaitCursor wait;
        const MTR_DATETIME asked = DateTimeToEngine(when);
        QElapsedTimer sent;
        sent.start();
        r = RunPhoneChange(
            "clock", [&] { return mtr_CLK_set_clock(asked); },
            [&] { return ClockHolds(when, sent.elapsed()); });
    }
    if (r.Refused()) {
        // The phone kept its clock: the screen must not show the new one.
        UiMessageBoxId(31605);
        return;
    }
    if (r.Unanswered()) {
        m_bSilence = true;
        TellSilence(r, CMobileClock::FormatText(when, m_nDateFormat, m_nTimeFormat));
        if (!r.Landed())
            return;
    }
    m_clock.SetDateFormat(m_nDateFormat);
    m_clock.SetTimeFormat(m_nTimeFormat);
    m_clock.SetDateTime(when);
    EndDialog(IDOK);
}

bool CDlgDateTime::ApplyFormats()
{
    const int dateRow = m_comboDate ? m_comboDate->currentIndex() : -1;
    if (dateRow >= 0 && dateRow > m_nDateFormats)
        return false;
    const int timeRow = m_comboTime ? m_comboTime->currentIndex() : -1;
    int timeIndex = m_comboTime && timeRow >= 0 ? m_comboTime->itemData(timeRow).toInt() : m_nTimeFormat;
    if (timeIndex < 0 || timeIndex > m_nTimeFormatLimit)
        return false;
    if (m_comboTime && m_comboTime->count() == 1)
        timeIndex = CLK_TIME_FMT_24H;
    const int dateIndex = dateRow >= 0 ? dateRow : m_nDateFormat;

    // Each format is asked back after a silence: the phone that holds it
    // goes on to the next; one that may not stops the confirm there.
    const auto formatHolds = [](MTR_RESULT (*read)(int32_t*), int wanted) {
        int32_t held = -1;
        if (read(&held) != MTR_DONE)
            return PhoneHolds::Unknown;
        return held == wanted ? PhoneHolds::Change : PhoneHolds::Before;
    };
    PhoneChangeResult date;
    {
        CWaitCursor wait;
        date = RunPhoneChange(
            "date format", [&] { return mtr_CLK_set_date_format(static_cast<uint8_t>(dateIndex)); },
            [&] { return formatHolds(mtr_CLK_get_date_format, dateIndex); });
    }
    if (date.Refused()) {
        UiMessageBoxId(31606);
        return false;
    }
    if (date.Unanswered()) {
        m_bSilence = true;
        TellSilence(date, m_comboDate && dateRow >= 0 ? m_comboDate->itemText(dateRow) : QString::number(dateIndex));
        if (!date.Landed())
            return false;
    }
    PhoneChangeResult time;
    {
        CWaitCursor wait;
        time = RunPhoneChange(
            "time format", [&] { return mtr_CLK_set_time_format(static_cast<uint8_t>(timeIndex)); },
            [&] { return formatHolds(mtr_CLK_get_time_format, timeIndex); });
    }
    if (time.Refused()) {
        UiMessageBoxId(31607);
        return false;
    }
    if (time.Unanswered()) {
        m_bSilence = true;
        TellSilence(time, m_comboTime && timeRow >= 0 ? m_comboTime->itemText(timeRow) : QString::number(timeIndex));
        if (!time.Landed())
            return false;
    }
    m_nDateFormat = dateIndex;
    m_nTimeFormat = timeIndex;
    return true;
}

void CDlgDateTime::TellSilence(const PhoneChangeResult& r, const QString& what)
{
    UiMessageBox(UiFormatString(SilentWriteWordsId(r), {what}), MB_OK | MB_ICONEXCLAMATION);
}

PhoneHolds CDlgDateTime::ClockHolds(const QDateTime& asked, qint64 sinceAskedMs)
{
    MTR_DATETIME read;
    if (mtr_CLK_get_clock(&read) != MTR_DONE)
        return PhoneHolds::Unknown;
    const QDateTime held = DateTimeFromEngine(read);
    if (!held.isValid())
        return PhoneHolds::Unknown;
    // The phone's clock ran on since it was set, and it counts whole
    // seconds: what it holds is the time asked for when it lies between a
    // minute before it and the time gone since, plus a minute.
    const qint64 ahead = asked.secsTo(held);
    return ahead >= -kClockToleranceSecs && ahead <= sinceAskedMs / 1000 + kClockToleranceSecs ? PhoneHolds::Change
                                                                                             : PhoneHolds::Before;
}

void CDlgDateTime::done(int result)
{
    KillTimer(1);
    CDlgBase::done(result);
}
