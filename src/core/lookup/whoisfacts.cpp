#include "core/lookup/whoisfacts.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QTimeZone>

#include <array>

namespace {

enum class Fact {
    Domain, // starts an answer: a second one is a registrar's after the registry's
    Created,
    Expires,
    Updated,
    Registrar,
    Status,
    NameServer,
};

struct Key
{
    Fact fact;
    bool beijingTime = false; // a time without a zone in it is Beijing time (UTC+8)
};

// Keys in lower case, blanks between words made one.
const QHash<QString, Key> &knownKeys()
{
    static const QHash<QString, Key> keys = [] {
        QHash<QString, Key> keys;
        const auto add = [&keys](Fact fact, std::initializer_list<const char *> names, bool beijingTime = false) {
            for (const char *name : names)
                keys.insert(QString::fromUtf8(name), { fact, beijingTime });
        };
        add(Fact::Domain, { "domain name", "domain", "域名" });
        add(Fact::Created,
            { "creation date", "created", "created on", "created date", "registered on", "registration date",
                "domain registration date", "registered" });
        add(Fact::Created, { "registration time", "注册时间", "注册日期", "创建时间" }, true);
        add(Fact::Expires,
            { "registry expiry date", "registrar registration expiration date", "expiry date", "expiration date",
                "expires on", "expires", "expire date", "paid-till", "domain expiration date" });
        add(Fact::Expires, { "expiration time", "到期时间", "过期时间", "到期日期", "过期日期" }, true);
        add(Fact::Updated,
            { "updated date", "last updated", "last updated on", "last modified", "updated", "changed" });
        add(Fact::Updated, { "更新时间", "更新日期" }, true);
        add(Fact::Registrar, { "registrar", "sponsoring registrar", "registrar name" });
        add(Fact::Registrar, { "注册商" }, true);
        add(Fact::Status, { "domain status", "status" });
        add(Fact::Status, { "域名状态" }, true);
        add(Fact::NameServer, { "name server", "name servers", "nameserver", "nameservers", "nserver", "dns" });
        add(Fact::NameServer, { "域名服务器", "dns服务器" }, true);
        return keys;
    }();
    return keys;
}

constexpr qsizetype MaxKeyChars = 48;

struct Line
{
    QStringView key; // empty when the line is no "key: value" line
    QStringView value;
    QStringView whole; // trimmed
};

// "Key: value" or "键：值": the key is what comes before the first colon of either width.
Line splitLine(QStringView text)
{
    Line line;
    line.whole = text.trimmed();
    qsizetype colon = -1;
    for (qsizetype i = 0; i < line.whole.size() && i <= MaxKeyChars; ++i) {
        if (line.whole[i] == u':' || line.whole[i] == u'\uff1a') {
            colon = i;
            break;
        }
    }
    // A key starts with no digit and holds no point: "12:00:00" and "ns1.example.net 2001:db8::1" on a line
    // of their own are values.
    if (colon > 0 && !line.whole[0].isDigit() && !line.whole.first(colon).contains(u'.')) {
        line.key = line.whole.first(colon).trimmed();
        line.value = line.whole.sliced(colon + 1).trimmed();
    }
    return line;
}

QString normalizedKey(QStringView key)
{
    QString out;
    out.reserve(key.size());
    bool blank = false;
    for (const QChar c : key) {
        if (c.isSpace()) {
            blank = !out.isEmpty();
            continue;
        }
        if (blank)
            out += u' ';
        blank = false;
        out += c.toLower();
    }
    return out;
}

const Key *keyOf(const Line &line)
{
    if (line.key.isEmpty())
        return nullptr;
    const auto found = knownKeys().constFind(normalizedKey(line.key));
    return found == knownKeys().cend() ? nullptr : &*found;
}

const std::array<const char *, 12> MonthNames
    = { "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec" };

int monthNamed(QStringView name)
{
    for (std::size_t i = 0; i < MonthNames.size(); ++i) {
        if (name.compare(QLatin1String(MonthNames[i]), Qt::CaseInsensitive) == 0)
            return int(i) + 1;
    }
    return 0;
}

// A date, with a time and a zone when it has them: ISO 8601 ("2003-05-27T15:32:10Z", with a fraction or
// an offset), "2003-05-27 15:32:10", "2003.05.27", "2003/05/27", "27-May-2003", "2003年5月27日". Without a
// zone it is UTC, or Beijing time where the key says so.
QDateTime dateIn(QStringView text, bool beijingTime)
{
    static const QRegularExpression numeric(
        QStringLiteral("^(\\d{4})\\s*([-./年])\\s*(\\d{1,2})\\s*[-./月]\\s*(\\d{1,2})\\s*日?\\.?"
                       "(?:(?:T|\\s+)(\\d{1,2}):(\\d{2})(?::(\\d{2})(?:[.,]\\d+)?)?)?"
                       "\\s*(Z|UTC|GMT|[+-]\\d{2}:?\\d{2}|UTC[+-]\\d{1,2}|CST)?(?![\\dA-Za-z])"));
    static const QRegularExpression named(
        QStringLiteral("^(\\d{1,2})[-\\s]([A-Za-z]{3})[-\\s](\\d{4})"
                       "(?:\\s+(\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?\\s*(Z|UTC|GMT|[+-]\\d{2}:?\\d{2})?(?![\\dA-Za-z])"));
    int year = 0, month = 0, day = 0;
    QTime time(0, 0);
    QStringView zone;
    QRegularExpressionMatch match = numeric.match(text);
    if (match.hasMatch()) {
        // The separators must agree: "2003-05/27" is no date.
        const QStringView separator = match.capturedView(2);
        const QStringView between = text.sliced(match.capturedEnd(3)).trimmed();
        const bool agrees = separator == u"年" ? between.startsWith(u'月') : between.startsWith(separator);
        if (!agrees)
            return QDateTime();
        year = match.capturedView(1).toInt();
        month = match.capturedView(3).toInt();
        day = match.capturedView(4).toInt();
        if (match.capturedLength(5) > 0)
            time = QTime(match.capturedView(5).toInt(), match.capturedView(6).toInt(), match.capturedView(7).toInt());
        zone = match.capturedView(8);
    } else if (match = named.match(text); match.hasMatch()) {
        day = match.capturedView(1).toInt();
        month = monthNamed(match.capturedView(2));
        year = match.capturedView(3).toInt();
        if (match.capturedLength(4) > 0)
            time = QTime(match.capturedView(4).toInt(), match.capturedView(5).toInt(), match.capturedView(6).toInt());
        zone = match.capturedView(7);
    } else {
        return QDateTime();
    }
    const QDate date(year, month, day);
    if (!date.isValid() || !time.isValid() || year < WhoisFacts::EarliestYear || year > WhoisFacts::LatestYear)
        return QDateTime();
    int offsetSeconds = beijingTime ? 8 * 3600 : 0;
    if (zone == u"Z" || zone == u"UTC" || zone == u"GMT") {
        offsetSeconds = 0;
    } else if (zone == u"CST") {
        // In a Chinese registrar's answer: China Standard Time.
        offsetSeconds = 8 * 3600;
    } else if (zone.startsWith(u"UTC")) {
        offsetSeconds = zone.sliced(3).toInt() * 3600;
    } else if (!zone.isEmpty()) {
        const QString digits = zone.sliced(1).toString().remove(u':');
        offsetSeconds = (digits.left(2).toInt() * 3600 + digits.mid(2).toInt() * 60) * (zone[0] == u'-' ? -1 : 1);
    }
    if (offsetSeconds < -14 * 3600 || offsetSeconds > 14 * 3600)
        return QDateTime();
    const QDateTime utc = QDateTime(date, time, QTimeZone(offsetSeconds)).toUTC();
    // The offset may carry a date at a bound over it.
    if (utc.date().year() < WhoisFacts::EarliestYear || utc.date().year() > WhoisFacts::LatestYear)
        return QDateTime();
    return utc;
}

// What comes before the first blank or tab.
QStringView firstWordOf(QStringView value)
{
    qsizetype end = 0;
    while (end < value.size() && value[end] != u' ' && value[end] != u'\t')
        ++end;
    return value.first(end);
}

// "clientHold https://icann.org/epp#clientHold" and "clientDeleteProhibited(注册商设置禁止删除)" are
// "clientHold" and "clientDeleteProhibited": the first word of Latin letters; a value with none is
// taken up to its first blank.
QString statusCode(QStringView value)
{
    const auto isLetter = [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
    const auto isCodeChar = [&](QChar c) { return isLetter(c) || (c >= u'0' && c <= u'9') || c == u'_'; };
    const QStringView firstWord = firstWordOf(value);
    if (firstWord.startsWith(u"http", Qt::CaseInsensitive))
        return QString();
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (!isLetter(value[i]) || (i > 0 && isCodeChar(value[i - 1])))
            continue;
        qsizetype end = i;
        while (end < value.size() && isCodeChar(value[end]))
            ++end;
        const QStringView word = value.sliced(i, end - i);
        if (word.startsWith(u"http", Qt::CaseInsensitive))
            break;
        return word.left(64).toString();
    }
    return firstWord.left(64).toString();
}

QString nameServer(QStringView value)
{
    QStringView host = firstWordOf(value);
    while (host.endsWith(u'.'))
        host.chop(1);
    return host.left(253).toString().toLower();
}

// Where the registry's answer starts: after an IANA referral in front of it, when there is one. The
// referral ends at its "source: IANA" line, or where the registry's answer shows by its domain key or
// the "# whois.server" line a client writes in front of it.
qsizetype answerStart(const QList<QStringView> &lines)
{
    bool referral = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Line line = splitLine(lines[i]);
        if (line.whole.startsWith(u"% IANA WHOIS server", Qt::CaseInsensitive)) {
            referral = true;
            continue;
        }
        const QString key = normalizedKey(line.key);
        if (key == u"refer" || key == u"whois") {
            referral = true;
            continue;
        }
        if (!referral) {
            // Until the first fact of an answer, the text may still turn out to be a referral.
            if (const Key *known = keyOf(line); known && known->fact != Fact::Domain)
                return 0;
            if (key == u"domain name")
                return 0;
            continue;
        }
        if (key == u"source" && line.value.compare(u"IANA", Qt::CaseInsensitive) == 0)
            return i + 1;
        if (line.whole.startsWith(u'#') || key == u"domain name")
            return i;
    }
    // A referral and nothing after it: none of it is the domain's.
    return referral ? lines.size() : 0;
}

} // namespace

