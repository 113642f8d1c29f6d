#include "ui/domainlistview.h"

#include <QAccessible>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace {

// No domain name is longer; a longer entry is measured by its start and shown cut off.
constexpr int MaxMeasuredChars = 256;

} // namespace

int DomainListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_names.size());
}

QVariant DomainListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_names.size())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return m_names.at(index.row());
    return QVariant();
}

void DomainListModel::append(const QStringList &names)
{
    if (names.isEmpty())
        return;
    const int first = int(m_names.size());
    beginInsertRows(QModelIndex(), first, first + int(names.size()) - 1);
    m_names.append(names);
    endInsertRows();
}

void DomainListModel::clear()
{
    beginResetModel();
    m_names.clear();
    m_names.squeeze();
    endResetModel();
}

DomainListView::DomainListView(QWidget *parent)
    : QListView(parent)
{
    m_model = new DomainListModel(this);
    setModel(m_model);
    setToolTip(QStringLiteral("按 Ctrl+B 打开域名工作台：整个列表排序、筛选、批量查询、导出"));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The scroll bar counts rows: wheel and arrows move whole entries, as in a list box.
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setUniformItemSizes(true);
}

int DomainListView::count() const
{
    return int(m_model->names().size());
}

int DomainListView::currentRow() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.constFirst().row();
}

void DomainListView::setCurrentRow(int row)
{
    if (row < 0 || row >= count()) {
        selectionModel()->clearSelection();
        return;
    }
    const QModelIndex entry = m_model->index(row);
    selectionModel()->setCurrentIndex(entry, QItemSelectionModel::ClearAndSelect);
    scrollTo(entry);
}

QString DomainListView::selectedDomain() const
{
    const int row = currentRow();
    return row >= 0 ? m_model->names().at(row) : QString();
}

void DomainListView::clear()
{
    m_model->clear();
}

void DomainListView::append(const QStringList &names)
{
    m_model->append(names);
}

void DomainListView::mousePressEvent(QMouseEvent *event)
{
    // Qt's views select on any press; a right press opens the menu instead and leaves the selection,
    // and the current entry, as they were.
    if (event->button() == Qt::RightButton) {
        event->accept();
        emit menuRequested(event->globalPosition().toPoint());
        return;
    }
    QListView::mousePressEvent(event);
}

void DomainListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QListView::mouseDoubleClickEvent(event);
    emit entryDoubleClicked();
}

QItemSelectionModel::SelectionFlags DomainListView::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    // Only a plain left click (Shift allowed) and the keyboard choose the entry that the menu acts on: a
    // middle click or a Ctrl+click leaves the selection as it was, and so does a click below the entries.
    if (event && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease
                  || event->type() == QEvent::MouseMove)) {
        const auto *mouse = static_cast<const QMouseEvent *>(event);
        const bool leftButton = mouse->type() == QEvent::MouseMove ? (mouse->buttons() & Qt::LeftButton)
                                                                   : mouse->button() == Qt::LeftButton;
        if (!leftButton || (mouse->modifiers() & Qt::ControlModifier) || !index.isValid())
            return QItemSelectionModel::NoUpdate;
        return QItemSelectionModel::ClearAndSelect;
    }
    return QListView::selectionCommand(index, event);
}

// ---- geometry: row r lies at r * rowHeight() ----

int DomainListView::rowHeight() const
{
    if (m_rowHeight > 0 || count() == 0)
        return m_rowHeight;
    // Every entry is one line of text: the first one measures them all.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QModelIndex first = m_model->index(0);
    const QSize size = itemDelegateForIndex(first)->sizeHint(option, first);
    m_rowHeight = std::max(1, size.height());
    m_entryPadding = std::max(0, size.width() - fontMetrics().horizontalAdvance(m_model->names().constFirst()));
    return m_rowHeight;
}

int DomainListView::entryWidth(const QString &name) const
{
    rowHeight(); // measures the padding
    return m_entryPadding
        + fontMetrics().horizontalAdvance(name, int(std::min<qsizetype>(name.size(), MaxMeasuredChars)));
}

int DomainListView::rowsPerPage() const
{
    if (m_rowsPerPage > 0)
        return m_rowsPerPage;
    const int height = rowHeight();
    return height > 0 ? std::max(1, viewport()->height() / height) : 1;
}

int DomainListView::contentWidth() const
{
    return std::max(m_widestEntry, viewport()->width());
}

bool DomainListView::isListEntry(const QModelIndex &index) const
{
    return index.isValid() && index.model() == m_model && index.column() == 0 && !index.parent().isValid()
        && index.row() < count();
}

void DomainListView::remeasure()
{
    m_rowHeight = 0;
    m_widestEntry = 0;
    for (const QString &name : m_model->names())
        m_widestEntry = std::max(m_widestEntry, entryWidth(name));
    updateScrollBars();
    viewport()->update();
}

