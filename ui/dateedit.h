// A date entry of three fields (day, month, year) in the locale's order and
// separator. The user never edits the text freely: one field is selected,
// digits go into it, arrows and the separator move between fields, Up and
// Down step the field, and Alt+Down or the drop button opens a calendar.
//
// CDateEditModel holds the rules and is used without a window; CDateEdit
// is the edit control over it.
#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QToolButton>

class CCalendarWnd;
class QLocale;

class CDateEditModel {
public:
    enum Field { Day = 0, Month = 1, Year = 2 };

    CDateEditModel();

    // Order 0 day-month-year, 1 month-day-year, 2 year-month-day; the
    // leading zeros, the short year and the separator, from a locale.
    void ReadLocale(const QLocale& locale);

    // Non-zero (nothing changed) for a date that does not exist.
    int SetDate(int year, int month, int day);
    void GetDate(int& year, int& month, int& day) const;
    void SetDateOrder(int order);  // 0-2; others ignored
    int DateOrder() const { return order_; }
    void SetShortYear(bool on) { shortYear_ = on; }
    void SetLeadingZeros(bool day, bool month) { dayNoZero_ = !day; monthNoZero_ = !month; }
    void SetSeparator(const QString& sep) { sep_ = sep.isEmpty() ? QStringLiteral("/") : sep; }
    QString Separator() const { return sep_; }

    QString Text() const;
    int CurrentField() const { return field_; }
    void SetCurrentField(int field);
    // Start and length of a field in Text().
    void FieldRange(int field, int& start, int& length) const;
    // The field whose text or following separator holds a text position.
    int FieldAt(int position) const;

    // Typing: a digit goes into the current field when the date stays valid
    // (else the field's typing restarts); the separator's first character
    // moves on. True when the date changed.
    bool TypeChar(QChar c);
    void NextField();
    void PrevField();
    void StepUp();
    void StepDown();

private:
    int FieldAtSlot(int slot) const;
    int SlotOf(int field) const;
    QString FieldText(int field) const;
    bool TypeDigit(int d);

    int order_ = 0;
    bool dayNoZero_ = false;
    bool monthNoZero_ = false;
    bool shortYear_ = false;
    QString sep_ = QStringLiteral("/");
    int year_, month_, day_;
    int field_ = 0;
    int digits_ = 0;
};

class CDateEdit;

// The small button right of the date edit that opens the calendar.
class CDateDropButton : public QToolButton {
    Q_OBJECT
public:
    CDateDropButton(CDateEdit* edit, QWidget* parent);
};

class CDateEdit : public QLineEdit {
    Q_OBJECT
public:
    // The drop button goes into the same parent, 4 pixels right of the edit.
    explicit CDateEdit(QWidget* parent = nullptr);
    ~CDateEdit() override;

    // Puts a date edit in place of a template's edit control: same parent,
    // place and layout slot, 24 pixels narrower for the drop button.
    static CDateEdit* ReplaceTemplateEdit(QWidget* templateEdit);

    int SetDate(int year, int month, int day);
    void GetDate(int& year, int& month, int& day) const { model_.GetDate(year, month, day); }
    void SetDateOrder(int order);
    void SetShortYear(bool on);
    CDateEditModel& Model() { return model_; }
    CDateDropButton* DropButton() const { return button_; }
    CCalendarWnd* Popup() const { return popup_; }

    void OpenCalendar();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool event(QEvent* e) override;

private:
    void Redisplay();
    void PlaceButton();
    void CloseCalendar();

    CDateEditModel model_;
    QPointer<CDateDropButton> button_;
    QPointer<CCalendarWnd> popup_;
};
