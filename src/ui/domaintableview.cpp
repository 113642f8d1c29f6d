#include "ui/domaintableview.h"

#include "core/table/domaintablemodel.h"
#include "core/table/domaintableproxy.h"
#include "ui/controls.h"

#include <QHeaderView>
#include <QSettings>

#include <algorithm>

namespace {

// The width a column starts with, by its title.
int defaultColumnWidth(const QString &title)
{
    static const QHash<QString, int> widths { { QStringLiteral("域名"), 150 }, { QStringLiteral("后缀"), 55 },
        { QStringLiteral("长度"), 40 }, { QStringLiteral("类型"), 65 }, { QStringLiteral("品相"), 160 },
        { QStringLiteral("拼音"), 110 }, { QStringLiteral("首次发现"), 115 },
        { QStringLiteral("删除类型"), 80 }, { QStringLiteral("删除时间"), 125 }, { QStringLiteral("预定截止"), 125 },
        { QStringLiteral("剩余"), 75 },
        { QStringLiteral("预定平台"), 75 }, { QStringLiteral("预定价格"), 75 }, { QStringLiteral("折合人民币"), 75 },
        { QStringLiteral("保证金"), 50 }, { QStringLiteral("是否备案"), 110 }, { QStringLiteral("查询时间"), 115 } };
    return widths.value(title, 90);
}

} // namespace

DomainTableView::DomainTableView(DomainTableProxy *proxy, QWidget *parent)
    : QTableView(parent)
    , m_proxy(proxy)
{
    Controls::named(this, "domainTable", QStringLiteral("域名表格"));
    setModel(proxy);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    QHeaderView *header = horizontalHeader();
    for (int column = 0; column < DomainTableModel::columnTotal(); ++column)
        header->resizeSection(column, defaultColumnWidth(DomainTableModel::columnTitle(column)));
    header->setStretchLastSection(true);
    header->setSortIndicatorClearable(true);
    // Unsorted until the user sorts: the list's own order first.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);
}

QString DomainTableView::domainOf(const QModelIndex &index) const
{
    return m_proxy->domainAt(index.row());
}

QStringList DomainTableView::selectedDomains() const
{
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QStringList domains;
    domains.reserve(rows.size());
    for (const QModelIndex &index : rows)
        domains.append(domainOf(index));
    return domains;
}

QString DomainTableView::chosenDomain() const
{
    const QModelIndex current = currentIndex();
    if (current.isValid() && selectionModel()->isRowSelected(current.row()))
        return domainOf(current);
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty())
        return QString();
    return domainOf(*std::min_element(rows.begin(), rows.end(),
        [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); }));
}

void DomainTableView::restoreColumns(const QSettings &settings)
{
    // A layout saved with other columns would give their widths and places to these.
    if (settings.value(QStringLiteral("columnTitles")).toStringList() == DomainTableModel::columnTitles())
        horizontalHeader()->restoreState(settings.value(QStringLiteral("columns")).toByteArray());
}

void DomainTableView::saveColumns(QSettings &settings) const
{
    settings.setValue(QStringLiteral("columns"), horizontalHeader()->saveState());
    settings.setValue(QStringLiteral("columnTitles"), DomainTableModel::columnTitles());
}
