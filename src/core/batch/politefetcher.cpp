#include "core/batch/politefetcher.h"

#include <QLocale>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Loopback and network delays can bring two requests sent exactly 1/R apart to the site a little
// closer than that; a site counting arrivals would then see one too many in a second.
constexpr double SpacingMargin = 1.02;
// A request can reach the site well after it was sent: the network stack starting up, connecting, a
// TLS handshake. So it counts as arrived when its answer comes, or this long after it was sent at the
// latest. The first request to a host that was idle counts only when its answer comes, and nothing
// else goes to the host before.
constexpr auto LongestDelay = std::chrono::milliseconds(100);
constexpr auto IdleAfter = std::chrono::seconds(5);
constexpr Clock::time_point Never = Clock::time_point::max();
// The longest single wait a timer can take; a longer Retry-After is waited in steps.
constexpr qint64 LongestTimerMs = std::numeric_limits<int>::max();
// Some 30 years: no server means more, and the clock arithmetic stays far from overflowing.
constexpr qint64 LongestRetryAfterMs = 1000LL * 1000 * 1000 * 1000;

QString hostKey(const QUrl &url)
{
    return url.host() + u':' + QString::number(url.port(url.scheme() == QLatin1String("https") ? 443 : 80));
}

bool isRateLimited(const FetchResult &result)
{
    return result.hasResponse() && (result.httpStatus == 429 || result.httpStatus == 503);
}

// Worth another try: the server or the way to it may be better in a moment.
bool isPassingFailure(const FetchResult &result)
{
    if (result.hasResponse())
        return result.httpStatus >= 500;
    return result.error == FetchError::Timeout || result.error == FetchError::ConnectionFailed
        || result.error == FetchError::Incomplete;
}

std::optional<QDateTime> httpDate(const QByteArray &value)
{
    // The day's name goes: Qt would hold it against a two-digit year read into the wrong century.
    const QString text = QString::fromLatin1(value).simplified();
    const qsizetype comma = text.indexOf(u',');
    const QString date = comma >= 0 ? text.mid(comma + 1).trimmed() : text.section(u' ', 1);
    // The preferred form, the obsolete RFC 850 form and asctime's.
    static const char *const Formats[]
        = { "d MMM yyyy HH:mm:ss 'GMT'", "d-MMM-yy HH:mm:ss 'GMT'", "MMM d HH:mm:ss yyyy" };
    const QLocale c = QLocale::c();
    for (const char *format : Formats) {
        QDateTime time = c.toDateTime(date, QLatin1String(format));
        if (!time.isValid())
            continue;
        time = QDateTime(time.date(), time.time(), Qt::UTC);
        if (time.date().year() < 1970) // a two-digit year of this century
            time = time.addYears(100);
        return time;
    }
    return std::nullopt;
}

} // namespace

QString waitText(qint64 milliseconds)
{
    if (milliseconds >= LongestRetryAfterMs)
        return QStringLiteral("more than 30 years");
    const qint64 seconds = (milliseconds + 500) / 1000;
    if (seconds < 600)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 120 * 60)
        return QStringLiteral("%1 min").arg((seconds + 30) / 60);
    if (seconds < 48 * 3600)
        return QStringLiteral("%1 h").arg((seconds + 1800) / 3600);
    return QStringLiteral("%1 days").arg((seconds + 43200) / 86400);
}

std::optional<qint64> retryAfterMs(const QByteArray &value, const QDateTime &now)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool digitsOnly = true;
    for (const char c : text)
        digitsOnly = digitsOnly && c >= '0' && c <= '9';
    if (digitsOnly) {
        const qint64 seconds = text.size() <= 12 ? text.toLongLong() : LongestRetryAfterMs;
        return std::min(seconds * 1000, LongestRetryAfterMs);
    }
    const std::optional<QDateTime> until = httpDate(text);
    if (!until)
        return std::nullopt;
    return std::clamp<qint64>(now.msecsTo(*until), 0, LongestRetryAfterMs);
}

struct PoliteFetcher::Private
{
    struct Job
    {
        PageRequest request;
        QPointer<QObject> owner;
        bool owned = false;
        Handler onFinished;
        QMetaObject::Connection ownerGone;
        QPointer<PendingFetch> fetch;
        std::shared_ptr<Clock::time_point> arrivedBy; // of the attempt under way
        int attempts = 0;
        int passingFailures = 0;
    };
    using JobPointer = std::shared_ptr<Job>;

    struct Host
    {
        QString name;
        std::deque<JobPointer> queue;
        std::vector<JobPointer> underWay;
        Clock::time_point nextStart {};
        Clock::time_point waitUntil {};
        // When the requests that may have arrived within the last second had surely arrived.
        std::deque<std::shared_ptr<Clock::time_point>> arrivals;
        std::optional<Clock::time_point> lastAnswer;
        QTimer *timer = nullptr;
        // Hosts that answered this one's requests through a redirect: each request counts there too.
        std::vector<Host *> redirectsTo;
    };

