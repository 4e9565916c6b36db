// One organiser record. The document keeps three of them for the phone's
// alarm, switch-on and switch-off settings, which the engine's alarm answers
// fill.
#pragma once

#include <cstdint>
#include <string>

// The kind of a card, and the kind index of the engine's alarm requests.
enum ORG_TYPE : int16_t {
    ORG_TYPE_ALARM = 0,
    ORG_TYPE_SWITCH_OFF = 1,
    ORG_TYPE_SWITCH_ON = 2,
};

class CDiaryCard {
public:
    CDiaryCard() = default;
    virtual ~CDiaryCard() = default;

    // Date and time as a day count since 30 December 1899 (fraction = time
    // of day); 0 is the zero date. Only hour and minute matter for the
    // phone's settings.
    double GetDate() const { return m_dtDate; }
    void SetDate(double date) { m_dtDate = date; }
    // The zero date is valid too; a date is invalid only when set so.
    bool IsDateValid() const { return m_bDateValid; }
    void SetDateValid(bool valid) { m_bDateValid = valid; }

    int16_t GetOrganiserType() const { return m_nOrganiserType; }
    void SetOrganiserType(int16_t type) { m_nOrganiserType = type; }
    int16_t GetSubType() const { return m_nSubType; }
    void SetSubType(int16_t subType) { m_nSubType = subType; }
    int16_t GetPeriodicity() const { return m_nPeriodicity; }
    void SetPeriodicity(int16_t periodicity) { m_nPeriodicity = periodicity; }
    const std::string& GetText() const { return m_strText; }
    void SetText(const std::string& text) { m_strText = text; }
    int16_t GetAlarmState() const { return m_nAlarmState; }
    void SetAlarmState(int16_t state) { m_nAlarmState = state; }
    int32_t GetDelay() const { return m_nDelay; }
    void SetDelay(int32_t delay) { m_nDelay = delay; }

private:
    double m_dtDate = 0.0;
    bool m_bDateValid = true;
    int16_t m_nOrganiserType = ORG_TYPE_ALARM;
    int16_t m_nSubType = 0;
    int16_t m_nPeriodicity = 0;
    std::string m_strText;
    int16_t m_nAlarmState = 0;
    int32_t m_nDelay = -1;
};
