// The two small dialogs of the melody screen: the name and slot of a PC
// melody going to the phone, and the name and tempo of one melody.
#pragma once

#include "dlgbase.h"

class CMelody;
class CMelodyList;
class QComboBox;
class QLineEdit;

class CDlgMelodyToPhone : public CDlgBase {
    Q_OBJECT
public:
    CDlgMelodyToPhone(QWidget* parent, const QString& name, int nameMax, CMelodyList* phoneList);

    QString GetName() const { return m_strName; }
    // The position in the phone list of the melody to replace.
    int GetPosition() const { return m_nPosition; }

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;

    QString m_strOldName;
    QString m_strName;
    QLineEdit* m_editName = nullptr;
    QComboBox* m_cbPosition = nullptr;
    int m_nNameMax = 0;
    int m_nPosition = -1;
    CMelodyList* m_pPhoneList = nullptr;
};

class CDlgMelodyProperty : public CDlgBase {
    Q_OBJECT
public:
    CDlgMelodyProperty(QWidget* parent, const CMelody* melody, int nameMax, int tempoMin, int tempoMax);

    QString GetName() const { return m_strName; }
    int GetTempo() const { return m_nTempo; }

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;

    QString m_strName;
    QLineEdit* m_editName = nullptr;
    int m_nTempo = 150;
    int m_nNameMax = -1;
    int m_nTempoMin = 1;
    int m_nTempoMax = 999;
};