void DomainListView::updateScrollBars()
{
    const int rows = count();
    const int height = rowHeight();
    if (rows == 0 || height <= 0) {
        m_rowsPerPage = 0;
        verticalScrollBar()->setRange(0, 0);
        horizontalScrollBar()->setRange(0, 0);
        return;
    }
    // Which bars show is worked out here, not left to the scroll area: a bar takes room from the other
    // direction, and the rows per page must count without the room a horizontal bar is about to take,
    // or the last entry would end up under it. Bars only ever turn on, so two rounds settle it.
    const QSize room = maximumViewportSize();
    const Qt::ScrollBarPolicy across = horizontalScrollBarPolicy();
    const Qt::ScrollBarPolicy down = verticalScrollBarPolicy();
    const int barHeight = horizontalScrollBar()->sizeHint().height();
    const int barWidth = verticalScrollBar()->sizeHint().width();
    bool acrossBar = across == Qt::ScrollBarAlwaysOn;
    bool downBar = down == Qt::ScrollBarAlwaysOn;
    for (int round = 0; round < 2; ++round) {
        acrossBar = acrossBar
            || (across == Qt::ScrollBarAsNeeded && m_widestEntry > room.width() - (downBar ? barWidth : 0));
        downBar = downBar
            || (down == Qt::ScrollBarAsNeeded && qint64(rows) * height > room.height() - (acrossBar ? barHeight : 0));
    }
    const int viewWidth = room.width() - (downBar ? barWidth : 0);
    const int viewHeight = room.height() - (acrossBar ? barHeight : 0);
    m_rowsPerPage = std::max(1, viewHeight / height);

    horizontalScrollBar()->setRange(0, acrossBar ? std::max(0, m_widestEntry - viewWidth) : 0);
    horizontalScrollBar()->setPageStep(viewWidth);
    horizontalScrollBar()->setSingleStep(height);
    verticalScrollBar()->setRange(0, std::max(0, rows - m_rowsPerPage));
    verticalScrollBar()->setPageStep(m_rowsPerPage);
    verticalScrollBar()->setSingleStep(1);
}

QRect DomainListView::visualRect(const QModelIndex &index) const
{
    if (!isListEntry(index) || rowHeight() <= 0)
        return QRect();
    const int height = rowHeight();
    return QRect(-horizontalOffset(), (index.row() - verticalScrollBar()->value()) * height, contentWidth(), height);
}

void DomainListView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!isListEntry(index) || rowHeight() <= 0)
        return;
    const int row = index.row();
    const int page = rowsPerPage();
    const int top = verticalScrollBar()->value();
    int wanted = top;
    switch (hint) {
    case EnsureVisible:
        if (row < top)
            wanted = row;
        else if (row >= top + page)
            wanted = row - page + 1;
        break;
    case PositionAtTop:
        wanted = row;
        break;
    case PositionAtBottom:
        wanted = row - page + 1;
        break;
    case PositionAtCenter:
        wanted = row - (page - 1) / 2;
        break;
    }
    verticalScrollBar()->setValue(wanted);
    if (verticalScrollBar()->value() == top)
        viewport()->update(visualRect(index));
}

QModelIndex DomainListView::indexAt(const QPoint &point) const
{
    const int height = rowHeight();
    if (height <= 0 || point.y() < 0)
        return QModelIndex();
    const int row = point.y() / height + verticalScrollBar()->value();
    if (row >= count())
        return QModelIndex();
    const QModelIndex index = m_model->index(row);
    return visualRect(index).contains(point) ? index : QModelIndex();
}

void DomainListView::doItemsLayout()
{
    // Nothing to lay out: only the scroll bars follow the list's size.
    QAbstractItemView::doItemsLayout();
}

void DomainListView::reset()
{
    QListView::reset();
    m_rowHeight = 0;
    m_widestEntry = 0;
    updateScrollBars();
}

bool DomainListView::event(QEvent *event)
{
    const bool handled = QListView::event(event);
    if (m_model && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange))
        remeasure();
    return handled;
}

