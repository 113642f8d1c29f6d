// What the tests share besides the window: a fake site with a page fetcher and a configuration that
// points every site at it, the sample marketplace's targets, names and domains, and small helpers for
// files, names and the history's database.
#pragma once

#include "core/config.h"
#include "core/filter/domainfilter.h"
#include "core/net/pagefetcher.h"
#include "core/dns/elsewhere.h"
#include "tools/fakedns.h"
#include "tools/fakesite.h"

#include <QObject>
#include <QSqlDatabase>
#include <QStringList>

#include <memory>
#include <string>

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(FakeSite::Answer)

// The fake site's targets.
std::string pageTarget(int page);
std::string backorderTarget(const QString &domain);
std::string icpTarget(const QString &domain);
inline const std::string VersionTarget = "/version/main.txt";

// How the sample's DNS server answers for a name, and what the 其他后缀 cell then says of a domain under the
// default other suffixes.
FakeDnsServer::Mode sampleDnsMode(const std::string &name);
QString sampleElsewhere(const QString &domain);

// The names the sample marketplace lists on these pages, in page order; pages past 20 list none.
QStringList sampleNames(int first, int last);
inline QStringList sampleNames(int page)
{
    return sampleNames(page, page);
}
// The first name of the sample marketplace whose booking is closed or not and whose website is filed or
// not: one of page 1 where there is one.
QString sampleDomain(bool bookingClosed, bool filed);
QString licenceOf(const QString &domain);
// What the sample marketplace's whois for the domain says, taken from it line by line: a registry's
// answer with a creation and an expiry date, a registrar, two statuses and two name servers.
struct SampleWhois
{
    QString created; // ISO 8601 in UTC, as written
    QString expires;
    QString registrar;
    QStringList statuses;
};
SampleWhois sampleWhoisOf(const QString &domain);

// first, first + 1 ... last
QList<int> pageRange(int first, int last);
// "<prefix><first>.com", "<prefix><first + 1>.com" ...
QStringList numberedNames(const QString &prefix, int count, int first = 0);

// "suffix=.com|net min=2 kind=digits": the filter a test row describes, options split by blanks or ";".
// Keys: suffix, min, max, kind, contains, start, end, exclude, regex (lists split by "|").
DomainFilter filterFrom(const QString &description);

// The text with a NUL character between the two parts.
QString withNul(const QString &before, const QString &after);
// The text encoded in GB18030 (GBK's superset) and decoded again, as a GBK page reaches a reader.
QString viaGbk(const QString &text);

// A file's bytes, or "<unreadable>".
QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);

// Every prefix of the text, and of its bytes in the encoding cut anywhere (also inside a character)
// and decoded as a fetch decodes them; each series starts with the empty text.
QStringList prefixesOf(const QString &text, const char *encoding);

// A connection of the test's own to a database file: it writes what a store's calls do not, reads what
// they do not tell, and holds the lock as another writer.
class SqlConnection
{
public:
    explicit SqlConnection(const QString &path);
    ~SqlConnection();
    // The last statement's first value, "" when it has none, or why a statement failed.
    QString run(const QStringList &statements);
    // The first column of every row of the statement's result.
    QStringList column(const QString &statement);

private:
    const QString m_name;
    QSqlDatabase m_db;
};

// The base of the tests of operations that fetch: a fresh fake site, a fetcher and a configuration
// for each test function.
class SiteTest : public QObject
{
    Q_OBJECT

protected:
    // Starts a fake site, a fake DNS server and a fetcher, and points every address of the configuration at them, with
    // time limits of 10 s. Call from init().
    void startSite();
    // Stops the site. Call from cleanup(), after what uses the fetcher is gone.
    void endSite();

    FakeSite &site() { return *m_site; }
    FakeDnsServer &dns() { return *m_dns; }
    PageFetcher &fetcher() { return *m_fetcher; }
    QUrl at(const std::string &target) const;

    // Sets the target's answer; a refused connection points the configuration's address at a port where
    // nothing listens instead.
    void setAnswer(
        const std::string &target, const FakeSite::Answer &answer, QString AppConfig::*address = &AppConfig::marketUrl);
    // Lets every answer the site was sending reach the fetcher: waits until it answers no more than the
    // held requests, clears its log, then sends one more request through the fetcher and waits for its
    // answer, which the log then holds.
    bool settle(int held = 0);

    AppConfig config;

private:
    std::unique_ptr<FakeSite> m_site;
    std::unique_ptr<FakeDnsServer> m_dns;
    std::unique_ptr<PageFetcher> m_fetcher;
};
