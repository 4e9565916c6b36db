#include "dlgdatetime.h"

#include "calendar.h"
#include "dateedit.h"
#include "timetext.h"
#include "waitcursor.h"

#include "at_defs.h"
#include "mtr_clock.h"
#include "uiservices.h"

#include <QComboBox>
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
    MTR_RESULT r;
    {
        CWaitCursor wait;
        r = mtr_CLK_set_clock(DateTimeToEngine(when));
    }
    if (r != MTR_DONE) {
        // The phone kept its clock: the screen must not show the new one.
        UiMessageBoxId(31605);
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

    MTR_RESULT date, time = MTR_FAILED;
    {
        CWaitCursor wait;
        date = mtr_CLK_set_date_format(static_cast<uint8_t>(dateIndex));
        if (date == MTR_DONE)
            time = mtr_CLK_set_time_format(static_cast<uint8_t>(timeIndex));
    }
    if (date != MTR_DONE) {
        UiMessageBoxId(31606);
        return false;
    }
    if (time != MTR_DONE) {
        UiMessageBoxId(31607);
        return false;
    }
    m_nDateFormat = dateIndex;
    m_nTimeFormat = timeIndex;
    return true;
}

void CDlgDateTime::done(int result)
{
    KillTimer(1);
    CDlgBase::done(result);
}
