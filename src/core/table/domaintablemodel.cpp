#include "core/table/domaintablemodel.h"

#include "core/text/domainname.h"
#include "core/text/textops.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <numeric>

namespace {

const QString Failed = QStringLiteral("查询失败");
const QString BookingClosed = QStringLiteral("预定时间已过");
const QString TimeFormat = QStringLiteral("yyyy-MM-dd HH:mm");

QString localTime(std::optional<qint64> msecs)
{
    return msecs ? QDateTime::fromMSecsSinceEpoch(*msecs).toLocalTime().toString(TimeFormat) : QString();
}

bool isNumberColumn(int column)
{
    return column == DomainTableModel::LengthColumn || column == DomainTableModel::PriceColumn
        || column == DomainTableModel::RmbColumn || column == DomainTableModel::DepositColumn;
}

bool sortsAsText(int column)
{
    return column == DomainTableModel::DomainColumn || column == DomainTableModel::SuffixColumn
        || column == DomainTableModel::PinyinColumn || column == DomainTableModel::DeletionTypeColumn
        || column == DomainTableModel::PlatformColumn || column == DomainTableModel::FilingColumn;
}

// Names of the kind column in the order the kind filter offers them; "其他" last.
int kindRank(NameKind kind)
{
    return kind == NameKind::Any ? 100 : int(kind);
}

// The tags in the vocabulary's order, the first one the highest bit: more first, so ascending is negative.
double tagsRank(const NameTags &tags)
{
    quint64 rank = 0;
    for (int tag = 0; tag < int(NameTag::Count); ++tag)
        rank |= quint64(tags.contains(NameTag(tag))) << (int(NameTag::Count) - 1 - tag);
    return -double(rank);
}

} // namespace

QStringList namesFromText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        QStringDecoder gbk("GB18030");
        text = gbk.decode(bytes);
    }
    QStringList names;
    for (const QStringView line : QStringView(text).split(u'\n')) {
        const QStringView name = line.trimmed();
        if (!name.isEmpty())
            names.append(visibleName(name.toString()));
    }
    return names;
}

struct DomainTableModel::Lookup
{
    bool backorderRead = false;
    bool bookingClosed = false;
    // Shown on one line, as the main window shows them.
    QString deletionType, deletionTime, deadline, platform, price, rmb, deposit;
    QString backorderFailure;
    FilingState filing = FilingState::Failed;
    QString filingText;
    QString icpFailure;
    std::optional<qint64> time;
    std::optional<qint64> deletionTimeKey, deadlineKey;
    std::optional<double> priceKey, rmbKey, depositKey;
};

struct DomainTableModel::Row
{
    QString domain;
    FilterKey key;
    QString pinyin;
    std::optional<qint64> firstSeen;
    std::unique_ptr<Lookup> lookup;
};

QString DomainTableModel::columnTitle(int column)
{
    static const QStringList titles { QStringLiteral("域名"), QStringLiteral("后缀"), QStringLiteral("长度"),
        QStringLiteral("类型"), QStringLiteral("品相"), QStringLiteral("拼音"), QStringLiteral("首次发现"),
        QStringLiteral("删除类型"), QStringLiteral("删除时间"), QStringLiteral("预定截止"), QStringLiteral("预定平台"),
        QStringLiteral("预定价格"), QStringLiteral("折合人民币"), QStringLiteral("保证金"), QStringLiteral("是否备案"),
        QStringLiteral("查询时间") };
    return titles.value(column);
}

QStringList DomainTableModel::columnTitles()
{
    QStringList titles;
    for (int column = 0; column < ColumnCount; ++column)
        titles.append(columnTitle(column));
    return titles;
}

QString DomainTableModel::kindCaption(NameKind kind)
{
    switch (kind) {
    case NameKind::DigitsOnly:
        return QStringLiteral("纯数字");
    case NameKind::LettersOnly:
        return QStringLiteral("纯字母");
    case NameKind::DigitsAndLetters:
        return QStringLiteral("数字字母");
    case NameKind::WithHyphen:
        return QStringLiteral("含连字符");
    case NameKind::Chinese:
        return QStringLiteral("中文");
    case NameKind::Any:
        break;
    }
    return QStringLiteral("其他");
}

std::optional<double> DomainTableModel::numberIn(const QString &text)
{
    const auto isDigit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size && !isDigit(text.at(i)))
        ++i;
    if (i == size)
        return std::nullopt;
    QByteArray number;
    // Thousands separators go; a point followed by a digit starts the fraction.
    for (; i < size; ++i) {
        const QChar c = text.at(i);
        if (isDigit(c))
            number += char(c.unicode());
        else if (c == u',' && i + 1 < size && isDigit(text.at(i + 1)))
            continue;
        else
            break;
    }
    if (i + 1 < size && text.at(i) == u'.' && isDigit(text.at(i + 1))) {
        number += '.';
        for (++i; i < size && isDigit(text.at(i)); ++i)
            number += char(text.at(i).unicode());
    }
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

