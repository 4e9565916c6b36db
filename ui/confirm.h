// Item-by-item questions before items are deleted (or, for melodies,
// overwritten): Yes (6), No (7), Yes to all (1078); Escape gives 2, which
// callers treat as "skip this item" and go on with the next.
//
// Callers keep one dialog for a whole run and call DoModal once per item,
// setting the name (or text) before each call.
#pragma once

#include "dialog.h"

enum ConfirmKind {
    CONFIRM_GENERIC = 0,
    CONFIRM_PB_ENTRY = 1,
    CONFIRM_SMS = 2,
    CONFIRM_DIRECTORY_ENTRY = 3,
    CONFIRM_MELODY = 6,
};

class CDlgConfirm : public CDialog {
    Q_OBJECT
public:
    explicit CDlgConfirm(QWidget* parent);

    void SetItemName(const QString& name) { m_strName = name; }
    void SetKind(int kind) { m_nKind = kind; }
    // Callers use it when only one item is selected.
    void DisableAllButton() { m_bDisableAll = 1; }

    // The string of a kind's question (generic for unknown kinds).
    static int MessageIdOfKind(int kind);
    QString Message() const;

    bool OnInitDialog() override;
    void OnCommand(int id) override;

protected:
    CDlgConfirm(int templateId, QWidget* parent);
    void ApplyAllButton();

    QString m_strName;
    int m_nKind = 0;
    int m_bDisableAll = 0;
};

// The twin whose caller supplies the message and the caption.
class CDlgConfirmMelody : public CDlgConfirm {
    Q_OBJECT
public:
    explicit CDlgConfirmMelody(QWidget* parent);
    void SetText(const QString& text) { m_strText = text; }
    void SetTitle(const QString& title) { m_strTitle = title; }
    bool OnInitDialog() override;

private:
    QString m_strText;
    QString m_strTitle;
};
