#include "dateedit.h"

#include "calendar.h"
#include "uiservices.h"

#include <QBoxLayout>
#include <QDate>
#include <QKeyEvent>
#include <QLayout>
#include <QLocale>

// ---------------------------------------------------------------- model

CDateEditModel::CDateEditModel()
{
    const QDate today = QDate::currentDate();
    year_ = today.year();
    month_ = today.month();
    day_ = today.day();
    ReadLocale(QLocale());
}

void CDateEditModel::ReadLocale(const QLocale& locale)
{
    const QString f = UiDatePattern(locale);
    const qsizetype d = f.indexOf('d'), m = f.indexOf('M'), y = f.indexOf('y');
    if (m >= 0 && d >= 0 && m < d && (y < 0 || d < y))
        order_ = 1;
    else if (d >= 0 && m >= 0 && d < m && (y < 0 || m < y))
        order_ = 0;
    else
        order_ = 2;
    dayNoZero_ = !f.contains(QLatin1String("dd"));
    monthNoZero_ = !f.contains(QLatin1String("MM"));
    shortYear_ = !f.contains(QLatin1String("yyyy"));
    // The separator: the first run of other characters after the first field.
    QString sep;
    qsizetype i = 0;
    while (i < f.size() && f[i].isLetter())
        ++i;
    while (i < f.size() && !f[i].isLetter())
        sep += f[i++];
    SetSeparator(sep);
    field_ = order_;  // the first field shown (day, month or year)
    digits_ = 0;
}

int CDateEditModel::SetDate(int year, int month, int day)
{
    if (!CalendarDate::IsValid(year, month, day))
        return 1;
    year_ = year;
    month_ = month;
    day_ = day;
    return 0;
}

void CDateEditModel::GetDate(int& year, int& month, int& day) const
{
    year = year_;
    month = month_;
    day = day_;
}

void CDateEditModel::SetDateOrder(int order)
{
    if (order >= 0 && order <= 2)
        order_ = order;
}

void CDateEditModel::SetCurrentField(int field)
{
    if (field >= 0 && field <= 2)
        field_ = field;
    digits_ = 0;
}

int CDateEditModel::FieldAtSlot(int slot) const
{
    static const int orders[3][3] = {{Day, Month, Year}, {Month, Day, Year}, {Year, Month, Day}};
    return orders[order_][slot];
}

int CDateEditModel::SlotOf(int field) const
{
    for (int s = 0; s < 3; ++s)
        if (FieldAtSlot(s) == field)
            return s;
    return 0;
}

QString CDateEditModel::FieldText(int field) const
{
    switch (field) {
    case Day: return dayNoZero_ && day_ < 10 ? QString::number(day_) : QStringLiteral("%1").arg(day_, 2, 10, QChar('0'));
    case Month: return monthNoZero_ && month_ < 10 ? QString::number(month_) : QStringLiteral("%1").arg(month_, 2, 10, QChar('0'));
    default:
        return shortYear_ ? QStringLiteral("%1").arg(year_ % 100, 2, 10, QChar('0'))
                          : QStringLiteral("%1").arg(year_, 4, 10, QChar('0'));
    }
}

QString CDateEditModel::Text() const
{
    return FieldText(FieldAtSlot(0)) + sep_ + FieldText(FieldAtSlot(1)) + sep_ + FieldText(FieldAtSlot(2));
}

void CDateEditModel::FieldRange(int field, int& start, int& length) const
{
    start = 0;
    const int slot = SlotOf(field);
    for (int s = 0; s < slot; ++s)
        start += static_cast<int>(FieldText(FieldAtSlot(s)).size() + sep_.size());
    length = static_cast<int>(FieldText(field).size());
}

int CDateEditModel::FieldAt(int position) const
{
    int end = 0;
    for (int s = 0; s < 2; ++s) {
        end += static_cast<int>(FieldText(FieldAtSlot(s)).size() + sep_.size());
        if (position < end)
            return FieldAtSlot(s);
    }
    return FieldAtSlot(2);
}

void CDateEditModel::NextField()
{
    field_ = FieldAtSlot((SlotOf(field_) + 1) % 3);
    digits_ = 0;
}

