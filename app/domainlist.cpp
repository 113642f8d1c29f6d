#include "app/domainlist.h"

#include <QMouseEvent>

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
    , m_model(new DomainListModel(this))
{
    setModel(m_model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every entry is one line of text: the view need not measure them one by one.
    setUniformItemSizes(true);
    setLayoutMode(QListView::SinglePass);
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
