#include "fetch/pagefetcher.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSocketNotifier>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>
#include <optional>

#include <poll.h>

namespace {

std::atomic<int> blockingFetchInterrupt { -1 };

QByteArray declaredCharset(const QByteArray &contentType)
{
    for (const QByteArray &parameter : contentType.split(';')) {
        const QByteArray item = parameter.trimmed();
        if (item.size() > 8 && item.left(8).toLower() == "charset=") {
            QByteArray name = item.mid(8).trimmed();
            if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"'))
                name = name.mid(1, name.size() - 2);
            return name;
        }
    }
    return QByteArray();
}

// Errors that only say what the HTTP status already says: the response itself is complete.
bool isStatusOnlyError(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ContentAccessDenied:
    case QNetworkReply::ContentOperationNotPermittedError:
    case QNetworkReply::ContentNotFoundError:
    case QNetworkReply::AuthenticationRequiredError:
    case QNetworkReply::ContentReSendError:
    case QNetworkReply::ContentConflictError:
    case QNetworkReply::ContentGoneError:
    case QNetworkReply::UnknownContentError:
    case QNetworkReply::ProtocolInvalidOperationError:
    case QNetworkReply::InternalServerError:
    case QNetworkReply::OperationNotImplementedError:
    case QNetworkReply::ServiceUnavailableError:
    case QNetworkReply::UnknownServerError:
        return true;
    default:
        return false;
    }
}

// Qt may finish a reply without an error when the server closes the connection half-way
// through the body. Where the body travels as is, Content-Length tells how much should have come;
// a chunked body that breaks off between two chunks cannot be told from a whole one.
bool isShortOfAnnouncedLength(const QNetworkReply *reply, qint64 received)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 204 || status == 304)
        return false;
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (!encoding.isEmpty() && encoding != "identity")
        return false; // the length counts compressed bytes, the body is unpacked
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    return length.isValid() && received < length.toLongLong();
}

} // namespace

QString decodeDeclaredCharset(const FetchResult &result)
{
    if (!result.hasResponse())
        return QString();
    const QByteArray charset = declaredCharset(result.contentType);
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder.decode(result.body);
    }
    return QString::fromUtf8(result.body);
}

QString decodeGbk(const QByteArray &bytes)
{
    QStringDecoder decoder("GB18030");
    Q_ASSERT(decoder.isValid());
    return decoder.decode(bytes);
}

FetchJob::FetchJob(QNetworkReply *reply, const FetchLimits &limits, QObject *parent)
    : QObject(parent)
    , m_reply(reply)
    , m_limits(limits)
{
    if (!m_reply)
        return;
    m_reply->setParent(this);

    m_deadline = new QTimer(this);
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this] {
        fail(FetchError::Timeout, QStringLiteral("no complete answer within %1 ms").arg(m_limits.transferTimeoutMs));
    });
    m_deadline->start(m_limits.transferTimeoutMs);

    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > m_limits.maxBodyBytes)
            fail(FetchError::TooLarge, QStringLiteral("the announced body is larger than the limit"));
    });
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > m_limits.maxBodyBytes)
            fail(FetchError::TooLarge, QStringLiteral("the body is larger than the limit"));
    });
    connect(m_reply, &QNetworkReply::finished, this, &FetchJob::onReplyFinished);
}

void FetchJob::abort()
{
    fail(FetchError::Aborted, QStringLiteral("cancelled"));
}

void FetchJob::fail(FetchError error, const QString &text)
{
    if (m_finished || m_forcedError != FetchError::None)
        return;
    m_forcedError = error;
    m_result.errorText = text;
    if (m_reply)
        m_reply->abort(); // finishes the reply, which lands in onReplyFinished()
    if (!m_finished)
        onReplyFinished();
}

