// The alarm, switch-on and switch-off settings of the phone: each switched
// on or off with its time. The dialog reads the three settings from the phone
// when it opens and writes all three back when the user confirms; a PC copy
// of the times is kept in the profile (section Time).
#pragma once

#include "dlgbase.h"

#include <QDateTime>
#include <QString>

class CDiaryCard;
class CZorqMMIDoc;
class QLineEdit;

class CDlgAlarm : public CDlgBase {
    Q_OBJECT
public:
    explicit CDlgAlarm(QWidget* parent = nullptr);

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    void OnCommand(int id) override;

    // The program's document, or none (tests and a program without a phone
    // detection yet).
    static CZorqMMIDoc* GetDocument();

    // The three settings in the order alarm, switch-on, switch-off.
    enum Setting { kAlarm = 0, kSwitchOn = 1, kSwitchOff = 2 };
    int GetFlag(int setting) const { return *m_flags[setting]; }
    QString GetTimeText(int setting) const { return *m_texts[setting]; }

protected:
    // Reads the three settings from the phone into the document's cards;
    // false at the first refusal.
    bool UpLoadFromMobile();
    // Flags and texts from the document's cards; false without a document.
    bool LoadFromDocument();
    // Flags and texts into the document's cards; false without a document or
    // when a text is no time (no card changed then).
    bool StoreInDocument();
    // The three cards to the phone; false at the first refusal, or at a
    // silence after which the phone may not hold the setting (told here).
    bool SaveInMobile();

private:
    void EnableEdits();
    // The card that holds a setting, or none.
    static CDiaryCard* Card(CZorqMMIDoc* doc, int setting);
    // The time a switched-off setting keeps when its text is no time: the
    // card's, else the PC's.
    QDateTime KeptTime(int setting) const;

    int m_bAlarm = 0, m_bSwitchOn = 0, m_bSwitchOff = 0;
    QString m_strAlarm, m_strSwitchOn, m_strSwitchOff;
    QLineEdit* m_editAlarm = nullptr;
    QLineEdit* m_editSwitchOn = nullptr;
    QLineEdit* m_editSwitchOff = nullptr;

    int* const m_flags[3] = {&m_bAlarm, &m_bSwitchOn, &m_bSwitchOff};
    QString* const m_texts[3] = {&m_strAlarm, &m_strSwitchOn, &m_strSwitchOff};
    QLineEdit** const m_edits[3] = {&m_editAlarm, &m_editSwitchOn, &m_editSwitchOff};
    // The last confirm met a silence and told it.
    bool m_bToldSilence = false;
};
