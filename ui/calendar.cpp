#include "calendar.h"

#include "uiservices.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QSpinBox>

#include <algorithm>

namespace {

constexpr int kGridTop = 44;

// The year spin shows only its arrows: the year is in the title beside it,
// and the spin is too narrow for digits, whose first one would peek out.
class YearArrows : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

protected:
    QString textFromValue(int) const override { return QString(); }
    int valueFromText(const QString&) const override { return value(); }
    QValidator::State validate(QString&, int&) const override { return QValidator::Acceptable; }
};
constexpr int kWeekdayString = 31497;  // 31497 Monday ... 31503 Sunday
constexpr int kMonthString = 31503;    // + month (1-12)

}  // namespace

// ---------------------------------------------------------------- dates

namespace CalendarDate {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool IsValid(int year, int month, int day)
{
    return year >= 0 && year <= 9999 && day >= 1 && day <= DaysInMonth(year, month);
}

int DayOfWeek(int year, int month, int day)
{
    // Days since 1 March of year 0, whose weekday is known; works for every
    // year from 0 on, unlike the library's date type.
    const int y = month <= 2 ? year - 1 : year;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int mp = (month + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days = static_cast<long>(era) * 146097 + doe;  // 0 = 1 March 0000
    // 1 March 0000 was a Wednesday (2 when Monday is 0).
    return static_cast<int>(((days + 2) % 7 + 7) % 7);
}

}  // namespace CalendarDate

// ---------------------------------------------------------------- model

CCalendarModel::CCalendarModel()
{
    const QDate today = QDate::currentDate();
    todayY_ = year_ = today.year();
    todayM_ = month_ = today.month();
    todayD_ = day_ = today.day();
    firstDay_ = static_cast<int>(QLocale().firstDayOfWeek()) - 1;  // Qt: Monday 1
    Fill();
}

void CCalendarModel::SetFirstDayOfWeek(int first)
{
    firstDay_ = ((first % 7) + 7) % 7;
    Fill();
}

void CCalendarModel::SetToday(int year, int month, int day)
{
    todayY_ = year;
    todayM_ = month;
    todayD_ = day;
    Fill();
}

bool CCalendarModel::SetDate(int year, int month, int day)
{
    if (!CalendarDate::IsValid(year, month, day))
        return false;
    year_ = year;
    month_ = month;
    day_ = day;
    Fill();
    return true;
}

void CCalendarModel::GetDate(int& year, int& month, int& day) const
{
    year = year_;
    month = month_;
    day = day_;
}

void CCalendarModel::Fill()
{
    selCol_ = selRow_ = -1;
    int p = 1 + ((CalendarDate::DayOfWeek(year_, month_, 1) - firstDay_) % 7 + 7) % 7;
    if (p == 1)
        p = 8;  // a whole row of the month before
    const int prevYear = month_ == 1 ? year_ - 1 : year_;
    const int prevMonth = month_ == 1 ? 12 : month_ - 1;
    const int prevDays = CalendarDate::DaysInMonth(prevYear, prevMonth);
    const int days = CalendarDate::DaysInMonth(year_, month_);
    for (int i = 0; i < kCols * kRows; ++i) {
        Cell& c = cells_[i % kCols][i / kCols];
        c.state = 0;
        if (i < p - 1) {
            c.day = prevDays - (p - 2 - i);
        } else if (i - (p - 1) < days) {
            c.day = i - (p - 1) + 1;
            c.state = InMonth;
            if (c.day == todayD_ && month_ == todayM_ && year_ == todayY_)
                c.state |= Today;
            if (c.day == day_) {
                c.state |= Selected;
                selCol_ = i % kCols;
                selRow_ = i / kCols;
            }
        } else {
            c.day = i - (p - 1) - days + 1;
        }
    }
}

void CCalendarModel::SelectDay(int col, int row)
{
    if (col < 0 || col >= kCols || row < 0 || row >= kRows)
        return;
    day_ = cells_[col][row].day;
    if (selCol_ >= 0)
        cells_[selCol_][selRow_].state &= ~Selected;
    cells_[col][row].state = (cells_[col][row].state & ~Highlighted) | Selected;
    selCol_ = col;
    selRow_ = row;
}

void CCalendarModel::ChangeMonth(int direction, int col, int row)
{
    int y = year_, m = month_ + (direction < 0 ? -1 : 1);
    if (m == 0) {
        m = 12;
        --y;
    } else if (m == 13) {
        m = 1;
        ++y;
    }
    if (y < 0 || y > 9999)
        return;  // no month before year 0 or after 9999
    int d = day_;
    if (col >= 0 && row >= 0 && col < kCols && row < kRows)
        d = cells_[col][row].day;
    while (d > 1 && !CalendarDate::IsValid(y, m, d))
        --d;
    year_ = y;
    month_ = m;
    day_ = d;
    Fill();
}

void CCalendarModel::ClickCell(int col, int row)
{
    if (col < 0 || col >= kCols || row < 0 || row >= kRows)
        return;
    if (cells_[col][row].state & InMonth)
        SelectDay(col, row);
    else
        ChangeMonth(row == 0 ? -1 : 1, col, row);
}

bool CCalendarModel::ChangeYear(int delta)
{
    if (!CalendarDate::IsValid(year_ + delta, month_, day_))
        return false;
    year_ += delta;
    Fill();
    return true;
}

void CCalendarModel::SetYear(int year)
{
    year = std::clamp(year, 0, 9999);
    int d = day_;
    while (d > 1 && !CalendarDate::IsValid(year, month_, d))
        --d;
    year_ = year;
    day_ = d;
    Fill();
}

void CCalendarModel::MoveSelection(int dCol, int dRow)
{
    if (selCol_ < 0)
        return;
    int index = selRow_ * kCols + selCol_ + dCol + dRow * kCols;
    if (index < 0) {
        ChangeMonth(-1);
        return;
    }
    if (index >= kCols * kRows) {
        ChangeMonth(+1);
        return;
    }
    ClickCell(index % kCols, index / kCols);
}

// ---------------------------------------------------------------- window

CCalendarWnd::CCalendarWnd(QWidget* parent) : QWidget(parent), spin_(new YearArrows(this))
{
    setFocusPolicy(Qt::StrongFocus);
    spin_->setRange(100, 9999);
    spin_->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    spin_->setGroupSeparatorShown(false);
    spin_->setFrame(false);
    spin_->setFixedWidth(18);
    spin_->setFocusPolicy(Qt::NoFocus);
    connect(spin_, &QSpinBox::valueChanged, this, [this](int year) {
        if (syncing_)
            return;
        model_.SetYear(year);
        update();
        emit selectedYear(id_);
    });
    setMouseTracking(true);
    Sync();
}

CCalendarWnd::~CCalendarWnd() = default;

bool CCalendarWnd::Create(const QRect& screenRect, QWidget* owner, int controlId, bool popup)
{
    id_ = controlId;
    if (popup) {
        setParent(owner, Qt::Popup);
        setAttribute(Qt::WA_DeleteOnClose, false);
    }
    setGeometry(screenRect);
    Layout();
    model_.Fill();
    Sync();
    show();
    if (popup) {
        raise();
        setFocus();
    }
    return true;
}

QString CCalendarWnd::MonthName(int month) const { return UiLoadString(kMonthString + month); }

void CCalendarWnd::Sync()
{
    syncing_ = true;
    spin_->setValue(std::clamp(model_.Year(), spin_->minimum(), spin_->maximum()));
    syncing_ = false;
    update();
}

void CCalendarWnd::Layout()
{
    const int w = width(), h = height();
    cellW_ = std::max(1, (w - 4) / 7);
    cellH_ = std::max(1, (h - 46) / 6);
    const int spare = w - 2 - 7 * cellW_;
    grid_ = QRect(QPoint(spare / 2, kGridTop),
                  QPoint(w - (spare - spare / 2), kGridTop + 6 * cellH_) - QPoint(1, 1));
    left_ = QRect(2, 2, 16, 16);
    right_ = QRect(w - 18, 2, 16, 16);
    spin_->setGeometry(right_.left() - 20, 2, 18, 20);
}

void CCalendarWnd::resizeEvent(QResizeEvent*) { Layout(); }

QFont CCalendarWnd::TitleFont() const
{
    QFont f = font();
    f.setPointSize(10);
    return f;
}

QRect CCalendarWnd::TitleRect() const
{
    return QRect(left_.right() + 2, 2, spin_->x() - 2 - (left_.right() + 2), 20);
}

QString CCalendarWnd::TitleText() const
{
    return MonthName(model_.Month()) + QLatin1Char(' ') + QString::number(model_.Year());
}

QSize CCalendarWnd::minimumSizeHint() const
{
    const QFontMetrics title(TitleFont());
    int widest = 0;
    for (int month = 1; month <= 12; ++month)
        widest = std::max(widest, title.horizontalAdvance(MonthName(month) + QStringLiteral(" 9999")));
    // Left arrow and its gap, the title, the spin and the right arrow.
    const int titleRow = 2 + 16 + 2 + widest + 2 + spin_->width() + 2 + 18;
    // A cell shows "28" with its inner margins; the weekday letters are
    // narrower than that.
    const QFontMetrics cells(font());
    const int cellW = cells.horizontalAdvance(QStringLiteral("28")) + 8;
    const int cellH = cells.height() + 4;
    const int w = std::max({150, titleRow, 7 * cellW + 4});
    const int h = std::max(150, kGridTop + 6 * cellH + 2);
    return QSize(w, h);
}

QRect CCalendarWnd::CellRect(int col, int row) const
{
    return QRect(grid_.left() + col * cellW_, kGridTop + row * cellH_, cellW_, cellH_)
        .adjusted(1, 1, -1, -1);
}

int CCalendarWnd::HitTest(const QPoint& p, int* col, int* row) const
{
    if (!rect().contains(p))
        return 4;
    if (grid_.contains(p)) {
        const int c = std::min(6, (p.x() - grid_.left()) / cellW_);
        const int r = std::min(5, (p.y() - kGridTop) / cellH_);
        if (col)
            *col = c;
        if (row)
            *row = r;
        return 2;
    }
    if (left_.contains(p))
        return 0;
    if (right_.contains(p))
        return 1;
    return 3;
}

void CCalendarWnd::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette pal = palette();
    p.fillRect(rect(), pal.toolTipBase());
    p.setPen(pal.color(QPalette::Dark));
    p.drawRect(rect().adjusted(0, 0, -1, -1));

