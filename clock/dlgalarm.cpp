#include "dlgalarm.h"

#include "diarycard.h"
#include "mobileclock.h"
#include "timetext.h"
#include "waitcursor.h"
#include "utilities.h"
#include "zorqmmidoc.h"

#include "at_defs.h"
#include "mtr_clock.h"
#include "phonechange.h"
#include "silentwrite.h"
#include "profile.h"
#include "uiservices.h"

#include <QAbstractButton>
#include <QLineEdit>

namespace {

constexpr int kCheckIds[3] = {1048, 1049, 1050};
constexpr int kEditIds[3] = {1051, 1053, 1052};
constexpr const char* kProfileKeys[3] = {"Alarm", "SwitchOn", "SwitchOff"};
// The kind of each setting in the engine's alarm requests and on its card.
constexpr int16_t kTypes[3] = {ORG_TYPE_ALARM, ORG_TYPE_SWITCH_ON, ORG_TYPE_SWITCH_OFF};

QDateTime CardTime(const CDiaryCard& card)
{
    if (!card.IsDateValid())
        return QDateTime();
    int y, m, d, h, mi, s;
    SplitDateTime(card.GetDate(), y, m, d, h, mi, s);
    return QDateTime(QDate(y, m, d), QTime(h, mi, s));
}

double ToDate(const QDateTime& when)
{
    return MakeDateTime(when.date().year(), when.date().month(), when.date().day(), when.time().hour(),
                        when.time().minute(), when.time().second());
}

}  // namespace

CDlgAlarm::CDlgAlarm(QWidget* parent) : CDlgBase(223, parent) { ClearStyleFlag(); }

CZorqMMIDoc* CDlgAlarm::GetDocument() { return dynamic_cast<CZorqMMIDoc*>(gv_pDoc); }

CDiaryCard* CDlgAlarm::Card(CZorqMMIDoc* doc, int setting)
{
    if (!doc)
        return nullptr;
    switch (setting) {
    case kAlarm: return &doc->GetAlarmCard();
    case kSwitchOn: return &doc->GetSwitchOnCard();
    default: return &doc->GetSwitchOffCard();
    }
}

void CDlgAlarm::DoDataExchange(CDataExchange* pDX)
{
    CDlgBase::DoDataExchange(pDX);
    for (int i = 0; i < 3; ++i) {
        DDX_Check(pDX, kCheckIds[i], *m_flags[i]);
        DDX_Text(pDX, kEditIds[i], *m_texts[i]);
        DDX_Control(pDX, kEditIds[i], *m_edits[i]);
    }
}

bool CDlgAlarm::OnInitDialog()
{
    CDlgBase::OnInitDialog();
    CenterWindow();

    const bool read = UpLoadFromMobile();
    if (!read || !LoadFromDocument())
        UiMessageBoxId(31608);

    for (int i = 0; i < 3; ++i) {
        if (*m_flags[i])
            continue;
        // A setting that is off shows the time last entered on this PC.
        *m_texts[i] = QString::fromStdString(GetIniProfileString("Time", kProfileKeys[i], ""));
        if (!CheckDateText(*m_texts[i]))
            m_texts[i]->clear();
    }
    for (QString* text : m_texts)
        if (text->isEmpty())
            *text = FormatHourMinute(QDateTime::currentDateTime());

    UpdateData(false);
    EnableEdits();
    for (int id : kCheckIds)
        if (auto* check = qobject_cast<QAbstractButton*>(GetDlgItem(id)))
            connect(check, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });

    AddToolTip(1051, 31615);
    AddToolTip(1053, 31616);
    AddToolTip(1052, 31617);
    AddToolTip(1048, 31618);
    AddToolTip(1049, 31619);
    AddToolTip(1050, 31620);
    return true;
}

void CDlgAlarm::EnableEdits()
{
    for (int i = 0; i < 3; ++i)
        if (*m_edits[i])
            (*m_edits[i])->setEnabled(*m_flags[i] != 0);
}

void CDlgAlarm::OnCommand(int id)
{
    for (int check : kCheckIds) {
        if (id == check) {
            UpdateData(true);
            EnableEdits();
        }
    }
}

bool CDlgAlarm::UpLoadFromMobile()
{
    CWaitCursor wait;
    for (int16_t kind : kTypes)
        if (mtr_ALA_get_alarm(static_cast<uint8_t>(kind)) != MTR_DONE)
            return false;
    return true;
}

