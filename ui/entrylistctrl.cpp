#include "entrylistctrl.h"

#include "uimsg.h"
#include "uiservices.h"
#include "wndmsg.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QResizeEvent>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

constexpr int kMaxText = 255;
constexpr int kToolTipString = 31488;

// Share of the usable width per list kind: denominator, then the numerators
// of columns 0, 1, 2 and of every further column.
struct KindShares { int den, c0, c1, c2, rest; };

KindShares SharesOf(int kind)
{
    switch (kind) {
    case 0: case 9: return {12, 2, 5, 5, 5};
    case 1: return {2, 1, 1, 1, 1};
    case 2: return {18, 2, 5, 6, 5};
    case 3: return {3, 1, 1, 1, 1};
    default: return {1, 1, 1, 1, 1};
    }
}

class EntryDelegate : public QStyledItemDelegate {
public:
    EntryDelegate(CEntryListCtrl* list, int* maxLength)
        : QStyledItemDelegate(list), maxLength_(maxLength) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& o,
                          const QModelIndex& i) const override
    {
        QWidget* w = QStyledItemDelegate::createEditor(parent, o, i);
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            // A label edit: framed over the row, as the desktop draws one.
            e->setFrame(true);
            if (*maxLength_ > 0)
                e->setMaxLength(*maxLength_);
        }
        return w;
    }
    void setEditorData(QWidget* editor, const QModelIndex& i) const override
    {
        QStyledItemDelegate::setEditorData(editor, i);
        // The old text stands selected: what is typed replaces it.
        if (auto* e = qobject_cast<QLineEdit*>(editor))
            e->selectAll();
    }

private:
    int* maxLength_;
};

}  // namespace

// ---------------------------------------------------------------- model

int CEntryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Rows();
}

int CEntryListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max<int>(1, static_cast<int>(headers_.size()));
}

QVariant CEntryListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= Rows())
        return QVariant();
    const Row& r = At(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return index.column() < r.texts.size() ? r.texts[index.column()] : QString();
    case Qt::DecorationRole:
        if (index.column() == 0 && r.image >= 0 && r.image < icons.size())
            return icons[r.image];
        return QVariant();
    case Qt::FontRole:
        if (r.param == 1) {
            QFont f = baseFont;
            f.setWeight(QFont::DemiBold);  // 600
            return f;
        }
        if (r.param == 2) {
            QFont f = baseFont;
            f.setItalic(true);
            return f;
        }
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant CEntryListModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section < headers_.size())
        return headers_[section];
    return QVariant();
}

Qt::ItemFlags CEntryListModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index) | Qt::ItemIsDragEnabled;
    if (editable && index.column() == 0)
        f |= Qt::ItemIsEditable;
    return f;
}

bool CEntryListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() != 0)
        return false;
    const QString text = value.toString().left(kMaxText);
    if (endEdit && !endEdit(index.row(), text))
        return false;
    // The handler may have rebuilt the rows; only a still-present row changes.
    if (index.row() < Rows())
        SetCellText(index.row(), 0, text);
    return true;
}

void CEntryListModel::InsertRow(int row, Row r)
{
    row = std::clamp(row, 0, Rows());
    beginInsertRows(QModelIndex(), row, row);
    rows_.insert(rows_.begin() + row, std::move(r));
    endInsertRows();
}

