#include "app/domainlist.h"

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

DomainList::DomainList(QWidget *parent)
    : QListView(parent)
{
    m_model = new DomainListModel(this);
    setModel(m_model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The scroll bar counts rows: wheel and arrows move whole entries, as in a list box.
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setUniformItemSizes(true);
}

int DomainList::ListCount() const
{
    return int(m_model->names().size());
}

int DomainList::ListIndex() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.constFirst().row();
}

void DomainList::setListIndex(int index)
{
    if (index < 0 || index >= ListCount()) {
        selectionModel()->clearSelection();
        return;
    }
    const QModelIndex entry = m_model->index(index);
    selectionModel()->setCurrentIndex(entry, QItemSelectionModel::ClearAndSelect);
    scrollTo(entry);
}

QString DomainList::List(int index) const
{
    return index >= 0 && index < ListCount() ? m_model->names().at(index) : QString();
}

QString DomainList::text() const
{
    return List(ListIndex());
}

void DomainList::Clear()
{
    m_model->clear();
}

void DomainList::AddItem(const QString &name)
{
    m_model->append(QStringList { name });
}

void DomainList::AddItems(const QStringList &names)
{
    m_model->append(names);
}

void DomainList::mousePressEvent(QMouseEvent *event)
{
    // Qt's views select on any press; a right press opens the popup menu instead and must
    // leave the selection, and the current entry, as they were.
    if (event->button() == Qt::RightButton)
        event->accept();
    else
        QListView::mousePressEvent(event);
    emit mouseDown(event->button(), event->modifiers(), mapFromGlobal(event->globalPosition().toPoint()));
}

void DomainList::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QListView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit dblClick();
}

// ---- geometry: row r lies at r * rowHeight() ----

int DomainList::rowHeight() const
{
    if (m_rowHeight > 0 || ListCount() == 0)
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

int DomainList::entryWidth(const QString &name) const
{
    rowHeight(); // measures the padding
    return m_entryPadding
        + fontMetrics().horizontalAdvance(name, int(std::min<qsizetype>(name.size(), MaxMeasuredChars)));
}

int DomainList::rowsPerPage() const
{
    const int height = rowHeight();
    return height > 0 ? std::max(1, viewport()->height() / height) : 1;
}

int DomainList::contentWidth() const
{
    return std::max(m_widestEntry, viewport()->width());
}

bool DomainList::isListEntry(const QModelIndex &index) const
{
    return index.isValid() && index.model() == m_model && index.column() == 0 && !index.parent().isValid()
        && index.row() < ListCount();
}

void DomainList::remeasure()
{
    m_rowHeight = 0;
    m_widestEntry = 0;
    for (const QString &name : m_model->names())
        m_widestEntry = std::max(m_widestEntry, entryWidth(name));
    updateScrollBars();
    viewport()->update();
}

void DomainList::updateScrollBars()
{
    const int rows = ListCount();
    const int height = rowHeight();
    if (rows == 0 || height <= 0) {
        verticalScrollBar()->setRange(0, 0);
        horizontalScrollBar()->setRange(0, 0);
        return;
    }
    // Whether the entries are too wide is judged on the room without a horizontal bar, so that
    // the two bars cannot keep turning each other on and off.
    const QSize room = maximumViewportSize();
    const bool tooTall = qint64(rows) * height > room.height();
    const int barWidth = tooTall && verticalScrollBarPolicy() == Qt::ScrollBarAsNeeded
        ? style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar())
        : 0;
    const bool tooWide = m_widestEntry > room.width() - barWidth;
    horizontalScrollBar()->setRange(0, tooWide ? std::max(0, m_widestEntry - viewport()->width()) : 0);
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(height);

    const int page = rowsPerPage();
    verticalScrollBar()->setRange(0, std::max(0, rows - page));
    verticalScrollBar()->setPageStep(page);
    verticalScrollBar()->setSingleStep(1);
}

QRect DomainList::visualRect(const QModelIndex &index) const
{
    if (!isListEntry(index) || rowHeight() <= 0)
        return QRect();
    const int height = rowHeight();
    return QRect(-horizontalOffset(), (index.row() - verticalScrollBar()->value()) * height, contentWidth(), height);
}

void DomainList::scrollTo(const QModelIndex &index, ScrollHint hint)
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

QModelIndex DomainList::indexAt(const QPoint &point) const
{
    const int height = rowHeight();
    if (height <= 0 || point.y() < 0)
        return QModelIndex();
    const int row = point.y() / height + verticalScrollBar()->value();
    if (row >= ListCount())
        return QModelIndex();
    const QModelIndex index = m_model->index(row);
    return visualRect(index).contains(point) ? index : QModelIndex();
}

void DomainList::doItemsLayout()
{
    // Nothing to lay out: only the scroll bars follow the list's size.
    QAbstractItemView::doItemsLayout();
}

void DomainList::reset()
{
    QListView::reset();
    m_rowHeight = 0;
    m_widestEntry = 0;
    updateScrollBars();
}

bool DomainList::event(QEvent *event)
{
    const bool handled = QListView::event(event);
    if (m_model && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange))
        remeasure();
    return handled;
}

void DomainList::paintEvent(QPaintEvent *event)
{
    const int rows = ListCount();
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

void DomainList::scrollContentsBy(int dx, int dy)
{
    // The vertical bar counts rows.
    const int pixels = dy * rowHeight();
    scrollDirtyRegion(dx, pixels);
    viewport()->scroll(dx, pixels);
}

int DomainList::horizontalOffset() const
{
    return horizontalScrollBar()->value();
}

int DomainList::verticalOffset() const
{
    return verticalScrollBar()->value() * rowHeight();
}

QModelIndex DomainList::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    Q_UNUSED(modifiers)
    const int rows = ListCount();
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

void DomainList::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    QItemSelection selection;
    const int rows = ListCount();
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

QRegion DomainList::visualRegionForSelection(const QItemSelection &selection) const
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

bool DomainList::isIndexHidden(const QModelIndex &index) const
{
    Q_UNUSED(index)
    return false;
}

void DomainList::updateGeometries()
{
    updateScrollBars();
    QAbstractItemView::updateGeometries();
}

QSize DomainList::viewportSizeHint() const
{
    const qint64 height = qint64(ListCount()) * rowHeight();
    return QSize(m_widestEntry, int(std::min<qint64>(height, QWIDGETSIZE_MAX)));
}

void DomainList::rowsInserted(const QModelIndex &parent, int start, int end)
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

void DomainList::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

// Accessibility events name the entry by its row (the list has one column).
void DomainList::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
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

void DomainList::currentChanged(const QModelIndex &current, const QModelIndex &previous)
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