bool CDlgAlarm::LoadFromDocument()
{
    CZorqMMIDoc* doc = GetDocument();
    if (!doc)
        return false;
    for (int i = 0; i < 3; ++i) {
        const CDiaryCard* card = Card(doc, i);
        const QDateTime when = CardTime(*card);
        if (card->GetOrganiserType() == kTypes[i])
            *m_flags[i] = card->GetAlarmState();
        *m_texts[i] = FormatHourMinute(card->GetOrganiserType() == kTypes[i] && *m_flags[i] && when.isValid()
                                           ? when
                                           : QDateTime::currentDateTime());
    }
    return true;
}

QDateTime CDlgAlarm::KeptTime(int setting) const
{
    if (const CDiaryCard* card = Card(GetDocument(), setting)) {
        const QDateTime when = CardTime(*card);
        if (card->GetOrganiserType() == kTypes[setting] && when.isValid())
            return when;
    }
    return QDateTime::currentDateTime();
}

void CDlgAlarm::OnOK()
{
    UpdateData(true);
    for (int i = 0; i < 3; ++i) {
        if (CheckDateText(*m_texts[i]))
            continue;
        if (*m_flags[i]) {
            UiMessageBoxId(31600);
            if (QLineEdit* edit = *m_edits[i]) {
                edit->setFocus();
                edit->selectAll();
            }
            return;
        }
        // A setting that is off still needs a time for the phone: it keeps
        // the one it had rather than blocking the other two.
        *m_texts[i] = FormatHourMinute(KeptTime(i));
    }
    UpdateData(false);

    m_bToldSilence = false;
    if (!StoreInDocument() || !SaveInMobile()) {
        // A silence was told in its own words.
        if (!m_bToldSilence)
            UiMessageBoxId(31609);
        return;
    }
    for (int i = 0; i < 3; ++i)
        WriteIniProfileString("Time", kProfileKeys[i], m_texts[i]->toStdString());
    EndDialog(IDOK);
}

bool CDlgAlarm::StoreInDocument()
{
    CZorqMMIDoc* doc = GetDocument();
    if (!doc)
        return false;
    QDateTime when[3];
    for (int i = 0; i < 3; ++i) {
        when[i] = QDateTime::currentDateTime();
        if (!ParseDateText(*m_texts[i], &when[i]))
            return false;
    }
    for (int i = 0; i < 3; ++i) {
        CDiaryCard* card = Card(doc, i);
        card->SetOrganiserType(kTypes[i]);
        card->SetAlarmState(static_cast<int16_t>(*m_flags[i]));
        card->SetDate(ToDate(when[i]));
        card->SetDateValid(true);
    }
    return true;
}

bool CDlgAlarm::SaveInMobile()
{
    CZorqMMIDoc* doc = GetDocument();
    if (!doc)
        return false;
    CWaitCursor wait;
    for (int i = 0; i < 3; ++i) {
        CDiaryCard* card = Card(doc, i);
        const uint8_t kind = static_cast<uint8_t>(card->GetOrganiserType());
        const uint8_t state = static_cast<uint8_t>(card->GetAlarmState() ? 1 : 0);
        const QDateTime asked = CardTime(*card);
        const MTR_DATETIME when = DateTimeToEngine(asked);
        // Asked back, the setting arrives in its card through the
        // document's alarm callback: the card then holds what the phone
        // holds, whatever the outcome.
        const PhoneChangeResult r = RunPhoneChange(
            "alarm setting", [&] { return mtr_ALA_set_alarm(kind, state, when); },
            [&] {
                if (mtr_ALA_get_alarm(kind) != MTR_DONE)
                    return PhoneHolds::Unknown;
                const QDateTime held = CardTime(*card);
                const bool same = (card->GetAlarmState() ? 1 : 0) == state && held.isValid() &&
                                  held.time().hour() == asked.time().hour() &&
                                  held.time().minute() == asked.time().minute();
                return same ? PhoneHolds::Change : PhoneHolds::Before;
            });
        if (r.Refused())
            return false;
        if (r.Unanswered()) {
            m_bToldSilence = true;
            QString name = *m_texts[i];
            if (auto* check = qobject_cast<QAbstractButton*>(GetDlgItem(kCheckIds[i])))
                name = check->text().remove(QLatin1Char('&')) + QLatin1Char(' ') + name;
            UiMessageBox(UiFormatString(SilentWriteWordsId(r), {name}), MB_OK | MB_ICONEXCLAMATION);
            // The phone may not hold this one: the later ones are not sent.
            if (!r.Landed())
                return false;
        }
    }
    return true;
}
