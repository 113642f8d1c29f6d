#include "tests/sitetest.h"

#include "tools/samplemarket.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

using namespace std::chrono_literals;

std::string pageTarget(int page)
{
    return "/search?p=" + std::to_string(page);
}

std::string backorderTarget(const QString &domain)
{
    return "/backorder/" + domain.toStdString();
}

std::string icpTarget(const QString &domain)
{
    return "/" + domain.toStdString();
}

QStringList sampleNames(int first, int last)
{
    QStringList names;
    for (int page = std::max(first, 1); page <= std::min(last, 20); ++page) {
        for (const std::string &name : SampleMarket::namesForPage(page))
            names.append(QString::fromStdString(name));
    }
    return names;
}

QString sampleDomain(bool bookingClosed, bool filed)
{
    for (const QString &name : sampleNames(1, 20)) {
        if (SampleMarket::backorderInfoFor(name.toStdString()).bookingClosed == bookingClosed
            && licenceOf(name).isEmpty() != filed)
            return name;
    }
    return QString();
}

QString licenceOf(const QString &domain)
{
    return QString::fromStdString(SampleMarket::icpLicenceFor(domain.toStdString()));
}

SampleWhois sampleWhoisOf(const QString &domain)
{
    SampleWhois facts;
    const QStringList lines
        = QString::fromStdString(SampleMarket::backorderInfoFor(domain.toStdString()).whois).split(u'\n');
    for (const QString &line : lines) {
        const QString key = line.section(QStringLiteral(": "), 0, 0);
        const QString value = line.section(QStringLiteral(": "), 1);
        if (key == QLatin1String("Creation Date"))
            facts.created = value;
        else if (key == QLatin1String("Registry Expiry Date"))
            facts.expires = value;
        else if (key == QLatin1String("Registrar"))
            facts.registrar = value;
        else if (key == QLatin1String("Domain Status"))
            facts.statuses.append(value);
    }
    return facts;
}

QList<int> pageRange(int first, int last)
{
    QList<int> pages;
    for (int page = first; page <= last; ++page)
        pages.append(page);
    return pages;
}

QStringList numberedNames(const QString &prefix, int count, int first)
{
    QStringList names;
    names.reserve(count);
    for (int i = first; i < first + count; ++i)
        names.append(prefix + QString::number(i) + QStringLiteral(".com"));
    return names;
}

QString withNul(const QString &before, const QString &after)
{
    return before + QChar(u'\0') + after;
}

QString viaGbk(const QString &text)
{
    return QStringDecoder("GB18030").decode(QStringEncoder("GB18030").encode(text));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList prefixesOf(const QString &text, const char *encoding)
{
    QStringList prefixes;
    for (qsizetype n = 0; n <= text.size(); ++n)
        prefixes.append(text.left(n));
    const QByteArray bytes = QStringEncoder(encoding).encode(text);
    for (qsizetype n = 0; n <= bytes.size(); ++n)
        prefixes.append(QStringDecoder(encoding).decode(bytes.left(n)));
    return prefixes;
}

SqlConnection::SqlConnection(const QString &path)
    : m_name(QStringLiteral("sql-%1").arg(quintptr(this)))
    , m_db(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name))
{
    m_db.setDatabaseName(path);
    m_db.open();
}

SqlConnection::~SqlConnection()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

QString SqlConnection::run(const QStringList &statements)
{
    QSqlQuery query(m_db);
    for (const QString &statement : statements) {
        if (!query.exec(statement))
            return QStringLiteral("failed: ") + statement + QStringLiteral(": ") + query.lastError().text();
    }
    return query.next() ? query.value(0).toString() : QString();
}

QStringList SqlConnection::column(const QString &statement)
{
    QSqlQuery query(m_db);
    QStringList values;
    for (query.exec(statement); query.next();)
        values << query.value(0).toString();
    return values;
}

FakeDnsServer::Mode sampleDnsMode(const std::string &name)
{
    return SampleMarket::inSampleDns(name) ? FakeDnsServer::Mode::NameServers : FakeDnsServer::Mode::NxDomain;
}

QString sampleElsewhere(const QString &domain)
{
    const auto [label, own] = labelAndSuffix(domain);
    QStringList taken;
    for (const QString &suffix : defaultOtherSuffixes()) {
        if (suffix != own && SampleMarket::inSampleDns((label + u'.' + suffix).toStdString()))
            taken << suffix;
    }
    return taken.isEmpty() ? QStringLiteral("未解析") : taken.join(u' ');
}

void SiteTest::startSite()
{
    m_site = std::make_unique<FakeSite>();
    QVERIFY(m_site->start());
    m_dns = std::make_unique<FakeDnsServer>();
    m_dns->setAnswerer(sampleDnsMode);
    QVERIFY(m_dns->start());
    m_fetcher = std::make_unique<PageFetcher>();
    config = AppConfig();
    config.marketUrl = config.icpUrl = config.updateUrl = QString::fromStdString(m_site->url());
    config.dnsServer = QString::fromStdString(m_dns->address());
    config.requestTimeoutMs = config.menuLookupTimeoutMs = 10000;
}

void SiteTest::endSite()
{
    m_fetcher.reset();
    m_site.reset();
}

QUrl SiteTest::at(const std::string &target) const
{
    return QUrl(QString::fromStdString(m_site->url() + target));
}

void SiteTest::setAnswer(const std::string &target, const FakeSite::Answer &answer, QString AppConfig::*address)
{
    m_site->setAnswer(target, answer);
    if (answer.fault == Fault::ConnectionRefused)
        config.*address = QString::fromStdString(FakeSite::closedPortUrl());
}

bool SiteTest::settle(int held)
{
    const bool quiet = m_site->waitUntilQuiet(held, 30s);
    m_site->clearLog();
    QObject owner;
    bool answered = false;
    m_fetcher->get(config.request(at("/"), false), &owner, [&answered](const FetchResult &) { answered = true; });
    return quiet && QTest::qWaitFor([&] { return answered; }, 30000);
}

DomainFilter filterFrom(const QString &description)
{
    static const QRegularExpression separators(QStringLiteral("[ ;]"));
    QHash<QString, QString> o;
    for (const QString &option : description.split(separators, Qt::SkipEmptyParts))
        o.insert(option.section(u'=', 0, 0), option.section(u'=', 1));
    const auto list = [&o](const char *key) { return o.value(QLatin1String(key)).split(u'|', Qt::SkipEmptyParts); };
    DomainFilter filter;
    filter.suffixes = list("suffix");
    filter.minLength = o.value(QStringLiteral("min")).toInt();
    filter.maxLength = o.value(QStringLiteral("max")).toInt();
    filter.kind = nameKindFromText(o.value(QStringLiteral("kind"))).value_or(NameKind::Any);
    filter.contains = o.value(QStringLiteral("contains"));
    filter.startsWith = o.value(QStringLiteral("start"));
    filter.endsWith = o.value(QStringLiteral("end"));
    filter.excludes = list("exclude");
    filter.pattern = QRegularExpression(o.value(QStringLiteral("regex")));
    filter.requiredTags = list("tag");
    filter.excludedTags = list("nottag");
    filter.labelPattern = o.value(QStringLiteral("pattern"));
    return filter;
}