void FetchJob::onReplyFinished()
{
    if (m_finished)
        return;
    if (m_forcedError != FetchError::None) {
        m_result.error = m_forcedError;
    } else if (!m_reply) {
        m_result.error = FetchError::InvalidUrl;
    } else {
        const QNetworkReply::NetworkError error = m_reply->error();
        m_result.httpStatus = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (error == QNetworkReply::NoError || (m_result.httpStatus != 0 && isStatusOnlyError(error))) {
            m_result.error = FetchError::None;
            m_result.body = m_reply->readAll();
            m_result.contentType = m_reply->rawHeader("Content-Type");
            if (isShortOfAnnouncedLength(m_reply, m_result.body.size())) {
                m_result.error = FetchError::Incomplete;
                m_result.body.clear();
                m_result.contentType.clear();
                m_result.errorText = QStringLiteral("the connection closed before the whole body had arrived");
            }
        } else {
            m_result.error = m_result.httpStatus == 0 ? FetchError::ConnectionFailed : FetchError::Incomplete;
            if (error == QNetworkReply::TooManyRedirectsError || error == QNetworkReply::InsecureRedirectError)
                m_result.error = FetchError::Other;
            m_result.errorText = m_reply->errorString();
        }
    }
    complete();
}

void FetchJob::complete()
{
    m_finished = true;
    if (m_deadline)
        m_deadline->stop();
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    emit finished();
    deleteLater();
}

PageFetcher::PageFetcher(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
{
    m_network->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    m_network->setAutoDeleteReplies(false);
}

// Jobs still running die with the fetcher without emitting finished(): their listeners may be
// half destroyed already. They go before the network manager that their replies belong to.
PageFetcher::~PageFetcher()
{
    qDeleteAll(findChildren<FetchJob *>(Qt::FindDirectChildrenOnly));
}

FetchJob *PageFetcher::get(const FetchRequest &request)
{
    const QString scheme = request.url.scheme();
    if (!request.url.isValid() || request.url.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        auto *job = new FetchJob(nullptr, request.limits, this);
        job->m_result.errorText = QStringLiteral("not a web address: %1").arg(request.url.toString());
        QMetaObject::invokeMethod(job, &FetchJob::onReplyFinished, Qt::QueuedConnection);
        return job;
    }

    QNetworkRequest networkRequest(request.url);
    networkRequest.setMaximumRedirectsAllowed(MaxRedirects);
    if (request.bypassCaches)
        networkRequest.setRawHeader("If-Modified-Since", "0");
    return new FetchJob(m_network->get(networkRequest), request.limits, this);
}

void PageFetcher::abortAll()
{
    const QList<FetchJob *> jobs = findChildren<FetchJob *>(Qt::FindDirectChildrenOnly);
    for (FetchJob *job : jobs)
        job->abort();
}

FetchResult waitForJob(FetchJob *job)
{
    FetchResult result;
    bool done = false;
    QEventLoop loop;
    QObject::connect(job, &FetchJob::finished, &loop, [&] {
        result = job->result();
        done = true;
        loop.quit();
    });
    if (!done)
        loop.exec();
    // The loop also returns when the application quits: give up the request then.
    if (!done)
        job->abort();
    return result;
}

FetchResult fetchBlocking(const FetchRequest &request)
{
    FetchResult result;
    const int interrupt = blockingFetchInterrupt.load();
    std::unique_ptr<QThread> worker(QThread::create([&request, &result, interrupt] {
        PageFetcher fetcher;
        QEventLoop loop;
        FetchJob *job = fetcher.get(request);
        QObject::connect(job, &FetchJob::finished, &loop, [&] {
            result = job->result();
            loop.quit();
        });
        // The worker, not the blocked thread, watches for the end of the program. The descriptor
        // is never drained here: the window's own watcher sees it too once its thread is free.
        std::optional<QSocketNotifier> interrupted;
        if (interrupt >= 0) {
            interrupted.emplace(interrupt, QSocketNotifier::Read);
            QObject::connect(&*interrupted, &QSocketNotifier::activated, job, &FetchJob::abort);
        }
        loop.exec();
    }));
    worker->start();
    worker->wait();
    return result;
}

void setBlockingFetchInterrupt(int descriptor)
{
    blockingFetchInterrupt.store(descriptor);
}

bool isBlockingFetchInterrupted()
{
    const int interrupt = blockingFetchInterrupt.load();
    if (interrupt < 0)
        return false;
    pollfd watched { interrupt, POLLIN, 0 };
    return ::poll(&watched, 1, 0) > 0 && (watched.revents & POLLIN) != 0;
}
