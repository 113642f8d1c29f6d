// The rows of the domain table: one per name, with what its name says (suffix, length, kind, tags, pinyin), when
// the history first saw it, and what its last lookup found. A list of 100,000 names is common, so
// everything a sort or a filter reads is worked out once, when a row is made or filled.
#pragma once

#include "core/dns/elsewhere.h"
#include "core/filter/domainfilter.h"
#include "core/lookup/lookuprecord.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QIODevice;
class QTimer;

// What the 是否备案 column says of a row.
enum class FilingState {
    NotLookedUp,
    Filed,
    NotFiled,
    Failed, // looked up, and the filing is unknown
};

// The names of a text file: GBK or UTF-8 (read as UTF-8 when it is valid UTF-8), one per line; blanks
// around a name and empty lines are dropped, and each name is given in its visible form. A name longer
// than 253 characters is skipped. Read piece by piece: a file of any size costs memory for its names only.
struct NamesRead
{
    QStringList names;
    qsizetype skipped = 0; // lines too long to hold a name
    bool complete = true; // false when reading failed before the end
};
NamesRead readNames(QIODevice &device);
QStringList namesFromText(const QByteArray &bytes);

class DomainTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // The columns of the name; the fields of a lookup (lookupfields.h) follow, then the other suffixes
    // where the label is taken, then the lookup's time.
    enum Column {
        DomainColumn,
        SuffixColumn,
        LengthColumn,
        KindColumn,
        TagsColumn,
        PinyinColumn,
        FirstSeenColumn,
        FirstLookupColumn
    };
    static int columnTotal();
    static int lookedUpColumn();
    // 其他后缀: "com net cn?" (a question mark after a suffix that stayed unknown), "未解析" when the label is
    // under none of them in DNS; sorts by how many are taken.
    static int elsewhereColumn();
    // 剩余: the time left until the booking deadline (read as Beijing time), "2小时13分", "45分", "3天4小时", "已截止"
    // once passed or where the page says booking has closed, empty when unknown; followed each minute. Under an
    // hour the cell is red and bold. It sorts by seconds left, negative once passed: passed deadlines first in
    // ascending order, the longest passed first; unknown last.
    static int timeLeftColumn();
    // How often the 剩余 column is told to have changed.
    static constexpr int TimeLeftIntervalMs = 60 * 1000;
    // What a column sorts by: a number for lengths, kinds (in the kind filter's order), tags (in the
    // vocabulary's order, a name with an earlier tag first) and amounts, a
    // date as a number (yyyyMMddhhmmss for the page's times, milliseconds since the epoch for ours),
    // the text for the rest; invalid for an empty or failed cell, which sorts last in either order.
    static constexpr int SortRole = Qt::UserRole + 1;

    static QString columnTitle(int column);
    static QStringList columnTitles();
    // "纯数字", "纯字母", ...; "其他" for Any.
    static QString kindCaption(NameKind kind);
    // The first number in a text such as "US$33.96", "¥ 88", "1,234.50" or "244.51".
    static std::optional<double> numberIn(const QString &text);
    // A date with an optional time, such as "2024-06-05 13:20:00" or "2024年6月5日", as yyyyMMddhhmmss.
    static std::optional<qint64> dateIn(const QString &text);

    explicit DomainTableModel(QObject *parent = nullptr);
    ~DomainTableModel() override;

    // What "now" is for the 剩余 column (the system's clock by default); the column is told to have changed.
    void setClock(std::function<QDateTime()> clock);
    void setTimeLeftInterval(int msecs);

    // Replaces every row: one per name, in this order (or the current sort's); blank names and repeats
    // are left out. firstSeen: when the history first saw a name, by name.
    void setDomains(const QStringList &domains, const QHash<QString, QDateTime> &firstSeen = {});
    // Fills the domain's row with what the lookup found. False when no row lists the domain.
    bool setLookup(const LookupRecord &record);
    // Fills the domain's 其他后缀 cell. False when no row lists the domain.
    bool setElsewhere(const QString &domain, const ElsewhereResult &result);

    // -1 when no row lists the domain.
    int rowOf(const QString &domain) const;
    QString domainAt(int row) const;
    // What the cell shows: empty before a lookup, "查询失败" where the lookup failed.
    QString text(int row, int column) const;
    QStringList rowTexts(int row) const;

    // A row's id is its place in the list given; sorting does not change it. A filter reads rows by
    // id, in the order their names were made in memory, which keeps a pass over them fast whatever
    // the sort.
    int rowId(int row) const { return m_order[std::size_t(row)]; }
    // What the filter reads of the row's name.
    const FilterKey &filterKeyOf(int id) const;
    FilingState filingOf(int id) const;
    // Whole years since the row's domain was registered, as of its lookup; std::nullopt when unknown.
    std::optional<int> ageOf(int id) const;
    // What DNS said of the row's label under other suffixes; null before it was asked.
    const ElsewhereResult *elsewhereOf(int id) const;
    // Changes whenever the row's cells do.
    quint32 revisionOf(int id) const { return m_revisions[std::size_t(id)]; }
    // Changes with every setDomains().
    quint64 generation() const { return m_generation; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Reorders the rows themselves by SortRole, ties in the order given, empty cells last; column -1
    // brings back the order given.
    // The order is kept for the next setDomains(); answers that come later do not move their rows.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

private:
    struct Lookup;
    struct Row;

    std::optional<double> numberKey(const Row &row, int column) const;
    std::optional<QStringView> textKey(const Row &row, int column) const;
    // Milliseconds until the row's booking deadline, as of the clock; std::nullopt when unknown.
    std::optional<qint64> timeLeft(const Row &row) const;
    void timeLeftChanged();
    std::vector<int> sortedOrder() const;
    void setOrder(std::vector<int> order);

    std::vector<Row> m_rows; // by id
    std::vector<quint32> m_revisions; // by id: apart, so that a filter pass reads little memory
    std::vector<int> m_order; // the id of each row shown, top to bottom
    std::vector<int> m_rowOfId;
    QHash<QString, int> m_idOf;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_sorted = true; // false once answers changed the values of the sort column
    quint32 m_revision = 0;
    quint64 m_generation = 0;
    std::function<QDateTime()> m_clock;
    QTimer *m_timeLeftTimer = nullptr;
};
