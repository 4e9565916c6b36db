// Where copied phonebook entries or messages go: a drop-down of the storages
// with their icons plus two entries for a PC database file (an existing one
// or a new one), and the question whether a phone storage is emptied first.
#pragma once

#include "dlgbase.h"

#include <QComboBox>

// A drop-down whose items carry a storage value and show that value's icon.
class CIconComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit CIconComboBox(QWidget* parent = nullptr);
    // -1 (nothing added) for an empty text; else the new item's index.
    int AddItem(const QString& text, int value, int kind = 0);
    int ValueAt(int index) const;
    int KindAt(int index) const;
    // Name of the icon shown for a value; none in the base.
    virtual QString GetIconName(int value) const;
};

class CDstComboPB : public CIconComboBox {
    Q_OBJECT
public:
    using CIconComboBox::CIconComboBox;
    QString GetIconName(int value) const override;
};

class CDstComboSMS : public CIconComboBox {
    Q_OBJECT
public:
    using CIconComboBox::CIconComboBox;
    QString GetIconName(int value) const override;
};

class CDlgDstChoice : public CDlgBase {
    Q_OBJECT
public:
    // What the user chose.
    enum Choice {
        DST_STORE = 0,            // a storage: GetDst
        DST_EXISTING_PC_FILE = 1, // a PC database file to choose (GetDst: PC)
        DST_NEW_PC_FILE = 2,      // a new PC database file (GetDst: PC)
    };

    void SetDstSIMEnabled(bool on) { m_bSIM = on; }
    void SetDstPhoneEnabled(bool on) { m_bPhone = on; }
    int GetDst() const { return m_nDst; }
    Choice GetChoice() const { return m_choice; }

    virtual void ResetFlags();
    virtual void FillCombo() {}
    virtual int ValueOfItem(int index);
    virtual QString ItemText(int) const { return QString(); }
    virtual CIconComboBox* GetCombo() { return &m_combo; }

    bool OnInitDialog() override;
    void OnOK() override;

protected:
    CDlgDstChoice(int current, QWidget* parent);
    void AddExtras(int pcValue, int existingString, int newString);

    CIconComboBox m_combo;
    int m_nCurrent = 7;
    int m_nDst = -1;
    bool m_bSIM = false;
    bool m_bPhone = false;
    Choice m_choice = DST_STORE;
};

// Phonebook: destinations 4 PC, 5 SIM, 6 SIM fixed dialling, 7 phone.
class CDlgDstChoicePB : public CDlgDstChoice {
    Q_OBJECT
public:
    CDlgDstChoicePB(int currentSource, QWidget* parent);
    void SetDstSIMFDNEnabled(bool on) { m_bSIMFDN = on; }
    void ResetFlags() override;
    void FillCombo() override;
    QString ItemText(int value) const override;
    CIconComboBox* GetCombo() override { return &m_pbCombo; }

private:
    CDstComboPB m_pbCombo;
    bool m_bSIMFDN = false;
};

// Messages: destinations 3 PC, 4 SIM, 5 phone.
class CDlgDstChoiceSMS : public CDlgDstChoice {
    Q_OBJECT
public:
    CDlgDstChoiceSMS(int currentSource, QWidget* parent);
    void FillCombo() override;
    QString ItemText(int value) const override;
    CIconComboBox* GetCombo() override { return &m_smsCombo; }

private:
    CDstComboSMS m_smsCombo;
};

// What a screen does when the user asks to empty the destination first.
class CDstSelectedOwner {
public:
    virtual ~CDstSelectedOwner() = default;
    virtual void SetDstSelected() = 0;
};

class CDlgDstMirrorDatabase : public CDialog {
    Q_OBJECT
public:
    CDlgDstMirrorDatabase(CDstSelectedOwner* owner, QWidget* parent);
    void SetOwnerKind(int kind) { m_nOwnerKind = kind; }  // 1 phonebook, 2 messages
    int OwnerKind() const { return m_nOwnerKind; }
    void SetPosition(int x, int y) { m_x = x; m_y = y; }
    bool IsEraseFirst() const { return m_bEraseFirst; }

    bool OnInitDialog() override;
    void OnOK() override;

private:
    CDstSelectedOwner* m_pOwner;
    int m_nOwnerKind = 1;
    int m_x = -1, m_y = -1;
    bool m_bEraseFirst = false;
};
