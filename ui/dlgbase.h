// Base of the program's own modal dialogs: the two styled buttons (1099 and
// 1100, navy text, the second in bold) and tool tips by string id.
//
// The phone link needs nothing from a dialog here: the tick and the serial
// port wake the program's event loop in every nested loop, modal ones too.
#pragma once

#include "dialog.h"

class QPushButton;

class CDlgBase : public CDialog {
    Q_OBJECT
public:
    CDlgBase(int templateId, QWidget* parent = nullptr);
    ~CDlgBase() override;

    // Dialogs whose templates have no controls 1099 and 1100 call this in
    // their constructors: nothing is bound and no bold font is set.
    void ClearStyleFlag() { m_bStyleButtons = 0; }
    int StyleFlag() const { return m_bStyleButtons; }

    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;

    // Registers a tip (a string of the language bundle) for a control.
    // False when the dialog has no such control.
    bool AddToolTip(int controlId, int stringId);

    QPushButton* StyledButton1() const { return m_btn1; }
    QPushButton* StyledButton2() const { return m_btn2; }

    // The text colour of the styled buttons.
    static constexpr unsigned kStyledTextRgb = 0x000080;

private:
    QPushButton* m_btn1 = nullptr;
    QPushButton* m_btn2 = nullptr;
    int m_bStyleButtons = 1;
};