void CDateEditModel::PrevField()
{
    field_ = FieldAtSlot((SlotOf(field_) + 2) % 3);
    digits_ = 0;
}

bool CDateEditModel::TypeDigit(int d)
{
    int* value = field_ == Day ? &day_ : field_ == Month ? &month_ : &year_;
    const int candidate = digits_ == 0 ? d : *value * 10 + d;
    const int y = field_ == Year ? candidate : year_;
    const int m = field_ == Month ? candidate : month_;
    const int dd = field_ == Day ? candidate : day_;
    if (!CalendarDate::IsValid(y, m, dd)) {
        digits_ = 0;
        return false;
    }
    *value = candidate;
    ++digits_;
    if (digits_ >= (field_ == Year ? 4 : 2))
        NextField();
    return true;
}

bool CDateEditModel::TypeChar(QChar c)
{
    if (c.isDigit() && c.unicode() < 128)
        return TypeDigit(c.unicode() - '0');
    if (!sep_.isEmpty() && c == sep_[0])
        NextField();
    return false;
}

void CDateEditModel::StepUp()
{
    digits_ = 0;
    switch (field_) {
    case Day:
        if (CalendarDate::IsValid(year_, month_, day_ + 1)) {
            ++day_;
        } else {
            day_ = 1;
            if (++month_ == 13) {
                month_ = 1;
                year_ = std::min(year_ + 1, 9999);
            }
        }
        break;
    case Month:
        if (++month_ == 13) {
            month_ = 1;
            year_ = std::min(year_ + 1, 9999);
        }
        if (!CalendarDate::IsValid(year_, month_, day_))
            day_ = 1;
        break;
    default:
        if (CalendarDate::IsValid(year_ + 1, month_, day_))
            ++year_;
        break;
    }
}

void CDateEditModel::StepDown()
{
    digits_ = 0;
    switch (field_) {
    case Day:
        if (--day_ == 0) {
            day_ = 31;
            if (--month_ == 0) {
                month_ = 12;
                year_ = std::max(year_ - 1, 0);
            }
            while (!CalendarDate::IsValid(year_, month_, day_))
                --day_;
        }
        break;
    case Month:
        if (--month_ == 0) {
            month_ = 12;
            year_ = std::max(year_ - 1, 0);
        }
        if (!CalendarDate::IsValid(year_, month_, day_))
            day_ = 1;
        break;
    default:
        if (CalendarDate::IsValid(year_ - 1, month_, day_))
            --year_;
        break;
    }
}

// ---------------------------------------------------------------- controls

CDateDropButton::CDateDropButton(CDateEdit* edit, QWidget* parent) : QToolButton(parent)
{
    setArrowType(Qt::DownArrow);
    setFocusPolicy(Qt::NoFocus);
    setFixedWidth(20);
    connect(this, &QToolButton::clicked, edit, &CDateEdit::OpenCalendar);
}

