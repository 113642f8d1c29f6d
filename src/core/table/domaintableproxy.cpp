#include "core/table/domaintableproxy.h"

#include <algorithm>

namespace {

// The state a row must be in to pass the 备案 filter; never asked for Any.
FilingState filingStateOf(FilingFilter filing)
{
    switch (filing) {
    case FilingFilter::Filed:
        return FilingState::Filed;
    case FilingFilter::NotFiled:
        return FilingState::NotFiled;
    case FilingFilter::Failed:
        return FilingState::Failed;
    case FilingFilter::Any:
    case FilingFilter::NotLookedUp:
        break;
    }
    return FilingState::NotLookedUp;
}

} // namespace

DomainTableProxy::DomainTableProxy(DomainTableModel *model, QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_model(model)
{
    setSourceModel(model);
    setSortRole(DomainTableModel::SortRole);
    for (const auto signal : { &QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved })
        connect(this, signal, this, &DomainTableProxy::tellCounts);
    connect(this, &QAbstractItemModel::modelReset, this, &DomainTableProxy::tellCounts);
    connect(this, &QAbstractItemModel::layoutChanged, this, &DomainTableProxy::tellCounts);
}

void DomainTableProxy::setFilter(const TableFilter &filter)
{
    m_filter = filter;
    m_prepared = PreparedFilter(filter.names);
    m_tested = false;
    // One layout change rather than a removal per gap between shown rows: each of those would make
    // the view walk every row.
    invalidate();
    tellCounts();
}

bool DomainTableProxy::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    if (!m_tested || m_testedGeneration != m_model->generation())
        testAll();
    const auto id = std::size_t(m_model->rowId(sourceRow));
    // A row whose answer came since is tested again.
    if (m_testedAt[id] != m_model->revisionOf(int(id))) {
        m_accepted[id] = matches(int(id));
        m_testedAt[id] = m_model->revisionOf(int(id));
    }
    return m_accepted[id];
}

void DomainTableProxy::testAll() const
{
    const int rows = m_model->rowCount();
    m_accepted.resize(std::size_t(rows));
    m_testedAt.resize(std::size_t(rows));
    for (int id = 0; id < rows; ++id) {
        m_accepted[std::size_t(id)] = matches(id);
        m_testedAt[std::size_t(id)] = m_model->revisionOf(id);
    }
    m_testedGeneration = m_model->generation();
    m_tested = true;
}

bool DomainTableProxy::matches(int id) const
{
    if (m_filter.filing != FilingFilter::Any && m_model->filingOf(id) != filingStateOf(m_filter.filing))
        return false;
    if (!m_filter.age.isOpen() && !m_filter.age.contains(m_model->ageOf(id)))
        return false;
    if (m_filter.elsewhere != ElsewhereFilter::Any) {
        const ElsewhereResult *result = m_model->elsewhereOf(id);
        if (!result)
            return false;
        const bool someTaken = !result->taken.isEmpty();
        if (m_filter.elsewhere == ElsewhereFilter::SomeTaken ? !someTaken : someTaken || !result->unknown.isEmpty())
            return false;
    }
    return m_prepared.matches(m_model->filterKeyOf(id));
}

QString DomainTableProxy::domainAt(int row) const
{
    return m_model->domainAt(mapToSource(index(row, 0)).row());
}

QStringList DomainTableProxy::shownDomains() const
{
    QStringList domains;
    domains.reserve(rowCount());
    for (int row = 0; row < rowCount(); ++row)
        domains.append(domainAt(row));
    return domains;
}

QList<QStringList> DomainTableProxy::shownRows() const
{
    QList<QStringList> rows;
    rows.reserve(rowCount());
    for (int row = 0; row < rowCount(); ++row)
        rows.append(m_model->rowTexts(mapToSource(index(row, 0)).row()));
    return rows;
}

void DomainTableProxy::sort(int column, Qt::SortOrder order)
{
    m_model->sort(column, order);
}

void DomainTableProxy::tellCounts()
{
    emit countsChanged(shownCount(), allCount());
}