    // Month arrows, drawn sunken while pressed.
    auto arrow = [&](const QRect& r, bool leftward, bool pressed) {
        p.fillRect(r, pressed ? pal.mid() : pal.button());
        const QPoint c = r.center();
        QPolygon tri;
        if (leftward)
            tri << QPoint(c.x() - 3, c.y()) << QPoint(c.x() + 2, c.y() - 5) << QPoint(c.x() + 2, c.y() + 5);
        else
            tri << QPoint(c.x() + 3, c.y()) << QPoint(c.x() - 2, c.y() - 5) << QPoint(c.x() - 2, c.y() + 5);
        p.setBrush(pal.buttonText());
        p.setPen(Qt::NoPen);
        p.drawPolygon(tri);
    };
    arrow(left_, true, pressedArrow_ == 1);
    arrow(right_, false, pressedArrow_ == 2);

    p.setFont(TitleFont());
    p.setPen(pal.color(QPalette::ToolTipText));
    p.drawText(TitleRect(), Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, TitleText());

    // Weekday letters: the locale's first day heads column 0.
    for (int k = 0; k < 7; ++k) {
        const QString name = UiLoadString(kWeekdayString + k);
        const QRect cell = CellRect(model_.ColumnOfWeekday(k), 0).translated(0, -24);
        p.drawText(cell, Qt::AlignCenter | Qt::TextSingleLine, name.left(1));
    }
    p.setPen(pal.color(QPalette::Mid));
    const int lineY = CellRect(0, 0).top() - 24 + cellH_ + 2 - 2;
    p.drawLine(CellRect(0, 0).left() - 2, std::min(lineY, kGridTop - 2), CellRect(6, 0).right() + 2,
               std::min(lineY, kGridTop - 2));

