// Find dialogs of the phonebook and message screens. The dialog does not
// search itself: it asks the screen, which keeps the hits; on success the
// screen selects the first hit and the dialog closes, otherwise it stays
// open with a bold "nothing found" line until the next keystroke.
#pragma once

#include "dialog.h"

// What the phonebook screen offers the find dialog. Column 0 is searched
// with the first field's text, column 1 with the second's.
class CFindPBOwner {
public:
    virtual ~CFindPBOwner() = default;
    virtual bool FindInColumn(int column, const QString& text, bool exact) = 0;
    virtual bool FindInAllColumns(const QString& first, const QString& second, bool exact) = 0;
    virtual void UnselectAll() = 0;
    virtual void FindNext() = 0;
};

class CFindSMSOwner {
public:
    virtual ~CFindSMSOwner() = default;
    virtual bool FindMsg(const QString& text, bool exact) = 0;
    virtual void ClearFindSelection() = 0;
    virtual void FindNext() = 0;
};

// The message line (1079) shared by both dialogs.
class CDlgFindBase : public CDialog {
    Q_OBJECT
public:
    CDlgFindBase(int templateId, QWidget* parent);
    // The caller's position; the dialog opens there when it is set.
    void SetPosition(int x, int y);
    bool OnInitDialog() override;
    bool IsNotFoundShown() const { return m_bNotFound; }
    QString MessageText() const;
    bool MessageIsBold() const;

protected:
    void ShowNotFound();
    void OnEditChanged();
    void WatchEdit(int id);

private:
    bool m_bHintShown = false;
    bool m_bNotFound = false;
    int m_x = -1, m_y = -1;
};

class CDlgFindPB : public CDlgFindBase {
    Q_OBJECT
public:
    CDlgFindPB(CFindPBOwner* owner, QWidget* parent);
    bool OnInitDialog() override;
    void OnOK() override;

private:
    CFindPBOwner* m_pOwner;
};

class CDlgFindSMS : public CDlgFindBase {
    Q_OBJECT
public:
    CDlgFindSMS(CFindSMSOwner* owner, QWidget* parent);
    // The heading above the field (the screen passes the folder's wording).
    void SetFindText(const QString& text) { m_strHeading = text; }
    bool OnInitDialog() override;
    void OnOK() override;

private:
    CFindSMSOwner* m_pOwner;
    QString m_strHeading;
};
