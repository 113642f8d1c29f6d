#include "core/table/domaintableproxy.h"

#include <algorithm>

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

void DomainTableProxy::setFilter(const DomainFilter &filter, FilingFilter filing)
{
    m_filter = filter;
    m_filing = filing;
    m_suffixes.clear();
    for (const QString &suffix : filter.suffixes) {
        // splitDomain() gives the name back whole, normalised: label and suffix together.
        const DomainParts parts = splitDomain(suffix);
        QString normalised = parts.label + parts.suffix;
        if (!normalised.isEmpty() && !normalised.startsWith(u'.'))
            normalised.prepend(u'.');
        m_suffixes.append(normalised);
    }
    m_contains = filter.contains.toCaseFolded();
    m_startsWith = filter.startsWith.toCaseFolded();
    m_endsWith = filter.endsWith.toCaseFolded();
    m_excludes.clear();
    for (const QString &excluded : filter.excludes) {
        if (!excluded.isEmpty())
            m_excludes.append(excluded.toCaseFolded());
    }
    m_hasPattern = !filter.pattern.pattern().isEmpty();
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

// The same test as DomainFilter::matches(), on the name the model split once.
bool DomainTableProxy::matches(int id) const
{
    switch (m_filing) {
    case FilingFilter::Any:
        break;
    case FilingFilter::Filed:
        if (m_model->filingOf(id) != FilingState::Filed)
            return false;
        break;
    case FilingFilter::NotFiled:
        if (m_model->filingOf(id) != FilingState::NotFiled)
            return false;
        break;
    case FilingFilter::Failed:
        if (m_model->filingOf(id) != FilingState::Failed)
            return false;
        break;
    case FilingFilter::NotLookedUp:
        if (m_model->filingOf(id) != FilingState::NotLookedUp)
            return false;
        break;
    }

    const DomainTableModel::NameKey &key = m_model->nameKeyOf(id);
    if (key.labelSize == 0)
        return false;
    const QStringView name(key.name);
    if (!m_suffixes.isEmpty()) {
        const QStringView suffix = name.mid(key.labelSize);
        if (std::none_of(m_suffixes.cbegin(), m_suffixes.cend(), [suffix](const QString &s) { return s == suffix; }))
            return false;
    }
    if ((m_filter.minLength > 0 && key.length < m_filter.minLength)
        || (m_filter.maxLength > 0 && key.length > m_filter.maxLength))
        return false;
    if (m_filter.kind != NameKind::Any && key.kind != m_filter.kind)
        return false;
    // Any case, as DomainFilter compares: both sides folded once, then compared as they are.
    const QStringView folded(key.folded);
    const QStringView foldedLabel = folded.left(key.foldedLabelSize);
    if (!m_contains.isEmpty() && !folded.contains(m_contains))
        return false;
    if (!m_startsWith.isEmpty() && !foldedLabel.startsWith(m_startsWith))
        return false;
    if (!m_endsWith.isEmpty() && !foldedLabel.endsWith(m_endsWith))
        return false;
    for (const QString &excluded : m_excludes) {
        if (folded.contains(excluded))
            return false;
    }
    return !m_hasPattern || m_filter.pattern.match(key.name).hasMatch();
}

QStringList DomainTableProxy::shownDomains() const
{
    QStringList domains;
    domains.reserve(rowCount());
    for (int row = 0; row < rowCount(); ++row)
        domains.append(m_model->domainAt(mapToSource(index(row, 0)).row()));
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