    for (int c = 0; c < 7; ++c)
        for (int r = 0; r < 6; ++r) {
            const CCalendarModel::Cell& cell = model_.At(c, r);
            const QRect cr = CellRect(c, r);
            const bool selected = cell.state & CCalendarModel::Selected;
            p.fillRect(cr, selected ? pal.highlight() : QBrush(QColor(255, 255, 225)));
            if (c == hiCol_ && r == hiRow_) {
                p.setPen(QColor(0xC0, 0xC0, 0xC0));
                p.setBrush(Qt::NoBrush);
                p.drawRect(cr.adjusted(0, 0, -1, -1));
            }
            if (cell.state & CCalendarModel::Today) {
                p.setPen(pal.color(QPalette::Dark));
                p.setBrush(Qt::NoBrush);
                p.drawRect(cr.adjusted(-1, -1, 0, 0));
            }
            QColor text = selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::ToolTipText);
            if (!(cell.state & CCalendarModel::InMonth))
                text = pal.color(QPalette::Disabled, QPalette::Text);
            p.setPen(text);
            p.drawText(cr.adjusted(0, 0, -2, 0), Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                       QString::number(cell.day));
        }
}

void CCalendarWnd::mousePressEvent(QMouseEvent* e)
{
    int col = -1, row = -1;
    switch (HitTest(e->position().toPoint(), &col, &row)) {
    case 0: pressedArrow_ = 1; break;
    case 1: pressedArrow_ = 2; break;
    case 2: hiCol_ = col; hiRow_ = row; break;
    case 4: close(); return;
    default: break;
    }
    update();
}

