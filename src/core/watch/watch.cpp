#include "core/watch/watch.h"

#include "core/failure.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

struct FormatName
{
    WebhookFormat format;
    const char *text;
};
constexpr FormatName FormatNames[] = {
    { WebhookFormat::Generic, "generic" },
    { WebhookFormat::DingTalk, "dingtalk" },
    { WebhookFormat::Feishu, "feishu" },
    { WebhookFormat::WeCom, "wecom" },
};

// The filter's parts, each with its option and its key in the history, in the order both are written.
enum class Part { Suffixes, MinLength, MaxLength, Kind, Tags, NotTags, Pattern, Contains, StartsWith, EndsWith,
    Excludes, Regex, MinYears, MaxYears };
struct PartName
{
    Part part;
    const char *option;
    const char *key;
};
constexpr PartName PartNames[] = {
    { Part::Suffixes, "suffix", "suffixes" },
    { Part::MinLength, "min-length", "min_length" },
    { Part::MaxLength, "max-length", "max_length" },
    { Part::Kind, "kind", "kind" },
    { Part::Tags, "tag", "tags" },
    { Part::NotTags, "not-tag", "not_tags" },
    { Part::Pattern, "pattern", "pattern" },
    { Part::Contains, "contains", "contains" },
    { Part::StartsWith, "starts-with", "starts_with" },
    { Part::EndsWith, "ends-with", "ends_with" },
    { Part::Excludes, "exclude", "excludes" },
    { Part::Regex, "regex", "regex" },
    { Part::MinYears, "min-years", "min_years" },
    { Part::MaxYears, "max-years", "max_years" },
};

// What the filter holds for the part: texts, or nothing when it leaves the part open.
QStringList valuesOf(const WatchFilter &filter, Part part)
{
    const DomainFilter &names = filter.names;
    const auto number = [](int value) { return value > 0 ? QStringList { QString::number(value) } : QStringList(); };
    const auto text = [](const QString &value) { return value.isEmpty() ? QStringList() : QStringList { value }; };
    const auto years = [](const std::optional<int> &value) {
        return value ? QStringList { QString::number(*value) } : QStringList();
    };
    switch (part) {
    case Part::Suffixes: return names.suffixes;
    case Part::MinLength: return number(names.minLength);
    case Part::MaxLength: return number(names.maxLength);
    case Part::Kind: return names.kind == NameKind::Any ? QStringList() : QStringList { nameKindText(names.kind) };
    case Part::Tags: return names.requiredTags;
    case Part::NotTags: return names.excludedTags;
    case Part::Pattern: return text(names.labelPattern);
    case Part::Contains: return text(names.contains);
    case Part::StartsWith: return text(names.startsWith);
    case Part::EndsWith: return text(names.endsWith);
    case Part::Excludes: return names.excludes;
    case Part::Regex: return text(names.pattern.pattern());
    case Part::MinYears: return years(filter.age.least);
    case Part::MaxYears: return years(filter.age.most);
    }
    return {};
}

bool isList(Part part)
{
    return part == Part::Suffixes || part == Part::Tags || part == Part::NotTags || part == Part::Excludes;
}

bool isNumber(Part part)
{
    return part == Part::MinLength || part == Part::MaxLength || part == Part::MinYears || part == Part::MaxYears;
}

// Sets the part from what the history keeps; false when the value is not what this program writes.
bool setPart(WatchFilter &filter, Part part, const QJsonValue &value)
{
    DomainFilter &names = filter.names;
    if (isList(part)) {
        if (!value.isArray())
            return false;
        QStringList texts;
        for (const QJsonValue &item : value.toArray()) {
            if (!item.isString())
                return false;
            texts.append(item.toString());
        }
        switch (part) {
        case Part::Suffixes: names.suffixes = texts; break;
        case Part::Tags: names.requiredTags = texts; break;
        case Part::NotTags: names.excludedTags = texts; break;
        default: names.excludes = texts; break;
        }
        return true;
    }
    if (isNumber(part)) {
        if (!value.isDouble() || value.toDouble() != double(value.toInt()) || value.toInt() < 0)
            return false;
        const int number = value.toInt();
        switch (part) {
        case Part::MinLength: names.minLength = number; break;
        case Part::MaxLength: names.maxLength = number; break;
        case Part::MinYears: filter.age.least = number; break;
        default: filter.age.most = number; break;
        }
        return true;
    }
    if (!value.isString())
        return false;
    const QString text = value.toString();
    switch (part) {
    case Part::Kind: {
        const std::optional<NameKind> kind = nameKindFromText(text);
        if (!kind)
            return false;
        names.kind = *kind;
        return true;
    }
    case Part::Pattern: names.labelPattern = text; return true;
    case Part::Contains: names.contains = text; return true;
    case Part::StartsWith: names.startsWith = text; return true;
    case Part::EndsWith: names.endsWith = text; return true;
    default:
        names.pattern = QRegularExpression(text, QRegularExpression::CaseInsensitiveOption);
        return names.pattern.isValid();
    }
}

} // namespace

QString webhookFormatText(WebhookFormat format)
{
    for (const FormatName &name : FormatNames) {
        if (name.format == format)
            return QLatin1String(name.text);
    }
    return QString();
}

std::optional<WebhookFormat> webhookFormatFromText(const QString &text)
{
    for (const FormatName &name : FormatNames) {
        if (text == QLatin1String(name.text))
            return name.format;
    }
    return std::nullopt;
}

QStringList filterArguments(const WatchFilter &filter)
{
    QStringList arguments;
    for (const PartName &name : PartNames) {
        for (const QString &value : valuesOf(filter, name.part))
            arguments << QStringLiteral("--") + QLatin1String(name.option) << value;
    }
    return arguments;
}

QByteArray filterToJson(const WatchFilter &filter)
{
    QJsonObject object;
    for (const PartName &name : PartNames) {
        const QStringList values = valuesOf(filter, name.part);
        if (values.isEmpty())
            continue;
        const QString key = QLatin1String(name.key);
        if (isList(name.part))
            object.insert(key, QJsonArray::fromStringList(values));
        else if (isNumber(name.part))
            object.insert(key, values.constFirst().toInt());
        else
            object.insert(key, values.constFirst());
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

bool filterFromJson(const QByteArray &json, WatchFilter *filter, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (!document.isObject())
        return fail(error, QStringLiteral("the filter is no JSON object (%1)").arg(parseError.errorString()));
    WatchFilter read;
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const auto name = std::find_if(std::begin(PartNames), std::end(PartNames),
            [&it](const PartName &part) { return it.key() == QLatin1String(part.key); });
        // A newer program's part left out would let more names through than its user asked for.
        if (name == std::end(PartNames))
            return fail(error, QStringLiteral("the filter holds \"%1\", which this version does not know").arg(it.key()));
        if (!setPart(read, name->part, it.value()))
            return fail(error, QStringLiteral("the filter's \"%1\" is not what this version writes").arg(it.key()));
    }
    *filter = read;
    return true;
}

WatchNameFault watchNameFault(const QString &name)
{
    if (name.trimmed().isEmpty())
        return WatchNameFault::Empty;
    return name.size() > LongestWatchName ? WatchNameFault::TooLong : WatchNameFault::None;
}

QString webhookAddressFault(const QUrl &address)
{
    const QString scheme = address.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return QStringLiteral("the webhook's address is no http or https address");
    if (!address.isValid() || address.host().isEmpty())
        return QStringLiteral("the webhook's address has no host");
    return QString();
}
