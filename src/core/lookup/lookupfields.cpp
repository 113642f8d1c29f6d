#include "core/lookup/lookupfields.h"

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

constexpr FieldKind Text = FieldKind::Text, Number = FieldKind::Number, Date = FieldKind::Date,
                    Flag = FieldKind::Flag, Filing = FieldKind::Filing;
constexpr FieldPart Page = FieldPart::BackorderPage, PriceRow = FieldPart::PriceRow, Icp = FieldPart::IcpPage;

} // namespace

QString LookupField::storeType() const
{
    return kind == FieldKind::Flag ? QStringLiteral("INTEGER NOT NULL")
        : kind == FieldKind::Filing
        ? QStringLiteral("TEXT NOT NULL CHECK (%1 IN ('filed', 'not filed', 'failed'))").arg(storeColumn)
        : QStringLiteral("TEXT NOT NULL");
}

QString LookupField::text(const LookupRecord &record) const
{
    const QVariant read = value(record);
    if (kind == FieldKind::Flag)
        return read.toBool() ? QStringLiteral("1") : QStringLiteral("0");
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
    };
    // clang-format on
    return fields;
}
