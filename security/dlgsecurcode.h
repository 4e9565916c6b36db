// The security-code dialogs. CDlgSecurCode asks for one code, or in its
// two-code form for a PUK and a new PIN. In phone mode it sends the code
// itself and follows the phone's answers until the phone is satisfied (the
// dialog then ends with IDOK); in facility mode it only collects a code.
// CDlgChangeSecurCode changes a facility's password (old, new, confirmed).
#pragma once

#include "dlgbase.h"

#include <QString>

class CDlgSecurCode : public CDlgBase {
    Q_OBJECT
public:
    enum { TEMPLATE_ONE = 307, TEMPLATE_TWO = 308 };
    enum { MODE_FACILITY = 0, MODE_PHONE = 1 };

    // kind: PIN state (phone mode) or facility index (facility mode);
    // counter: attempts left, -1 when not known.
    CDlgSecurCode(QWidget* parent, int kind, int mode, int twoCodes, int counter);

    // The entered code; after a two-code entry in phone mode, the new code.
    QString GetCode() const { return m_strCode; }
    int Kind() const { return m_nKind; }
    int Mode() const { return m_nMode; }
    bool IsTwoCodeForm() const { return m_bTwoCodes; }
    int Counter() const { return m_nCounter; }

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;

    // 1 when the phone now wants a PUK and the dialog must take two codes.
    int AdjustToCodeState();
    void ReadCodeInfo();

private:
    void SwitchToTwoCodes();
    void SetTexts();
    void WireControls();
    void ShowAttempts();
    void FocusEdit(int id);
    bool MinChars(CDataExchange* pDX, int id, const QString& text, int minimum);

    int m_nKind;
    int m_nMode;
    bool m_bTwoCodes;
    int m_nCounter;
    QString m_strCode;
    QString m_strNewCode;
    QString m_strPrompt;
    bool m_bClosing = false;
    static bool s_bSwitching;
};

class CDlgChangeSecurCode : public CDlgBase {
    Q_OBJECT
public:
    CDlgChangeSecurCode(int facility, int maxLength, QWidget* parent);

    QString OldCode() const { return m_strOld; }
    QString NewCode() const { return m_strNew; }

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    void OnCommand(int id) override;

    // Asks for the PUK first when the facility's code is blocked.
    void CheckBlockedCode();

private:
    void Refuse(int stringId, int editId);
    // The facility's attempts left, from the phone; false when not read.
    bool ReadCounter(int& counter);
    // A blocked code asks for the PUK; the last attempt is announced.
    void OnCounter(int counter);

    QString m_strOld, m_strNew, m_strConfirm;
    int m_nFacility;
    int m_nMaxLength;
};