void CCalendarWnd::mouseMoveEvent(QMouseEvent* e)
{
    int col = -1, row = -1;
    if (hiCol_ >= 0 && HitTest(e->position().toPoint(), &col, &row) == 2 && (col != hiCol_ || row != hiRow_)) {
        hiCol_ = col;
        hiRow_ = row;
        update();
    }
}

void CCalendarWnd::mouseReleaseEvent(QMouseEvent* e)
{
    int col = -1, row = -1;
    const int hit = HitTest(e->position().toPoint(), &col, &row);
    const int pressed = pressedArrow_;
    pressedArrow_ = 0;
    hiCol_ = hiRow_ = -1;
    if (pressed) {
        if ((hit == 0 && pressed == 1) || (hit == 1 && pressed == 2)) {
            model_.ChangeMonth(pressed == 1 ? -1 : +1);
            Sync();
            emit selectedMonth(id_);
        }
        update();
        return;
    }
    if (hit == 2) {
        model_.ClickCell(col, row);
        Sync();
        emit selectedDay(id_);
    }
    update();
}

void CCalendarWnd::keyPressEvent(QKeyEvent* e)
{
    if (pressedArrow_)
        return;
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit selectedDay(id_);
        return;
    case Qt::Key_Escape:
        close();
        return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        if (!model_.ChangeYear(e->key() == Qt::Key_PageUp ? -1 : +1))
            QApplication::beep();
        break;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const int dir = e->key() == Qt::Key_Left ? -1 : +1;
        if (ctrl)
            model_.ChangeMonth(dir);
        else
            model_.MoveSelection(dir, 0);
        break;
    }
    case Qt::Key_Up:
        model_.MoveSelection(0, -1);
        break;
    case Qt::Key_Down:
        model_.MoveSelection(0, +1);
        break;
    default:
        QWidget::keyPressEvent(e);
        return;
    }
    Sync();
}

void CCalendarWnd::focusOutEvent(QFocusEvent* e)
{
    QWidget::focusOutEvent(e);
    if (isWindow() && e->reason() != Qt::PopupFocusReason && !isAncestorOf(QApplication::focusWidget()))
        close();
}

bool CCalendarWnd::event(QEvent* e)
{
    if (e->type() == QEvent::LocaleChange) {
        model_.SetFirstDayOfWeek(static_cast<int>(locale().firstDayOfWeek()) - 1);
        update();
    }
    return QWidget::event(e);
}