std::optional<qint64> DomainTableModel::dateIn(const QString &text)
{
    static const QRegularExpression date(
        QStringLiteral("(\\d{4})\\s*[-/.年]\\s*(\\d{1,2})\\s*[-/.月]\\s*(\\d{1,2})\\s*日?"
                       "(?:[^\\d]{0,3}?(\\d{1,2})\\s*[:：时]\\s*(\\d{1,2})(?:\\s*[:：分]\\s*(\\d{1,2}))?)?"));
    const QRegularExpressionMatch match = date.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const auto part = [&match](int n) { return match.capturedView(n).toInt(); };
    const int month = part(2), day = part(3), hour = part(4), minute = part(5), second = part(6);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 24 || minute > 59 || second > 60)
        return std::nullopt;
    return ((((qint64(part(1)) * 100 + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 + second;
}

DomainTableModel::DomainTableModel(QObject *parent)
    : QAbstractTableModel(parent)
{ }

DomainTableModel::~DomainTableModel() = default;

void DomainTableModel::setDomains(const QStringList &domains, const QHash<QString, QDateTime> &firstSeen)
{
    beginResetModel();
    ++m_generation;
    m_rows.clear();
    m_idOf.clear();
    m_rows.reserve(std::size_t(domains.size()));
    m_idOf.reserve(domains.size());
    for (const QString &given : domains) {
        const QString domain = visibleName(given.trimmed());
        if (domain.isEmpty() || m_idOf.contains(domain))
            continue;
        Row row;
        row.domain = domain;
        NameAppraisal appraisal;
        row.key = ::filterKeyOf(domain, &appraisal);
        row.pinyin = appraisal.pinyin;
        const auto seen = firstSeen.constFind(domain);
        if (seen != firstSeen.cend() && seen->isValid())
            row.firstSeen = seen->toMSecsSinceEpoch();
        m_idOf.insert(domain, int(m_rows.size()));
        m_rows.push_back(std::move(row));
    }
    m_revisions.assign(m_rows.size(), 0);
    setOrder(sortedOrder());
    m_sorted = true;
    endResetModel();
}

bool DomainTableModel::setLookup(const LookupRecord &record)
{
    const int row = rowOf(record.domain);
    if (row < 0)
        return false;
    auto lookup = std::make_unique<Lookup>();
    lookup->backorderRead = record.backorderRead;
    lookup->time = record.time.isValid() ? std::optional<qint64>(record.time.toMSecsSinceEpoch()) : std::nullopt;
    if (record.backorderRead) {
        const BackorderPage &values = record.values;
        lookup->deletionType = TextOps::oneLine(values.deletionType);
        lookup->deletionTime = TextOps::oneLine(values.deletionTime);
        lookup->deadline = TextOps::oneLine(values.deadline);
        lookup->deletionTimeKey = dateIn(lookup->deletionTime);
        lookup->deadlineKey = dateIn(lookup->deadline);
        lookup->bookingClosed = values.bookingClosed;
        if (!values.bookingClosed) {
            lookup->platform = TextOps::oneLine(values.platform);
            lookup->price = TextOps::oneLine(values.price);
            lookup->rmb = TextOps::oneLine(values.rmb);
            lookup->deposit = TextOps::oneLine(values.deposit);
            lookup->priceKey = numberIn(lookup->price);
            lookup->rmbKey = numberIn(lookup->rmb);
            lookup->depositKey = numberIn(lookup->deposit);
        }
    } else {
        lookup->backorderFailure = record.backorderFailure;
    }
    switch (record.filing) {
    case IcpFiling::Unknown:
        lookup->filing = FilingState::Failed;
        lookup->filingText = Failed;
        lookup->icpFailure = record.icpFailure;
        break;
    case IcpFiling::NotFiled:
        lookup->filing = FilingState::NotFiled;
        lookup->filingText = QStringLiteral("未备案");
        break;
    case IcpFiling::Filed: {
        lookup->filing = FilingState::Filed;
        const QString licence = TextOps::oneLine(record.licence);
        lookup->filingText = licence.isEmpty() ? QStringLiteral("已备案") : QStringLiteral("已备案 ") + licence;
        break;
    }
    }
    Row &changed = m_rows[std::size_t(rowId(row))];
    changed.lookup = std::move(lookup);
    m_revisions[std::size_t(rowId(row))] = ++m_revision;
    // The row stays where it is: rows that move while the user reads them are lost.
    if (m_sortColumn >= DeletionTypeColumn)
        m_sorted = false;
    emit dataChanged(index(row, DeletionTypeColumn), index(row, LookedUpColumn));
    return true;
}

int DomainTableModel::rowOf(const QString &domain) const
{
    const int id = m_idOf.value(domain, -1);
    return id < 0 ? -1 : m_rowOfId[std::size_t(id)];
}

QString DomainTableModel::domainAt(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[std::size_t(rowId(row))].domain : QString();
}

QString DomainTableModel::text(int rowNumber, int column) const
{
    if (rowNumber < 0 || rowNumber >= rowCount())
        return QString();
    const Row &row = m_rows[std::size_t(rowId(rowNumber))];
    switch (column) {
    case DomainColumn:
        return row.domain;
    case SuffixColumn:
        return row.key.name.mid(row.key.labelSize);
    case LengthColumn:
        return QString::number(row.key.length);
    case KindColumn:
        return kindCaption(row.key.kind);
    case TagsColumn:
        return tagTexts(row.key.tags).join(u' ');
    case PinyinColumn:
        return row.pinyin;
    case FirstSeenColumn:
        return localTime(row.firstSeen);
    default:
        break;
    }
    const Lookup *lookup = row.lookup.get();
    if (!lookup)
        return QString();
    if (column == FilingColumn)
        return lookup->filingText;
    if (column == LookedUpColumn)
        return localTime(lookup->time);
    if (!lookup->backorderRead)
        return Failed;
    switch (column) {
    case DeletionTypeColumn:
        return lookup->deletionType;
    case DeletionTimeColumn:
        return lookup->deletionTime;
    case DeadlineColumn:
        return lookup->deadline;
    default:
        break;
    }
    if (lookup->bookingClosed)
        return BookingClosed;
    switch (column) {
    case PlatformColumn:
        return lookup->platform;
    case PriceColumn:
        return lookup->price;
    case RmbColumn:
        return lookup->rmb;
    case DepositColumn:
        return lookup->deposit;
    default:
        return QString();
    }
}

QStringList DomainTableModel::rowTexts(int row) const
{
    QStringList texts;
    texts.reserve(ColumnCount);
    for (int column = 0; column < ColumnCount; ++column)
        texts.append(text(row, column));
    return texts;
}

const FilterKey &DomainTableModel::filterKeyOf(int id) const
{
    return m_rows[std::size_t(id)].key;
}

FilingState DomainTableModel::filingOf(int id) const
{
    const Lookup *lookup = m_rows[std::size_t(id)].lookup.get();
    return lookup ? lookup->filing : FilingState::NotLookedUp;
}

int DomainTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int DomainTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DomainTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return QVariant();
    const Row &row = m_rows[std::size_t(rowId(index.row()))];
    switch (role) {
    case Qt::DisplayRole:
        return text(index.row(), index.column());
    case SortRole:
        if (const std::optional<double> number = numberKey(row, index.column()))
            return *number;
        if (const std::optional<QStringView> text = textKey(row, index.column()))
            return text->toString();
        return QVariant();
    case Qt::TextAlignmentRole:
        return isNumberColumn(index.column()) ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case Qt::ToolTipRole:
        // Why a lookup failed, where it did.
        if (!row.lookup)
            return QVariant();
        if (index.column() == FilingColumn && row.lookup->filing == FilingState::Failed)
            return row.lookup->icpFailure;
        if (!row.lookup->backorderRead && index.column() >= DeletionTypeColumn && index.column() <= DepositColumn)
            return row.lookup->backorderFailure;
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant DomainTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return columnTitle(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

// The key of a column that sorts as a number or a date; std::nullopt for an empty or failed cell and
// for the text columns.
std::optional<double> DomainTableModel::numberKey(const Row &row, int column) const
{
    const auto number = [](const auto &key) { return key ? std::optional<double>(double(*key)) : std::nullopt; };
    const Lookup *lookup = row.lookup.get();
    switch (column) {
    case LengthColumn:
        return row.key.length;
    case KindColumn:
        return kindRank(row.key.kind);
    case TagsColumn:
        return row.key.tags.isEmpty() ? std::nullopt : std::optional<double>(tagsRank(row.key.tags));
    case FirstSeenColumn:
        return number(row.firstSeen);
    case DeletionTimeColumn:
        return lookup ? number(lookup->deletionTimeKey) : std::nullopt;
    case DeadlineColumn:
        return lookup ? number(lookup->deadlineKey) : std::nullopt;
    case PriceColumn:
        return lookup ? lookup->priceKey : std::nullopt;
    case RmbColumn:
        return lookup ? lookup->rmbKey : std::nullopt;
    case DepositColumn:
        return lookup ? lookup->depositKey : std::nullopt;
    case LookedUpColumn:
        return lookup ? number(lookup->time) : std::nullopt;
    default:
        return std::nullopt;
    }
}

// The key of a text column: a view of the row's own text; std::nullopt for an empty or failed cell.
std::optional<QStringView> DomainTableModel::textKey(const Row &row, int column) const
{
    const auto present
        = [](const QString &text) { return text.isEmpty() ? std::nullopt : std::optional<QStringView>(text); };
    const Lookup *lookup = row.lookup.get();
    switch (column) {
    case DomainColumn:
        return present(row.key.name);
    case SuffixColumn: {
        const QStringView suffix = QStringView(row.key.name).mid(row.key.labelSize);
        return suffix.isEmpty() ? std::nullopt : std::optional<QStringView>(suffix);
    }
    case PinyinColumn:
        return present(row.pinyin);
    case DeletionTypeColumn:
        return lookup && lookup->backorderRead ? present(lookup->deletionType) : std::nullopt;
    case PlatformColumn:
        return lookup && lookup->backorderRead && !lookup->bookingClosed ? present(lookup->platform) : std::nullopt;
    case FilingColumn:
        return lookup && lookup->filing != FilingState::Failed ? present(lookup->filingText) : std::nullopt;
    default:
        return std::nullopt;
    }
}

// Ids in the order of the sort: the rows with a key sorted by it, ties in the order of the list, then
// those without one in the order of the list.
std::vector<int> DomainTableModel::sortedOrder() const
{
    std::vector<int> ids(m_rows.size());
    std::iota(ids.begin(), ids.end(), 0);
    if (m_sortColumn < 0 || m_rows.empty())
        return ids;
    const bool ascending = m_sortOrder == Qt::AscendingOrder;
    std::vector<int> missing;
    std::vector<int> order;
    order.reserve(m_rows.size());
    // Keys are copied into one flat array first: some 1.7 million comparisons of 100,000 rows then
    // read memory that lies together, not strings strewn over the heap.
    if (!sortsAsText(m_sortColumn)) {
        struct Entry
        {
            double key;
            int id;
        };
        std::vector<Entry> entries;
        entries.reserve(m_rows.size());
        for (const int id : ids) {
            if (const std::optional<double> key = numberKey(m_rows[std::size_t(id)], m_sortColumn))
                entries.push_back({ *key, id });
            else
                missing.push_back(id);
        }
        std::sort(entries.begin(), entries.end(), [ascending](const Entry &a, const Entry &b) {
            if (a.key != b.key)
                return ascending ? a.key < b.key : a.key > b.key;
            return a.id < b.id;
        });
        for (const Entry &entry : entries)
            order.push_back(entry.id);
    } else {
        // The first four UTF-16 units, in their order, decide most comparisons alone.
        struct Entry
        {
            quint64 prefix;
            QStringView text;
            int id;
        };
        std::vector<Entry> entries;
        entries.reserve(m_rows.size());
        for (const int id : ids) {
            const std::optional<QStringView> key = textKey(m_rows[std::size_t(id)], m_sortColumn);
            if (!key) {
                missing.push_back(id);
                continue;
            }
            quint64 prefix = 0;
            for (qsizetype i = 0; i < 4; ++i)
                prefix = (prefix << 16) | (i < key->size() ? key->at(i).unicode() : 0);
            entries.push_back({ prefix, *key, id });
        }
        std::sort(entries.begin(), entries.end(), [ascending](const Entry &a, const Entry &b) {
            if (a.prefix != b.prefix)
                return ascending ? a.prefix < b.prefix : a.prefix > b.prefix;
            const int compared = a.text.compare(b.text);
            if (compared != 0)
                return ascending ? compared < 0 : compared > 0;
            return a.id < b.id;
        });
        for (const Entry &entry : entries)
            order.push_back(entry.id);
    }
    order.insert(order.end(), missing.begin(), missing.end());
    return order;
}

void DomainTableModel::setOrder(std::vector<int> order)
{
    m_order = std::move(order);
    m_rowOfId.resize(m_order.size());
    for (std::size_t row = 0; row < m_order.size(); ++row)
        m_rowOfId[std::size_t(m_order[row])] = int(row);
}

void DomainTableModel::sort(int column, Qt::SortOrder order)
{
    column = column >= 0 && column < ColumnCount ? column : -1;
    // A view asks twice for one click; the rows are in that order already.
    if (column == m_sortColumn && order == m_sortOrder && m_sorted)
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const std::vector<int> oldOrder = m_order;
    setOrder(sortedOrder());
    m_sorted = true;
    // The selection and the current row follow their rows.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before) {
        after.append(index.isValid()
                ? this->index(m_rowOfId[std::size_t(oldOrder[std::size_t(index.row())])], index.column())
                : index);
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
