// The two text dialogs of the compose and open sequences: the write dialog
// (a new message, quoting the first line of the message it answers) and
// the edit dialog (an existing text, under the caller's title). Both count
// characters and blocks as the text changes and keep the text within the
// blocks the phone takes.
#pragma once

#include "dialog.h"

class CMessage;
class QLabel;
class QPlainTextEdit;

// What the counters show for a text: the characters it takes (a 7-bit
// extension character takes two) and the number of messages it goes as.
struct MsgTextCount {
    int units = 0;
    int blocks = 0;
    // Characters of one message and of one block in the coding the text
    // goes in (a 7-bit message becomes UCS2 for a text 7-bit cannot carry).
    int single = 0;
    int blockSize = 0;
};
MsgTextCount CountMsgText(const CMessage& msg, const QString& text);
// The longest text the edit takes: MaxNbBlocks blocks when the phone sends
// long messages, else one message.
int MsgTextLimit(const CMessage& msg, bool multiBlock);
// The same for a counted text, in the coding it goes in.
int MsgTextLimit(const MsgTextCount& count, bool multiBlock);

class CDlgMsgTextBase : public CDialog {
    Q_OBJECT
public:
    static constexpr int IDC_TEXT = 1071;
    static constexpr int IDC_BLOCKS = 1111;
    static constexpr int IDC_CHARS = 1120;
    // Posted to itself once the dialog stands: fill the text edit.
    static constexpr unsigned WM_FILL_TEXT = 0x7FA;

    bool OnInitDialog() override;
    void OnOK() override;

    QPlainTextEdit* TextEdit() const { return m_pEdit; }
    QString BlockText() const;
    QString CharText() const;
    int Limit() const { return m_nLimit; }

protected:
    CDlgMsgTextBase(int templateId, CMessage* msg, QWidget* parent);
    bool event(QEvent* e) override;
    virtual void FillText() = 0;
    virtual void UpdateCounters() = 0;
    // Puts the text in the edit with the caret at its end.
    void PutText(const QString& text);
    void OnTextChanged();
    bool IsMultiBlock() const;
    // True when the text is past the limit of the coding it goes in.
    bool IsTooLong(const QString& text) const;
    // The longest beginning of the text that is not too long.
    QString FittingPart(const QString& text) const;

    CMessage* m_pMsg;
    QPlainTextEdit* m_pEdit = nullptr;
    int m_nLimit = 160;
    bool m_bFilling = false;
};

class CDlgMsgWrite : public CDlgMsgTextBase {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 164;
    static constexpr int IDC_HEADER = 1089;
    static constexpr int IDC_QUOTED = 1072;

    CDlgMsgWrite(CMessage* msg, QWidget* parent);
    bool OnInitDialog() override;

protected:
    void FillText() override;
    void UpdateCounters() override;
};

class CDlgMsgEdit : public CDlgMsgTextBase {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 161;

    CDlgMsgEdit(CMessage* msg, QWidget* parent);
    void SetTitle(const QString& title) { m_strTitle = title; }
    bool OnInitDialog() override;

protected:
    void FillText() override;
    void UpdateCounters() override;

private:
    QString m_strTitle;
};

// The first line of the answered text as the write dialog quotes it: cut at
// the first line break within 25 characters, else at 25, trailing blanks
// removed and "..." appended.
QString QuoteFirstLine(const QString& text);
