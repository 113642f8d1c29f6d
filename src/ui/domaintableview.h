// The domain table itself: whole rows selected, sorted by a click on a column's title, columns as wide as
// their contents usually are until the user moves them, and the user's layout kept between uses.
#pragma once

#include <QTableView>

class DomainTableProxy;
class QSettings;

class DomainTableView : public QTableView
{
    Q_OBJECT
public:
    explicit DomainTableView(DomainTableProxy *proxy, QWidget *parent = nullptr);

    // The names of the selected rows, top to bottom.
    QStringList selectedDomains() const;
    // The name the commands for one row act on: the current row when it is selected, else the first
    // selected one; empty when nothing is selected.
    QString chosenDomain() const;

    void restoreColumns(const QSettings &settings);
    void saveColumns(QSettings &settings) const;

private:
    QString domainOf(const QModelIndex &index) const;

    DomainTableProxy *const m_proxy;
};