void CEntryListModel::RemoveRow(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

void CEntryListModel::Clear()
{
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void CEntryListModel::InsertColumnTitle(int column, const QString& title)
{
    column = std::clamp(column, 0, static_cast<int>(headers_.size()));
    const bool grows = !headers_.isEmpty();  // column 0 always exists for the view
    if (grows)
        beginInsertColumns(QModelIndex(), column, column);
    headers_.insert(column, title);
    for (Row& r : rows_)
        if (column <= r.texts.size())
            r.texts.insert(column, QString());
    if (grows)
        endInsertColumns();
    else
        emit headerDataChanged(Qt::Horizontal, 0, 0);
}

void CEntryListModel::RemoveColumnAt(int column)
{
    if (column < 0 || column >= headers_.size())
        return;
    beginResetModel();
    headers_.removeAt(column);
    for (Row& r : rows_)
        if (column < r.texts.size())
            r.texts.removeAt(column);
    endResetModel();
}

void CEntryListModel::SetCellText(int row, int column, const QString& text)
{
    Row& r = At(row);
    while (r.texts.size() <= column)
        r.texts.append(QString());
    r.texts[column] = text;
    MarkDirty(row);
}

void CEntryListModel::MarkDirty(int row)
{
    // A view answers every dataChanged by laying out its rows first; while a
    // list fills, one notice per event-loop turn keeps the fill linear.
    dirtyFirst_ = dirtyFirst_ < 0 ? row : std::min(dirtyFirst_, row);
    dirtyLast_ = std::max(dirtyLast_, row);
    if (!flushQueued_) {
        flushQueued_ = true;
        QMetaObject::invokeMethod(this, [this] { FlushDirty(); }, Qt::QueuedConnection);
    }
}

void CEntryListModel::FlushDirty()
{
    flushQueued_ = false;
    const int first = dirtyFirst_, last = std::min(dirtyLast_, Rows() - 1);
    dirtyFirst_ = dirtyLast_ = -1;
    if (first >= 0 && first <= last)
        emit dataChanged(index(first, 0), index(last, columnCount() - 1));
}

void CEntryListModel::SetImage(int row, int image)
{
    At(row).image = image;
    MarkDirty(row);
}

void CEntryListModel::SetParam(int row, int param)
{
    At(row).param = param;
    MarkDirty(row);
}

// ---------------------------------------------------------------- view

CEntryListCtrl::CEntryListCtrl(QWidget* parent) : QTreeView(parent), model_(new CEntryListModel(this))
{
    model_->baseFont = font();
    setModel(model_);
    setItemDelegate(new EntryDelegate(this, &editMaxLength_));
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setItemsExpandable(false);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setTextElideMode(Qt::ElideRight);
    setToolTip(UiLoadString(kToolTipString));
    header()->setStretchLastSection(false);
    // A narrow list may leave the donor column nothing; the header's
    // default minimum would push the columns past the edge instead.
    header()->setMinimumSectionSize(0);
    header()->setSectionsClickable(true);

    connect(header(), &QHeaderView::sectionClicked, this, &CEntryListCtrl::columnClicked);
    connect(header(), &QHeaderView::sectionResized, this, [this](int column, int, int) {
        // Only a divider dragged by the user counts as tracked.
        if (header()->underMouse())
            PostMessage(this, WM_LIST_COLUMN_TRACKED, 0, column);
    });
    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& i) { emit rowClicked(i.row()); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { emit selectionChangedRows(); });
}

CEntryListCtrl::~CEntryListCtrl() = default;

int CEntryListCtrl::ColumnWidth(int listKind, int column, int clientWidth, bool scrollBar)
{
    const int usable = clientWidth - (scrollBar ? 19 : 4);
    const KindShares s = SharesOf(listKind);
    const int num = column == 0 ? s.c0 : column == 1 ? s.c1 : column == 2 ? s.c2 : s.rest;
    return std::max(0, usable * num / s.den);
}

int CEntryListCtrl::sizeHintForColumn(int column) const
{
    // Widths come from the list kind, never from the contents (measuring
    // thousands of rows would stall the list).
    return header()->sectionSize(column);
}

int CEntryListCtrl::InsertColumn(const QString& title, int column, int listKind, bool scrollBar)
{
    listKind_ = listKind;
    scrollBar_ = scrollBar;
    lastColumn_ = std::max(lastColumn_, column);
    model_->InsertColumnTitle(column, title);
    const int c = std::min(column, GetColumnCount() - 1);
    header()->resizeSection(c, ColumnWidth(listKind, c, contentsRect().width(), scrollBar));
    FitSampledColumns();
    return c;
}

void CEntryListCtrl::RelayoutColumns(bool scrollBar)
{
    LayoutColumns(scrollBar);
    for (int c = 0; c <= lastColumn_ && c < GetColumnCount(); ++c)
        PostMessage(this, WM_LIST_COLUMN_TRACKED, 0, c);
}

void CEntryListCtrl::SetColumnSample(int column, const QString& sample)
{
    samples_[column] = sample;
    FitSampledColumns();
}

int CEntryListCtrl::SampleWidth(int column, const QString& sample) const
{
    // The cell as the style lays it out, in the widest of the row fonts
    // (unread rows are semi-bold, incomplete ones italic), with the row's
    // picture in column 0.
    QStyleOptionViewItem opt;
    initViewItemOption(&opt);
    opt.text = sample;
    opt.features |= QStyleOptionViewItem::HasDisplay;
    if (column == 0 && !model_->icons.isEmpty()) {
        opt.features |= QStyleOptionViewItem::HasDecoration;
        opt.icon = model_->icons.first();
    }
    int need = 0;
    QFont bold = model_->baseFont, italic = model_->baseFont;
    bold.setWeight(QFont::DemiBold);
    italic.setItalic(true);
    for (const QFont& f : {model_->baseFont, bold, italic}) {
        opt.font = f;
        opt.fontMetrics = QFontMetrics(f);
        need = std::max(need, style()->sizeFromContents(QStyle::CT_ItemViewItem, &opt, QSize(), this).width());
    }
    const QString title = model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    return std::max(need, header()->fontMetrics().horizontalAdvance(title) + 16);
}

void CEntryListCtrl::FitSampledColumns()
{
    const int count = GetColumnCount();
    for (auto it = samples_.cbegin(); it != samples_.cend(); ++it) {
        const int c = it.key();
        if (c >= count)
            continue;
        const int lack = SampleWidth(c, it.value()) - header()->sectionSize(c);
        if (lack <= 0)
            continue;
        int donor = -1;
        for (int o = 0; o < count; ++o)
            if (o != c && !samples_.contains(o) &&
                (donor < 0 || header()->sectionSize(o) > header()->sectionSize(donor)))
                donor = o;
        if (donor < 0)
            continue;
        // A sampled text shown whole matters more than the donor's share:
        // a narrow list may leave the donor nothing, never a cut date.
        const int give = std::min(lack, header()->sectionSize(donor));
        header()->resizeSection(donor, header()->sectionSize(donor) - give);
        header()->resizeSection(c, header()->sectionSize(c) + give);
    }
    // The columns together fit the list: the kinds that give every column
    // the whole width (the recipient directory's) would put all but the
    // first out of sight. Sampled columns come down to their samples, then
    // the widest column without a sample gives up the rest.
    const int usable = contentsRect().width() - (scrollBar_ ? 19 : 4);
    auto total = [&] {
        int sum = 0;
        for (int o = 0; o < count; ++o)
            sum += header()->sectionSize(o);
        return sum;
    };
    if (usable <= 0 || total() <= usable)
        return;
    for (auto it = samples_.cbegin(); it != samples_.cend() && total() > usable; ++it) {
        const int c = it.key();
        if (c >= count)
            continue;
        const int spare = header()->sectionSize(c) - SampleWidth(c, it.value());
        if (spare > 0)
            header()->resizeSection(c, header()->sectionSize(c) - std::min(spare, total() - usable));
    }
    bool sampled = false;
    for (auto it = samples_.cbegin(); it != samples_.cend(); ++it)
        sampled = sampled || it.key() < count;
    if (!sampled) {
        // Nothing to keep whole: every column keeps its proportion.
        const int sum = total();
        for (int o = 0; o < count; ++o)
            header()->resizeSection(o, header()->sectionSize(o) * usable / sum);
        return;
    }
    int donor = -1;
    for (int o = 0; o < count; ++o)
        if (!samples_.contains(o) && (donor < 0 || header()->sectionSize(o) > header()->sectionSize(donor)))
            donor = o;
    if (donor >= 0 && total() > usable)
        header()->resizeSection(donor, std::max(0, header()->sectionSize(donor) - (total() - usable)));
}

void CEntryListCtrl::LayoutColumns(bool scrollBar)
{
    scrollBar_ = scrollBar;
    for (int c = 0; c <= lastColumn_ && c < GetColumnCount(); ++c)
        header()->resizeSection(c, ColumnWidth(listKind_, c, contentsRect().width(), scrollBar));
    FitSampledColumns();
}

void CEntryListCtrl::resizeEvent(QResizeEvent* e)
{
    QTreeView::resizeEvent(e);
    // Widths follow the list's own width: a wider list gives its columns,
    // and so the donor, more room.
    if (e->size().width() != e->oldSize().width() && lastColumn_ >= 0)
        LayoutColumns(scrollBar_);
}

void CEntryListCtrl::DeleteAllColumns()
{
    samples_.clear();
    while (model_->columnCount() > 0 && model_->headerData(0, Qt::Horizontal, Qt::DisplayRole).isValid())
        model_->RemoveColumnAt(0);
    lastColumn_ = -1;
}

int CEntryListCtrl::GetColumnCount() const
{
    int n = 0;
    while (model_->headerData(n, Qt::Horizontal, Qt::DisplayRole).isValid())
        ++n;
    return n;
}

int CEntryListCtrl::RowHeight() const
{
    // Rows are uniform: ask the delegate once for a row's height. Asking the
    // view would lay out every row first, on every insertion.
    if (rowHeight_ <= 0 && model_->Rows() > 0) {
        QStyleOptionViewItem opt;
        initViewItemOption(&opt);
        rowHeight_ = itemDelegate()->sizeHint(opt, model_->index(0, 0)).height();
    }
    return rowHeight_ > 0 ? rowHeight_ : fontMetrics().height() + 4;
}

int CEntryListCtrl::RowsPerPage() const
{
    return std::max(1, viewport()->height() / RowHeight());
}

int CEntryListCtrl::SetRowText(int row, int column, const QString& text, int image, int param)
{
    const QString cut = text.left(kMaxText);
    if (column == 0) {
        if (model_->Rows() == RowsPerPage())
            RelayoutColumns(true);
        CEntryListModel::Row r;
        r.texts = QStringList{cut};
        r.image = image;
        r.param = param;
        row = std::clamp(row, 0, model_->Rows());
        model_->InsertRow(row, std::move(r));
        return row;
    }
    if (row < 0 || row >= model_->Rows())
        return -1;
    model_->SetCellText(row, column, cut);
    return row;
}

void CEntryListCtrl::SetRowMarked(int row)
{
    if (row < 0 || row >= model_->Rows())
        return;
    model_->SetImage(row, 1);
    model_->SetParam(row, 0);
}

bool CEntryListCtrl::DeleteRow(int row)
{
    if (row < 0 || row >= model_->Rows())
        return false;
    model_->RemoveRow(row);
    const int left = model_->Rows();
    if (left == RowsPerPage())
        RelayoutColumns(false);
    if (left > 0 && GetSelectedCount() == 0) {
        const int focus = row - 1 >= 0 ? row - 1 : 0;
        FocusRow(std::min(focus, left - 1));
    }
    return true;
}

void CEntryListCtrl::DeleteAllRows() { model_->Clear(); }

QString CEntryListCtrl::GetRowText(int row, int column) const
{
    if (row < 0 || row >= model_->Rows())
        return QString();
    const QStringList& t = model_->At(row).texts;
    return column >= 0 && column < t.size() ? t[column] : QString();
}

int CEntryListCtrl::GetRowImage(int row) const
{
    return row >= 0 && row < model_->Rows() ? model_->At(row).image : -1;
}

int CEntryListCtrl::GetRowParam(int row) const
{
    return row >= 0 && row < model_->Rows() ? model_->At(row).param : 0;
}

void CEntryListCtrl::AllocLocations(int rows, bool reset)
{
    if (reset)
        for (int r = 0; r < model_->Rows(); ++r)
            model_->At(r).location = -1;
    if (rows > 0)
        model_->Reserve(rows);
}

bool CEntryListCtrl::SetLocation(int row, std::int32_t location)
{
    if (row < 0 || row >= model_->Rows())
        return false;
    model_->At(row).location = location;
    return true;
}

std::int32_t CEntryListCtrl::GetLocation(int row) const
{
    return row >= 0 && row < model_->Rows() ? model_->At(row).location : -1;
}

int CEntryListCtrl::FindRowByLocation(std::int32_t location) const
{
    for (int r = 0; r < model_->Rows(); ++r)
        if (model_->At(r).location == location)
            return r;
    return -1;
}

int CEntryListCtrl::FindInsertRow(std::int32_t location) const
{
    int lo = 0, hi = model_->Rows();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (model_->At(mid).location < location)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

int CEntryListCtrl::SelectRow(int row)
{
    if (model_->Rows() == 0)
        return -1;
    if (row < 0 || row >= model_->Rows())
        return 0;
    const QModelIndex i = model_->index(row, 0);
    selectionModel()->select(i, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::NoUpdate);
    scrollTo(i);
    setFocus();
    return 1;
}

int CEntryListCtrl::DeselectRow(int row)
{
    if (model_->Rows() == 0)
        return -1;
    if (row < 0 || row >= model_->Rows())
        return 0;
    selectionModel()->select(model_->index(row, 0),
                             QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    return 1;
}

int CEntryListCtrl::FocusRow(int row)
{
    if (model_->Rows() == 0 || row < 0 || row >= model_->Rows())
        return 0;
    const QModelIndex i = model_->index(row, 0);
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::NoUpdate);
    scrollTo(i);
    setFocus();
    return 1;
}

void CEntryListCtrl::SelectAll()
{
    if (model_->Rows() == 0)
        return;
    QItemSelection all(model_->index(0, 0), model_->index(model_->Rows() - 1, 0));
    selectionModel()->select(all, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void CEntryListCtrl::DeselectAll() { selectionModel()->clearSelection(); }

bool CEntryListCtrl::IsRowSelected(int row) const
{
    return row >= 0 && row < model_->Rows() && selectionModel()->isRowSelected(row, QModelIndex());
}

QList<int> CEntryListCtrl::GetSelectedRows() const
{
    QList<int> rows;
    for (const QModelIndex& i : selectionModel()->selectedRows())
        rows.append(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int CEntryListCtrl::GetSelectedCount() const
{
    return static_cast<int>(selectionModel()->selectedRows().size());
}

std::int32_t CEntryListCtrl::GetSelectedLocation() const
{
    const int row = GetSingleSelectedRow();
    return row < 0 ? -1 : GetLocation(row);
}

int CEntryListCtrl::GetSingleSelectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.first().row() : -1;
}

void CEntryListCtrl::SetEditingAllowed(bool allowed, int maxLength)
{
    model_->editable = allowed;
    editMaxLength_ = maxLength;
    setEditTriggers(allowed ? QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed
                            : QAbstractItemView::NoEditTriggers);
}

void CEntryListCtrl::SetEndEditHandler(std::function<bool(int, const QString&)> handler)
{
    model_->endEdit = std::move(handler);
}

QLineEdit* CEntryListCtrl::EditRow(int row)
{
    if (!model_->editable || row < 0 || row >= model_->Rows())
        return nullptr;
    const QModelIndex i = model_->index(row, 0);
    if (!edit(i, QAbstractItemView::AllEditTriggers, nullptr))
        return nullptr;
    return qobject_cast<QLineEdit*>(indexWidget(i));
}

QLineEdit* CEntryListCtrl::SelectAndEdit(int row)
{
    SelectRow(row);
    return EditRow(row);
}

QLineEdit* CEntryListCtrl::EditSelected()
{
    QLineEdit* last = nullptr;
    for (int row : GetSelectedRows()) {
        SelectRow(row);
        last = EditRow(row);
    }
    return last;
}

void CEntryListCtrl::SetImageList(const QList<QIcon>& icons)
{
    model_->icons = icons;
    if (model_->Rows() > 0)
        emit model_->dataChanged(model_->index(0, 0), model_->index(model_->Rows() - 1, 0),
                                 {Qt::DecorationRole});
}

void CEntryListCtrl::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Delete && state() != QAbstractItemView::EditingState) {
        PostMessage(parentWidget(), WM_LIST_DELETE_KEY, reinterpret_cast<std::uintptr_t>(this), 0);
        e->accept();
        return;
    }
    QTreeView::keyPressEvent(e);
}

void CEntryListCtrl::contextMenuEvent(QContextMenuEvent* e)
{
    PostMessage(parentWidget(), WM_RBUTTONDOWN, static_cast<std::uintptr_t>(-1), -1);
    e->accept();
}

void CEntryListCtrl::PostFocusRow()
{
    if (hasFocus() && currentIndex().isValid())
        PostMessage(parentWidget(), WM_LIST_FOCUS_ROW, reinterpret_cast<std::uintptr_t>(this), 0);
}

void CEntryListCtrl::focusInEvent(QFocusEvent* e)
{
    QTreeView::focusInEvent(e);
    viewport()->update();
    PostFocusRow();
}

void CEntryListCtrl::focusOutEvent(QFocusEvent* e)
{
    QTreeView::focusOutEvent(e);
    viewport()->update();
}

void CEntryListCtrl::paintEvent(QPaintEvent* e)
{
    QTreeView::paintEvent(e);
    // A focused list shows it on its current row; without one (an empty
    // list) the keyboard's place would not show at all, so the list is
    // framed in the accent colour the screens' focus frames use.
    if (hasFocus() && !currentIndex().isValid()) {
        QPainter p(viewport());
        p.setPen(QPen(QColor(0xE0, 0x7A, 0x2F), 2));
        p.drawRect(QRectF(viewport()->rect()).adjusted(1, 1, -1, -1));
    }
}

void CEntryListCtrl::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTreeView::currentChanged(current, previous);
    PostFocusRow();
}

void CEntryListCtrl::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::FontChange) {
        rowHeight_ = 0;
        model_->baseFont = font();
    }
    QTreeView::changeEvent(e);
}

void CEntryListCtrl::startDrag(Qt::DropActions)
{
    // The owner decides what a drag carries (internal drag or a drag of
    // entries to other panes and programs).
    emit dragStarted();
}

QIcon CEntryListCtrl::GetRowIcon(int row) const
{
    if (row < 0 || row >= GetRowCount())
        return QIcon();
    return model_->data(model_->index(row, 0), Qt::DecorationRole).value<QIcon>();
}
