// Which rows of the domain table are shown: the name filter of the command line, the 备案 state and the
// age the whois gives.
// Applied as the user types, so one pass over 100,000 rows must take a few milliseconds: it reads the
// names the model worked out once, in the order they lie in memory, and never splits a name again.
#pragma once

#include "core/filter/domainfilter.h"
#include "core/lookup/whoisfacts.h"
#include "core/table/domaintablemodel.h"

#include <QSortFilterProxyModel>

#include <vector>

enum class FilingFilter {
    Any,
    Filed,
    NotFiled,
    Failed,
    NotLookedUp,
};

// 其他后缀已注册: a row whose label DNS was not asked about passes neither choice.
enum class ElsewhereFilter {
    Any,
    SomeTaken, // taken under at least one other suffix
    NoneTaken, // under none of them in DNS, none unknown
};

// What the table shows: the names' filter and what is known of each row besides its name.
struct TableFilter
{
    DomainFilter names;
    FilingFilter filing = FilingFilter::Any;
    YearsRange age;
    ElsewhereFilter elsewhere = ElsewhereFilter::Any;
};

class DomainTableProxy : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit DomainTableProxy(DomainTableModel *model, QObject *parent = nullptr);

    void setFilter(const TableFilter &filter);

    int shownCount() const { return rowCount(); }
    int allCount() const { return m_model->rowCount(); }
    // The name of the shown row.
    QString domainAt(int row) const;
    // The names of the rows shown, top to bottom.
    QStringList shownDomains() const;
    // The cells of the rows shown, top to bottom.
    QList<QStringList> shownRows() const;

    // The model sorts its own rows, so that a filter change costs no sort; the order is that of
    // DomainTableModel::SortRole.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

signals:
    void countsChanged(int shown, int all);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    bool matches(int id) const;
    // Tests every row, in the order of their ids.
    void testAll() const;
    void tellCounts();

    DomainTableModel *const m_model;
    TableFilter m_filter;
    // The filter made ready for the names the model worked out once.
    PreparedFilter m_prepared;
    // Whether each row, by id, passes the filter, and at which revision of the row that was found.
    mutable std::vector<char> m_accepted;
    mutable std::vector<quint32> m_testedAt;
    mutable quint64 m_testedGeneration = 0;
    mutable bool m_tested = false;
};