WhoisFacts readWhoisFacts(const QString &whoisText)
{
    QList<QStringView> lines;
    for (QStringView rest = whoisText; !rest.isEmpty();) {
        qsizetype end = 0;
        while (end < rest.size() && rest[end] != u'\n' && rest[end] != u'\r')
            ++end;
        lines.append(rest.first(end));
        rest = rest.sliced(end);
        if (rest.startsWith(u"\r\n"))
            rest = rest.sliced(2);
        else if (!rest.isEmpty())
            rest = rest.sliced(1);
    }

    WhoisFacts facts;
    // Statuses and name servers are lists: the first answer that names any of them gives them all.
    bool listsDone = false;
    bool domainSeen = false;
    QStringList statuses;
    QStringList nameServers;
    const auto endAnswer = [&] {
        if (!listsDone && (!statuses.isEmpty() || !nameServers.isEmpty())) {
            facts.statuses = statuses;
            facts.nameServers = nameServers;
            listsDone = true;
        }
        statuses.clear();
        nameServers.clear();
    };
    for (qsizetype i = answerStart(lines); i < lines.size(); ++i) {
        const Line line = splitLine(lines[i]);
        const Key *key = keyOf(line);
        if (!key)
            continue;
        if (key->fact == Fact::Domain) {
            if (domainSeen)
                endAnswer();
            domainSeen = true;
            continue;
        }
        // A key alone on its line has its values on the lines below, up to a blank line or another key.
        QList<QStringView> values;
        if (!line.value.isEmpty()) {
            values.append(line.value);
        } else {
            for (qsizetype next = i + 1; next < lines.size(); ++next) {
                const Line below = splitLine(lines[next]);
                if (below.whole.isEmpty() || !below.key.isEmpty())
                    break;
                values.append(below.whole);
            }
        }
        for (const QStringView value : std::as_const(values)) {
            switch (key->fact) {
            case Fact::Created:
            case Fact::Expires:
            case Fact::Updated: {
                QDateTime &date = key->fact == Fact::Created ? facts.created
                    : key->fact == Fact::Expires             ? facts.expires
                                                             : facts.updated;
                if (!date.isValid())
                    date = dateIn(value, key->beijingTime);
                break;
            }
            case Fact::Registrar:
                if (facts.registrar.isEmpty())
                    facts.registrar = value.left(WhoisFacts::MaxRegistrarChars).trimmed().toString();
                break;
            case Fact::Status:
                if (const QString code = statusCode(value); !code.isEmpty() && !statuses.contains(code))
                    statuses.append(code);
                break;
            case Fact::NameServer:
                if (const QString host = nameServer(value); !host.isEmpty() && !nameServers.contains(host))
                    nameServers.append(host);
                break;
            case Fact::Domain:
                break;
            }
        }
    }
    endAnswer();
    return facts;
}

std::optional<int> wholeYearsSince(const QDateTime &created, const QDateTime &now)
{
    if (!created.isValid() || !now.isValid() || created > now)
        return std::nullopt;
    const QDate from = created.toUTC().date();
    const QDate to = now.toUTC().date();
    int years = to.year() - from.year();
    if (to.month() < from.month() || (to.month() == from.month() && to.day() < from.day()))
        --years;
    return years;
}
