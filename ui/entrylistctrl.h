// The report list of every list pane: phonebook and message lists, the
// recipient directory, melodies and the object-list panels.
//
// A model/view list (one model row per entry, no widget per row), so lists of
// tens of thousands of entries fill and scroll quickly. Each row carries its
// texts, its image, a font parameter (1 semi-bold, 2 italic) and the storage
// location of the entry it shows. Locations are 32-bit and live with their
// row: inserting or deleting a row moves its location with it, so there is no
// separate slot array to keep in step (and nothing to remove after DeleteRow).
//
// Column widths follow proportions chosen by a list kind (0-9). The parent
// window is told about the Delete key (0x7F5), the context-menu key (0x204
// with wParam and lParam -1) and the focused row (0x7F4).
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QList>
#include <QMap>
#include <QTreeView>

#include <cstdint>
#include <functional>
#include <vector>

class QLineEdit;

class CEntryListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Row {
        QStringList texts;
        int image = -1;
        int param = 0;
        std::int32_t location = -1;
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    void InsertRow(int row, Row r);
    void RemoveRow(int row);
    void Clear();
    void InsertColumnTitle(int column, const QString& title);
    void RemoveColumnAt(int column);
    void SetCellText(int row, int column, const QString& text);
    void SetImage(int row, int image);
    void SetParam(int row, int param);
    void Reserve(int rows) { rows_.reserve(static_cast<size_t>(rows)); }

    Row& At(int row) { return rows_[static_cast<size_t>(row)]; }
    const Row& At(int row) const { return rows_[static_cast<size_t>(row)]; }
    int Rows() const { return static_cast<int>(rows_.size()); }

    QList<QIcon> icons;
    QFont baseFont;
    bool editable = false;
    // Decides a label edit: true keeps the typed text in column 0.
    std::function<bool(int row, const QString& text)> endEdit;

private:
    void MarkDirty(int row);
    void FlushDirty();

    std::vector<Row> rows_;
    QStringList headers_;
    int dirtyFirst_ = -1, dirtyLast_ = -1;
    bool flushQueued_ = false;
};

class CEntryListCtrl : public QTreeView {
    Q_OBJECT
public:
    explicit CEntryListCtrl(QWidget* parent = nullptr);
    ~CEntryListCtrl() override;

    // Width of a column for a list kind: the usable width (client width less
    // 19 when a vertical scroll bar is expected, less 4 otherwise) times the
    // kind's share for that column.
    static int ColumnWidth(int listKind, int column, int clientWidth, bool scrollBar);

    // Columns.
    int InsertColumn(const QString& title, int column, int listKind, bool scrollBar);
    void RelayoutColumns(bool scrollBar);
    // The widest text a column shows (a three-digit location, a full number,
    // a date and time): the column is at least that wide in any row font,
    // with its heading and its rows' picture, and the widest column without
    // a sample (the donor) gives up the room, all of it if need be. Rows are
    // never measured. A list that changes width lays its columns out again.
    void SetColumnSample(int column, const QString& sample);
    void DeleteAllColumns();
    int GetColumnCount() const;
    int GetListKind() const { return listKind_; }

    // Rows. Column 0 inserts a new row (at most at the end); other columns set
    // a text of an existing row. Texts are cut to 255 characters.
    int SetRowText(int row, int column, const QString& text, int image = -1, int param = 0);
    void SetRowMarked(int row);
    bool DeleteRow(int row);
    void DeleteAllRows();
    int GetRowCount() const { return model_->Rows(); }
    QString GetRowText(int row, int column) const;
    int GetRowImage(int row) const;
    // The picture the row shows (none when it has no image).
    QIcon GetRowIcon(int row) const;
    int GetRowParam(int row) const;
    // Rows that fit the visible area (at least 1).
    int RowsPerPage() const;

    // Locations. AllocLocations reserves room for that many rows; every row
    // holds its own location (-1 until set).
    void AllocLocations(int rows, bool reset);
    bool SetLocation(int row, std::int32_t location);
    std::int32_t GetLocation(int row) const;
    int FindRowByLocation(std::int32_t location) const;
    // First row whose location is not smaller (owners keep rows ascending).
    int FindInsertRow(std::int32_t location) const;

    // Selection.
    int SelectRow(int row);
    int DeselectRow(int row);
    int FocusRow(int row);
    void SelectAll();
    void DeselectAll();
    bool IsRowSelected(int row) const;
    QList<int> GetSelectedRows() const;  // ascending
    int GetSelectedCount() const;
    std::int32_t GetSelectedLocation() const;
    int GetSingleSelectedRow() const;

    // In-place editing of column 0.
    void SetEditingAllowed(bool allowed, int maxLength = 0);
    void SetEndEditHandler(std::function<bool(int row, const QString& text)> handler);
    QLineEdit* EditRow(int row);
    QLineEdit* SelectAndEdit(int row);
    QLineEdit* EditSelected();

    // Small images (index = the row's image).
    void SetImageList(const QList<QIcon>& icons);

    // 0: highlight the label only; 1 and 2: the whole row.
    void SetHighlightMode(int mode) { highlightMode_ = mode; }
    int GetHighlightMode() const { return highlightMode_; }

    CEntryListModel* Model() const { return model_; }

signals:
    void rowClicked(int row);
    void columnClicked(int column);
    void selectionChangedRows();
    void dragStarted();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void startDrag(Qt::DropActions actions) override;
    void changeEvent(QEvent* e) override;
    int sizeHintForColumn(int column) const override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void PostFocusRow();
    int RowHeight() const;
    // Widens the sampled columns to their samples, from the widest other one.
    void FitSampledColumns();
    // What a sampled column needs to show its sample whole.
    int SampleWidth(int column, const QString& sample) const;
    // The list kind's shares of the current width, then the samples.
    void LayoutColumns(bool scrollBar);

    CEntryListModel* model_;
    int listKind_ = 0;
    int lastColumn_ = -1;
    bool scrollBar_ = false;  // as the columns were last laid out
    QMap<int, QString> samples_;
    int highlightMode_ = 2;
    int editMaxLength_ = 0;
    mutable int rowHeight_ = 0;
};