void DomainListView::paintEvent(QPaintEvent *event)
{
    const int rows = count();
    const int height = rowHeight();
    if (rows == 0 || height <= 0 || !itemDelegate())
        return;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    QPainter painter(viewport());

    const int top = verticalScrollBar()->value();
    const int first = std::max(0, event->rect().top()) / height + top;
    const int last = std::min(rows - 1, std::max(0, event->rect().bottom()) / height + top);
    const QModelIndex current = currentIndex();
    const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    const int hoverRow = viewport()->underMouse() ? indexAt(viewport()->mapFromGlobal(QCursor::pos())).row() : -1;
    const QStyle::State state = option.state;
    const bool enabled = (state & QStyle::State_Enabled) != 0;
    const QItemSelectionModel *selection = selectionModel();

    for (int row = first; row <= last; ++row) {
        const QModelIndex index = m_model->index(row);
        option.rect = visualRect(index);
        option.state = state;
        if (selection && selection->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (enabled) {
            const bool itemEnabled = (m_model->flags(index) & Qt::ItemIsEnabled) != 0;
            if (!itemEnabled)
                option.state &= ~QStyle::State_Enabled;
            option.palette.setCurrentColorGroup(itemEnabled ? QPalette::Normal : QPalette::Disabled);
        }
        if (focus && index == current)
            option.state |= QStyle::State_HasFocus;
        if (row == hoverRow)
            option.state |= QStyle::State_MouseOver;
        else
            option.state &= ~QStyle::State_MouseOver;
        if (alternatingRowColors()) {
            option.features.setFlag(QStyleOptionViewItem::Alternate, row % 2 == 1);
            QStyleOptionViewItem background = option;
            background.state &= ~QStyle::State_Selected;
            style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &background, &painter, this);
        }
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

void DomainListView::scrollContentsBy(int dx, int dy)
{
    // The vertical bar counts rows.
    const int pixels = dy * rowHeight();
    scrollDirtyRegion(dx, pixels);
    viewport()->scroll(dx, pixels);
}

int DomainListView::horizontalOffset() const
{
    return horizontalScrollBar()->value();
}

int DomainListView::verticalOffset() const
{
    return verticalScrollBar()->value() * rowHeight();
}

QModelIndex DomainListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    Q_UNUSED(modifiers)
    const int rows = count();
    if (rows == 0)
        return QModelIndex();
    const QModelIndex current = currentIndex();
    if (!isListEntry(current))
        return m_model->index(0);
    const int row = current.row();
    // A page moves by one row less than a page, so that one entry stays in sight.
    const int page = std::max(1, rowsPerPage() - 1);
    int wanted = row;
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
        wanted = row - 1;
        break;
    case MoveDown:
    case MoveNext:
        wanted = row + 1;
        break;
    case MovePageUp:
        wanted = row - page;
        break;
    case MovePageDown:
        wanted = row + page;
        break;
    case MoveHome:
        wanted = 0;
        break;
    case MoveEnd:
        wanted = rows - 1;
        break;
    case MoveLeft:
    case MoveRight:
        break;
    }
    return m_model->index(std::clamp(wanted, 0, rows - 1));
}

void DomainListView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    QItemSelection selection;
    const int rows = count();
    const int height = rowHeight();
    if (rows > 0 && height > 0) {
        const QRect area = rect.normalized();
        const qint64 top = qint64(area.top()) + verticalOffset();
        const qint64 bottom = qint64(area.bottom()) + verticalOffset();
        if (bottom >= 0 && top < qint64(rows) * height) {
            const int first = int(std::max<qint64>(0, top) / height);
            const int last = int(std::min<qint64>(rows - 1, bottom / height));
            selection.select(m_model->index(first), m_model->index(last));
        }
    }
    selectionModel()->select(selection, command);
}

QRegion DomainListView::visualRegionForSelection(const QItemSelection &selection) const
{
    QRegion region;
    const QRect visible = viewport()->rect();
    for (const QItemSelectionRange &range : selection) {
        if (!range.isValid() || range.model() != m_model || range.parent().isValid())
            continue;
        const QRect rows = visualRect(m_model->index(range.top())).united(visualRect(m_model->index(range.bottom())));
        region += rows.intersected(visible);
    }
    return region;
}

bool DomainListView::isIndexHidden(const QModelIndex &index) const
{
    Q_UNUSED(index)
    return false;
}

void DomainListView::updateGeometries()
{
    updateScrollBars();
    QAbstractItemView::updateGeometries();
}

QSize DomainListView::viewportSizeHint() const
{
    const qint64 height = qint64(count()) * rowHeight();
    return QSize(m_widestEntry, int(std::min<qint64>(height, QWIDGETSIZE_MAX)));
}

void DomainListView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    // Not QListView's handler: it would lay out every row again.
    QAbstractItemView::rowsInserted(parent, start, end);
    if (parent.isValid())
        return;
    const QStringList &names = m_model->names();
    for (int row = start; row <= end && row < names.size(); ++row)
        m_widestEntry = std::max(m_widestEntry, entryWidth(names.at(row)));
    updateScrollBars();
    // Rows appended out of sight need no paint.
    const QRect added = visualRect(m_model->index(start)).united(visualRect(m_model->index(end)));
    if (added.intersects(viewport()->rect()))
        viewport()->update(added.intersected(viewport()->rect()));
}

void DomainListView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

// Accessibility events name the entry by its row (the list has one column).
void DomainListView::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
#if QT_CONFIG(accessibility)
    if (QAccessible::isActive()) {
        if (const QModelIndex added = selected.indexes().value(0); isListEntry(added)) {
            QAccessibleEvent event(this, QAccessible::SelectionAdd);
            event.setChild(added.row());
            QAccessible::updateAccessibility(&event);
        }
        if (const QModelIndex removed = deselected.indexes().value(0); isListEntry(removed)) {
            QAccessibleEvent event(this, QAccessible::SelectionRemove);
            event.setChild(removed.row());
            QAccessible::updateAccessibility(&event);
        }
    }
#endif
    QAbstractItemView::selectionChanged(selected, deselected);
}

void DomainListView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
#if QT_CONFIG(accessibility)
    if (QAccessible::isActive() && isListEntry(current) && hasFocus()) {
        QAccessibleEvent event(this, QAccessible::Focus);
        event.setChild(current.row());
        QAccessible::updateAccessibility(&event);
    }
#endif
    QAbstractItemView::currentChanged(current, previous);
}
