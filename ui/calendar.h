// The program's month calendar: one month as 6 rows x 7 columns of day
// cells under a title with the month name and year, two month arrows and a
// year spin box. The date edit opens it as a popup under itself.
//
// CCalendarModel holds the date, the grid and every navigation rule and is
// used without a window; CCalendarWnd draws it and feeds it mouse and keys.
#pragma once

#include <QDate>
#include <QWidget>

class QSpinBox;

// Dates of the proleptic Gregorian calendar from year 0 to 9999. Year 0 is
// a leap year (divisible by 400) and a valid year here: the phone's clock
// and old records may hold it, and the calendar type of the library refuses it.
namespace CalendarDate {
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
bool IsValid(int year, int month, int day);
// 0 Monday ... 6 Sunday.
int DayOfWeek(int year, int month, int day);
}  // namespace CalendarDate

class CCalendarModel {
public:
    enum CellState { Today = 2, Selected = 4, InMonth = 8, Highlighted = 16 };
    struct Cell {
        int day = 0;
        int state = 0;
    };
    static constexpr int kCols = 7;
    static constexpr int kRows = 6;

    CCalendarModel();

    // The locale's first day of the week, 0 Monday ... 6 Sunday.
    void SetFirstDayOfWeek(int first);
    int FirstDayOfWeek() const { return firstDay_; }
    // What counts as today (the system date by default).
    void SetToday(int year, int month, int day);

    // False (and nothing changed) for a date that does not exist.
    bool SetDate(int year, int month, int day);
    void GetDate(int& year, int& month, int& day) const;
    int Year() const { return year_; }
    int Month() const { return month_; }
    int Day() const { return day_; }

    const Cell& At(int col, int row) const { return cells_[col][row]; }
    int SelectedCol() const { return selCol_; }
    int SelectedRow() const { return selRow_; }
    // Column of a weekday (0 Monday ... 6 Sunday) in the header.
    int ColumnOfWeekday(int weekday) const { return ((weekday - firstDay_) % 7 + 7) % 7; }

    // Selects a day of the shown month.
    void SelectDay(int col, int row);
    // -1 previous, +1 next month. With a cell, its day is taken; without
    // (col or row -1) the day is kept, lowered until the date exists.
    void ChangeMonth(int direction, int col = -1, int row = -1);
    // A click on a cell: a day of the shown month is selected, a day of the
    // month before or after moves there with that day.
    void ClickCell(int col, int row);
    // Page Up / Page Down: the same day one year earlier or later; false
    // (date kept) when that day does not exist.
    bool ChangeYear(int delta);
    // The year spin: a day that the new year lacks (29 February) becomes the
    // month's last day.
    void SetYear(int year);
    // Arrow keys: dCol -1/+1 moves in reading order, dRow -1/+1 in the column;
    // leaving the grid changes the month with the day kept.
    void MoveSelection(int dCol, int dRow);

    void Fill();

private:
    int firstDay_ = 0;
    int year_, month_, day_;
    int todayY_, todayM_, todayD_;
    Cell cells_[kCols][kRows];
    int selCol_ = -1, selRow_ = -1;
};

class CCalendarWnd : public QWidget {
    Q_OBJECT
public:
    explicit CCalendarWnd(QWidget* parent = nullptr);
    ~CCalendarWnd() override;

    void SetDate(int year, int month, int day) { model_.SetDate(year, month, day); Sync(); }
    void GetDate(int& year, int& month, int& day) const { model_.GetDate(year, month, day); }
    CCalendarModel& Model() { return model_; }

    // Shows the calendar at `screenRect`; as a popup it closes on Escape, on
    // a click outside and when it loses the focus.
    bool Create(const QRect& screenRect, QWidget* owner, int controlId, bool popup);
    int ControlId() const { return id_; }

    // Hit test in client coordinates: 0 left arrow, 1 right arrow, 2 a cell,
    // 3 elsewhere inside, 4 outside.
    int HitTest(const QPoint& p, int* col = nullptr, int* row = nullptr) const;
    QRect CellRect(int col, int row) const;
    // Where the month and year are written, and in what font.
    QRect TitleRect() const;
    QFont TitleFont() const;
    QString TitleText() const;
    // Room for the longest month name with a four-digit year between the
    // arrows and the year spin, and for two-digit days in every cell, in the
    // calendar's fonts.
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override { return minimumSizeHint(); }

signals:
    void selectedDay(int controlId);
    void selectedMonth(int controlId);
    void selectedYear(int controlId);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    bool event(QEvent* e) override;

private:
    void Layout();
    void Sync();
    QString MonthName(int month) const;

    CCalendarModel model_;
    QSpinBox* spin_;
    QRect grid_, left_, right_;
    int cellW_ = 0, cellH_ = 0;
    int pressedArrow_ = 0;
    int hiCol_ = -1, hiRow_ = -1;
    int id_ = 0;
    bool syncing_ = false;
};