CDateEdit::CDateEdit(QWidget* parent) : QLineEdit(parent)
{
    setReadOnly(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    button_ = new CDateDropButton(this, parent ? parent : this);
    if (!parent)
        button_->hide();
    Redisplay();
}

CDateEdit::~CDateEdit()
{
    CloseCalendar();
    if (button_ && button_->parent() != this)
        delete button_;
}

CDateEdit* CDateEdit::ReplaceTemplateEdit(QWidget* templateEdit)
{
    if (!templateEdit || !templateEdit->parentWidget())
        return nullptr;
    QWidget* parent = templateEdit->parentWidget();
    auto* edit = new CDateEdit(parent);
    edit->setObjectName(templateEdit->objectName());
    templateEdit->setObjectName(QString());
    if (QLayout* layout = parent->layout(); layout && layout->indexOf(templateEdit) >= 0) {
        // In a layout the button sits in the edit's slot, right of it.
        auto* row = new QHBoxLayout;
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(4);
        row->addWidget(edit, 1);
        row->addWidget(edit->button_);
        auto* box = qobject_cast<QBoxLayout*>(layout);
        const int at = layout->indexOf(templateEdit);
        layout->removeWidget(templateEdit);
        if (box)
            box->insertLayout(at, row);
        else
            layout->addItem(row);
    } else {
        QRect r = templateEdit->geometry();
        r.setWidth(std::max(0, r.width() - 24));
        edit->setGeometry(r);
    }
    templateEdit->hide();
    templateEdit->deleteLater();
    edit->PlaceButton();
    edit->show();
    edit->button_->show();
    return edit;
}

void CDateEdit::PlaceButton()
{
    if (!button_ || button_->parent() == this || !parentWidget() || (parentWidget()->layout() &&
                                                                     parentWidget()->layout()->indexOf(button_) >= 0))
        return;
    // Outside a layout the button keeps to the edit's right, 4 pixels off.
    if (!parentWidget()->layout() || parentWidget()->layout()->indexOf(this) < 0) {
        const QRect g = geometry();
        button_->setGeometry(g.right() + 1 + 4, g.top(), 20, g.height());
    }
}

void CDateEdit::moveEvent(QMoveEvent* e)
{
    QLineEdit::moveEvent(e);
    PlaceButton();
}

void CDateEdit::resizeEvent(QResizeEvent* e)
{
    QLineEdit::resizeEvent(e);
    PlaceButton();
}

int CDateEdit::SetDate(int year, int month, int day)
{
    const int r = model_.SetDate(year, month, day);
    if (r == 0)
        Redisplay();
    return r;
}

void CDateEdit::SetDateOrder(int order)
{
    model_.SetDateOrder(order);
    Redisplay();
}

void CDateEdit::SetShortYear(bool on)
{
    model_.SetShortYear(on);
    Redisplay();
}

void CDateEdit::Redisplay()
{
    setText(model_.Text());
    int start = 0, length = 0;
    model_.FieldRange(model_.CurrentField(), start, length);
    setSelection(start, length);
}

void CDateEdit::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Down && (e->modifiers() & Qt::AltModifier)) {
        OpenCalendar();
        return;
    }
    switch (e->key()) {
    case Qt::Key_Up: model_.StepUp(); break;
    case Qt::Key_Down: model_.StepDown(); break;
    case Qt::Key_Right: model_.NextField(); break;
    case Qt::Key_Left: model_.PrevField(); break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Focus moves and dialog keys go on to the dialog.
        e->ignore();
        return;
    default:
        for (QChar c : e->text())
            model_.TypeChar(c);
        break;
    }
    Redisplay();
    e->accept();
}

void CDateEdit::mousePressEvent(QMouseEvent* e)
{
    setFocus(Qt::MouseFocusReason);
    model_.SetCurrentField(model_.FieldAt(cursorPositionAt(e->position().toPoint())));
    Redisplay();
}

void CDateEdit::mouseDoubleClickEvent(QMouseEvent* e) { mousePressEvent(e); }

void CDateEdit::focusInEvent(QFocusEvent* e)
{
    QLineEdit::focusInEvent(e);
    Redisplay();
}

bool CDateEdit::event(QEvent* e)
{
    if (e->type() == QEvent::LocaleChange) {
        model_.ReadLocale(locale());
        Redisplay();
    }
    if (e->type() == QEvent::ShortcutOverride) {
        // Arrow keys and digits belong to the fields, not to shortcuts.
        e->accept();
        return true;
    }
    return QLineEdit::event(e);
}

void CDateEdit::OpenCalendar()
{
    CloseCalendar();
    auto* cal = new CCalendarWnd;
    cal->setAttribute(Qt::WA_DeleteOnClose);
    int y, m, d;
    model_.GetDate(y, m, d);
    cal->SetDate(y, m, d);
    const QPoint bottomLeft = mapToGlobal(rect().bottomLeft());
    connect(cal, &CCalendarWnd::selectedDay, this, [this, cal] {
        int yy, mm, dd;
        cal->GetDate(yy, mm, dd);
        model_.SetDate(yy, mm, dd);
        CloseCalendar();
        Redisplay();
    });
    popup_ = cal;
    // 150 pixels square, or what the calendar needs in its fonts when more:
    // the longest month name and the year stay whole above the days.
    cal->Create(QRect(bottomLeft + QPoint(0, 1), QSize(150, 150).expandedTo(cal->minimumSizeHint())), this, 0,
                true);
}

void CDateEdit::CloseCalendar()
{
    if (popup_)
        popup_->close();  // deletes itself
    popup_ = nullptr;
}
