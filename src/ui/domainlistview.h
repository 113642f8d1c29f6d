// The domain list: a plain, unsorted list box of text entries with at most one selected.
// Long collections reach 100,000 entries and more, so entries live in a flat model and are
// appended a page at a time.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QStringList>

class DomainListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    const QStringList &names() const { return m_names; }
    void append(const QStringList &names);
    void clear();

private:
    QStringList m_names;
};

// A list box: one column of one-line entries, all of the same height, top to bottom. Where an
// entry lies is arithmetic (row times row height), so appending costs the entries appended and
// nothing for those already listed; QListView's own layout pass walks every row on each insert.
// It stays a QListView so that the skin's list rules and the list's accessibility apply; the
// layout settings of QListView (flow, wrapping, grid, spacing, view mode, hidden rows) are not used.
class DomainListView : public QListView
{
    Q_OBJECT
public:
    explicit DomainListView(QWidget *parent = nullptr);

    int count() const;
    // The selected entry's row, -1 when none is selected. The menu's commands act on it.
    int currentRow() const;
    // Selects the entry at row and scrolls it into view; -1 selects none.
    void setCurrentRow(int row);
    // The selected entry's text, empty when none is selected.
    QString selectedDomain() const;
    const QStringList &names() const { return m_model->names(); }
    void clear();
    // Appends a block of entries at once: one model change, one repaint.
    void append(const QStringList &names);

    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;
    void doItemsLayout() override;
    void reset() override;

signals:
    // The right button went down on the list, at this point of the screen.
    void menuRequested(const QPoint &globalPosition);
    void entryDoubleClicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;

    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    bool isIndexHidden(const QModelIndex &index) const override;
    void updateGeometries() override;
    QSize viewportSizeHint() const override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void dataChanged(
        const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles = QList<int>()) override;
    void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    // Height of every row in pixels; 0 while there is no entry to measure.
    int rowHeight() const;
    int entryWidth(const QString &name) const;
    // Rows wholly visible at once, at least 1.
    int rowsPerPage() const;
    int contentWidth() const;
    bool isListEntry(const QModelIndex &index) const;
    // Row heights and widths are measured again after a font or style change.
    void remeasure();
    void updateScrollBars();

    DomainListModel *m_model = nullptr;
    mutable int m_rowHeight = 0;
    // What the item adds to its text's width: margins and padding.
    mutable int m_entryPadding = 0;
    int m_widestEntry = 0;
    // Rows wholly visible, counted with the scroll bars the list is about to show; 0 until measured.
    int m_rowsPerPage = 0;
};
