#include "core/lookup/lookupfields.h"

#include <type_traits>

namespace {

using Field = LookupField;

// How a field reads and writes its member: of the record, or of the page values it holds.
template<typename Member> Field withMember(Field field, Member LookupRecord::*member)
{
    field.value = [member](const LookupRecord &record) { return QVariant::fromValue(record.*member); };
    field.setValue = [member](LookupRecord &record, const QVariant &value) { record.*member = value.value<Member>(); };
    return field;
}

template<typename Member> Field withMember(Field field, Member BackorderPage::*member)
{
    field.value = [member](const LookupRecord &record) { return QVariant::fromValue(record.values.*member); };
    field.setValue
        = [member](LookupRecord &record, const QVariant &value) { record.values.*member = value.value<Member>(); };
    return field;
}

Field filingField(Field field)
{
    field.value = [](const LookupRecord &record) { return QVariant(icpFilingName(record.filing)); };
    field.setValue = [](LookupRecord &record, const QVariant &value) { record.filing = icpFilingNamed(value.toString()); };
    return field;
}

// A fact of the whois text, kept as the record's WhoisFacts holds it.
template<typename Member> Field withFact(Field field, Member WhoisFacts::*member)
{
    field.unknownWhenEmpty = true;
    field.since = 5;
    if constexpr (std::is_same_v<Member, QDateTime>) {
        field.value = [member](const LookupRecord &record) {
            const QDateTime &time = record.whois.*member;
            return time.isValid() ? QVariant(time.toMSecsSinceEpoch()) : QVariant(QMetaType::fromType<qint64>());
        };
        field.setValue = [member](LookupRecord &record, const QVariant &value) {
            record.whois.*member
                = value.isNull() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(value.toLongLong(), Qt::UTC);
        };
    } else if constexpr (std::is_same_v<Member, QStringList>) {
        field.value = [member](const LookupRecord &record) { return QVariant((record.whois.*member).join(u' ')); };
        field.setValue = [member](LookupRecord &record, const QVariant &value) {
            record.whois.*member = value.toString().split(u' ', Qt::SkipEmptyParts);
        };
    } else {
        field.value = [member](const LookupRecord &record) { return QVariant::fromValue(record.whois.*member); };
        field.setValue
            = [member](LookupRecord &record, const QVariant &value) { record.whois.*member = value.value<Member>(); };
    }
    return field;
}

// The whole years since the domain was registered, as of now.
Field ageField(Field field)
{
    field.unknownWhenEmpty = true;
    field.since = 5;
    field.value = [](const LookupRecord &record) {
        const std::optional<int> years = wholeYearsSince(record.whois.created, QDateTime::currentDateTimeUtc());
        return years ? QVariant(*years) : QVariant(QMetaType::fromType<int>());
    };
    field.setValue = [](LookupRecord &, const QVariant &) {};
    return field;
}

// The time left until the booking deadline: the page's deadline, which the views read as Beijing time.
Field timeLeftField(Field field)
{
    field.value = [](const LookupRecord &record) { return QVariant(record.values.deadline); };
    field.setValue = [](LookupRecord &, const QVariant &) {};
    return field;
}

Field field(const char *store, const char *command, const char *title, FieldKind kind, FieldPart part)
{
    Field field;
    field.storeColumn = QLatin1String(store);
    field.commandColumn = QLatin1String(command);
    field.tableTitle = QString::fromUtf8(title);
    field.kind = kind;
    field.part = part;
    return field;
}

constexpr FieldKind Text = FieldKind::Text, Number = FieldKind::Number, Date = FieldKind::Date, Flag = FieldKind::Flag,
                    Filing = FieldKind::Filing, Moment = FieldKind::Moment, Years = FieldKind::Years,
                    List = FieldKind::List, TimeLeft = FieldKind::TimeLeft;
constexpr FieldPart Page = FieldPart::BackorderPage, PriceRow = FieldPart::PriceRow, Icp = FieldPart::IcpPage;

} // namespace

QString LookupField::storeType() const
{
    // A column added to an older history needs a value for the rows it holds.
    return kind == FieldKind::Flag ? QStringLiteral("INTEGER NOT NULL")
        : kind == FieldKind::Filing
        ? QStringLiteral("TEXT NOT NULL CHECK (%1 IN ('filed', 'not filed', 'failed'))").arg(storeColumn)
        : kind == FieldKind::Moment ? QStringLiteral("INTEGER")
        : since > 1                 ? QStringLiteral("TEXT NOT NULL DEFAULT ''")
                                    : QStringLiteral("TEXT NOT NULL");
}

QString LookupField::text(const LookupRecord &record) const
{
    const QVariant read = value(record);
    if (kind == FieldKind::Flag)
        return read.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    if (kind == FieldKind::Moment)
        return read.isNull() ? QString()
                             : QDateTime::fromMSecsSinceEpoch(read.toLongLong(), Qt::UTC).toString(Qt::ISODate);
    if (read.isNull())
        return QString();
    return read.toString();
}

const QList<LookupField> &lookupFields()
{
    // clang-format off
    static const QList<LookupField> fields {
        withMember(field("backorder_failure", "", "", Text, Page), &LookupRecord::backorderFailure),
        withMember(field("backorder_page", "", "", Flag, Page), &BackorderPage::isBackorderPage),
        withMember(field("deletion_type", "deletion_type", "删除类型", Text, Page), &BackorderPage::deletionType),
        withMember(field("deletion_time", "deletion_time", "删除时间", Date, Page), &BackorderPage::deletionTime),
        withMember(field("deadline", "deadline", "预定截止", Date, Page), &BackorderPage::deadline),
        timeLeftField(field("", "", "剩余", TimeLeft, Page)),
        withMember(field("whois", "", "", Text, Page), &BackorderPage::whois),
        // The page's whois was longer than what is kept.
        withMember(field("whois_cut", "", "", Flag, Page), &BackorderPage::whoisCut),
        withMember(field("booking_closed", "", "", Flag, Page), &BackorderPage::bookingClosed),
        withMember(field("platform", "platform", "预定平台", Text, PriceRow), &BackorderPage::platform),
        withMember(field("price", "price", "预定价格", Number, PriceRow), &BackorderPage::price),
        withMember(field("rmb", "rmb", "折合人民币", Number, PriceRow), &BackorderPage::rmb),
        withMember(field("deposit", "deposit", "保证金", Number, PriceRow), &BackorderPage::deposit),
        filingField(field("icp_state", "icp", "是否备案", Filing, Icp)),
        withMember(field("licence", "licence", "", Text, Icp), &LookupRecord::licence),
        withMember(field("icp_failure", "", "", Text, Icp), &LookupRecord::icpFailure),
        withFact(field("created", "created", "注册时间", Moment, Page), &WhoisFacts::created),
        ageField(field("", "age_years", "年龄", Years, Page)),
        withFact(field("expires", "expires", "到期时间", Moment, Page), &WhoisFacts::expires),
        withFact(field("updated", "", "", Moment, Page), &WhoisFacts::updated),
        withFact(field("registrar", "registrar", "注册商", Text, Page), &WhoisFacts::registrar),
        withFact(field("statuses", "statuses", "状态", List, Page), &WhoisFacts::statuses),
        withFact(field("name_servers", "", "", List, Page), &WhoisFacts::nameServers),
    };
    // clang-format on
    return fields;
}