    PoliteFetcher *q;
    PageFetcher &fetcher;
    Politeness politeness;
    Clock::duration spacing {};
    size_t perSecond = 0; // 0: no limit
    std::map<QString, std::unique_ptr<Host>> hosts;
    bool paused = false;

    Private(PoliteFetcher *owner, PageFetcher &pageFetcher, const Politeness &rules)
        : q(owner)
        , fetcher(pageFetcher)
        , politeness(rules)
    {
        if (politeness.requestsPerSecond > 0) {
            // Outside these the spacing would overflow the clock, or be shorter than a timer can wait.
            politeness.requestsPerSecond
                = std::clamp(politeness.requestsPerSecond, LeastRequestsPerSecond, MostRequestsPerSecond);
            spacing = std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(SpacingMargin / politeness.requestsPerSecond));
            perSecond = static_cast<size_t>(std::ceil(politeness.requestsPerSecond));
        }
        politeness.requestsAtOnce = std::max(1, politeness.requestsAtOnce);
        politeness.rateLimitedAttempts = std::max(1, politeness.rateLimitedAttempts);
        politeness.otherRetries = std::max(0, politeness.otherRetries);
    }

    Host &hostFor(const QUrl &url)
    {
        std::unique_ptr<Host> &host = hosts[hostKey(url)];
        if (!host) {
            host = std::make_unique<Host>();
            host->name = url.host();
            host->timer = new QTimer(q);
            host->timer->setSingleShot(true);
            host->timer->setTimerType(Qt::PreciseTimer);
            QObject::connect(host->timer, &QTimer::timeout, q, [this, h = host.get()] { pump(*h); });
        }
        return *host;
    }

    // Sends what the host may take now, and wakes up when it may take the next.
    void pump(Host &host)
    {
        while (!paused && !host.queue.empty() && static_cast<int>(host.underWay.size()) < politeness.requestsAtOnce) {
            const Clock::time_point now = Clock::now();
            Clock::time_point allowed = std::max({ host.nextStart, host.waitUntil, windowOpens(host, now) });
            for (Host *reached : host.redirectsTo)
                allowed = std::max({ allowed, reached->waitUntil, windowOpens(*reached, now) });
            if (allowed == Never)
                return; // an answer brings the next turn
            if (now < allowed) {
                const auto ms = std::chrono::ceil<std::chrono::milliseconds>(allowed - now).count();
                host.timer->start(static_cast<int>(std::min<qint64>(ms, LongestTimerMs)));
                return;
            }
            JobPointer job = host.queue.front();
            host.queue.pop_front();
            const bool idle = host.underWay.empty() && (!host.lastAnswer || now - *host.lastAnswer > IdleAfter);
            host.nextStart = idle ? Never : now + spacing;
            job->arrivedBy = std::make_shared<Clock::time_point>(idle ? Never : now + LongestDelay);
            if (perSecond > 0) {
                host.arrivals.push_back(job->arrivedBy);
                for (Host *reached : host.redirectsTo)
                    reached->arrivals.push_back(job->arrivedBy);
            }
            host.underWay.push_back(job);
            ++job->attempts;
            job->fetch = fetcher.get(
                job->request, q, [this, &host, job](const FetchResult &result) { answered(host, job, result); });
        }
    }

    // When one more request can arrive without making more than the limit within a second.
    Clock::time_point windowOpens(Host &host, Clock::time_point now) const
    {
        auto &arrivals = host.arrivals;
        arrivals.erase(std::remove_if(arrivals.begin(), arrivals.end(),
                           [now](const auto &by) { return *by != Never && *by + std::chrono::seconds(1) <= now; }),
            arrivals.end());
        if (arrivals.size() < perSecond)
            return {};
        std::vector<Clock::time_point> latest;
        for (const auto &by : arrivals)
            latest.push_back(*by);
        const auto nth = latest.begin() + static_cast<std::ptrdiff_t>(perSecond - 1);
        std::nth_element(latest.begin(), nth, latest.end(), std::greater<>());
        return *nth == Never ? Never : *nth + std::chrono::seconds(1);
    }

    qint64 pauseMs(int failures) const
    {
        const qint64 longest = std::max(0, politeness.longestPauseMs);
        qint64 base = std::max(0, politeness.firstPauseMs);
        for (int i = 1; i < failures && base < longest; ++i)
            base *= 2;
        base = std::min(base, longest);
        // Up to a quarter more, so that clients turned away together do not come back together.
        const qint64 jitter = base / 4 > 0 ? QRandomGenerator::global()->bounded(base / 4 + 1) : 0;
        return std::min(longest, base + jitter);
    }

    void answered(Host &host, const JobPointer &job, const FetchResult &answer)
    {
        host.underWay.erase(std::find(host.underWay.begin(), host.underWay.end(), job));
        arrived(host, *job);
        learnRedirect(host, *job, answer);
        FetchResult result = answer;
        std::optional<qint64> waitMs;
        if (isRateLimited(result)) {
            const std::optional<qint64> askedMs = retryAfterMs(result.retryAfter);
            if (askedMs && *askedMs > politeness.longestWaitMs) {
                result.error = FetchError::WaitTooLong;
                result.errorText = QStringLiteral("the site asks to wait %1").arg(waitText(*askedMs));
            } else if (job->attempts < politeness.rateLimitedAttempts) {
                waitMs = askedMs.value_or(pauseMs(job->attempts));
            }
        } else if (isPassingFailure(result) && ++job->passingFailures <= politeness.otherRetries) {
            waitMs = pauseMs(job->passingFailures);
        }

        if (waitMs) {
            const Clock::time_point until = Clock::now() + std::chrono::milliseconds(*waitMs);
            host.waitUntil = std::max(host.waitUntil, until);
            host.queue.push_front(job); // keeps its place
            emit q->waiting(host.name, *waitMs);
        } else {
            QObject::disconnect(job->ownerGone);
            if (job->owner || !job->owned) {
                // The handler may delete this fetcher; the answer that is being reported must not go
                // with it.
                if (job->fetch)
                    job->fetch->setParent(nullptr);
                QPointer<PoliteFetcher> alive(q);
                job->onFinished(result, job->attempts);
                if (!alive)
                    return;
            }
        }
        // The handler may have cancelled everything, this host's requests with it. Hosts that redirect
        // here, or where this one redirects, may take their next request now.
        for (auto &[key, each] : hosts)
            pump(*each);
    }

    // An answer that came from another host than the one asked: from now on the requests of this one
    // count there too (this one counted already).
    void learnRedirect(Host &host, const Job &job, const FetchResult &result)
    {
        const QString scheme = result.url.scheme();
        if (result.url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
            || hostKey(result.url) == hostKey(job.request.url))
            return;
        Host &reached = hostFor(result.url);
        if (std::find(host.redirectsTo.begin(), host.redirectsTo.end(), &reached) != host.redirectsTo.end())
            return;
        host.redirectsTo.push_back(&reached);
        if (perSecond > 0)
            reached.arrivals.push_back(job.arrivedBy);
    }

    // The request is answered or abandoned: by now it got there, or never will.
    void arrived(Host &host, Job &job)
    {
        const Clock::time_point now = Clock::now();
        host.lastAnswer = now;
        if (host.nextStart == Never)
            host.nextStart = now + spacing;
        *job.arrivedBy = std::min(*job.arrivedBy, now);
    }
    void abandon(Host &host, Job &job)
    {
        delete job.fetch;
        arrived(host, job);
    }

    // The owner went: its requests are dropped, and those under way free their place.
    void forget(const Job *gone)
    {
        for (auto &[key, host] : hosts) {
            auto &queue = host->queue;
            queue.erase(
                std::remove_if(queue.begin(), queue.end(), [gone](const JobPointer &j) { return j.get() == gone; }),
                queue.end());
            for (auto it = host->underWay.begin(); it != host->underWay.end(); ++it) {
                if (it->get() == gone) {
                    abandon(*host, **it);
                    host->underWay.erase(it);
                    pump(*host);
                    break;
                }
            }
        }
    }
};

PoliteFetcher::PoliteFetcher(PageFetcher &fetcher, const Politeness &politeness, QObject *parent)
    : QObject(parent)
    , d(new Private(this, fetcher, politeness))
{ }

PoliteFetcher::~PoliteFetcher()
{
    cancelAll();
    delete d;
}

void PoliteFetcher::get(const PageRequest &request, QObject *owner, Handler onFinished)
{
    auto job = std::make_shared<Private::Job>();
    job->request = request;
    job->owner = owner;
    job->owned = owner != nullptr;
    job->onFinished = std::move(onFinished);
    if (owner)
        job->ownerGone = connect(owner, &QObject::destroyed, this, [this, gone = job.get()] { d->forget(gone); });
    Private::Host &host = d->hostFor(request.url);
    host.queue.push_back(std::move(job));
    d->pump(host);
}

void PoliteFetcher::pause()
{
    d->paused = true;
}

void PoliteFetcher::resume()
{
    d->paused = false;
    for (auto &[key, host] : d->hosts)
        d->pump(*host);
}

void PoliteFetcher::cancelAll()
{
    for (auto &[key, host] : d->hosts) {
        for (const auto &job : host->queue)
            disconnect(job->ownerGone);
        for (const auto &job : host->underWay) {
            disconnect(job->ownerGone);
            d->abandon(*host, *job);
        }
        host->queue.clear();
        host->underWay.clear();
        host->timer->stop();
        // Each host keeps when it may be asked next: a new batch is no reason to ask sooner.
    }
}

int PoliteFetcher::queued() const
{
    int count = 0;
    for (const auto &[key, host] : d->hosts)
        count += static_cast<int>(host->queue.size());
    return count;
}
