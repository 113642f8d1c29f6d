#include "core/net/pagefetcher.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>

namespace {

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

// The error Qt reports for nothing but an HTTP error status. Any other error, under whatever
// status, is a transfer that failed (a body that could not be unpacked, a broken protocol).
QNetworkReply::NetworkError errorOfStatus(int status)
{
    switch (status) {
    case 400:
    case 418:
        return QNetworkReply::ProtocolInvalidOperationError;
    case 401:
        return QNetworkReply::AuthenticationRequiredError;
    case 403:
        return QNetworkReply::ContentAccessDenied;
    case 404:
        return QNetworkReply::ContentNotFoundError;
    case 405:
        return QNetworkReply::ContentOperationNotPermittedError;
    case 407:
        return QNetworkReply::ProxyAuthenticationRequiredError;
    case 409:
        return QNetworkReply::ContentConflictError;
    case 410:
        return QNetworkReply::ContentGoneError;
    case 500:
        return QNetworkReply::InternalServerError;
    case 501:
        return QNetworkReply::OperationNotImplementedError;
    case 503:
        return QNetworkReply::ServiceUnavailableError;
    default:
        if (status > 500)
            return QNetworkReply::UnknownServerError;
        if (status >= 400)
            return QNetworkReply::UnknownContentError;
        return QNetworkReply::NoError;
    }
}

// Qt may finish a reply without an error when the server closes the connection half-way through
// the body. Where the body travels as is, Content-Length tells how much should have come; a chunked
// body that breaks off between two chunks cannot be told from a whole one.
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

// The scheme of the address a redirect answer points to, in lower case; empty for any other answer.
QString redirectScheme(const QNetworkReply *reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 300 || status >= 400 || !reply->hasRawHeader("Location"))
        return QString();
    const QUrl target = reply->url().resolved(QUrl::fromEncoded(reply->rawHeader("Location").trimmed()));
    return target.scheme().toLower();
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
    return decoder.decode(bytes);
}

PendingFetch::PendingFetch(QNetworkReply *reply, const PageRequest &request, QObject *owner)
    : QObject(owner)
    , m_reply(reply)
    , m_maxBodyBytes(request.maxBodyBytes)
{
    if (!m_reply) {
        m_result.errorText = QStringLiteral("not a web address: %1").arg(request.url.toString());
        QMetaObject::invokeMethod(this, &PendingFetch::replyFinished, Qt::QueuedConnection);
        return;
    }

    m_deadline = new QTimer(this);
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this, timeoutMs = request.timeoutMs] {
        fail(FetchError::Timeout, QStringLiteral("no complete answer within %1 ms").arg(timeoutMs));
    });
    m_deadline->start(request.timeoutMs);

    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > m_maxBodyBytes)
            fail(FetchError::TooLarge, QStringLiteral("the announced body is larger than the limit"));
    });
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > m_maxBodyBytes)
            fail(FetchError::TooLarge, QStringLiteral("the body is larger than the limit"));
    });
    connect(m_reply, &QNetworkReply::finished, this, &PendingFetch::replyFinished);
}

PendingFetch::~PendingFetch()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void PendingFetch::cancel()
{
    fail(FetchError::Cancelled, QStringLiteral("cancelled"));
}

void PendingFetch::fail(FetchError error, const QString &text)
{
    if (m_reported || m_forcedError != FetchError::None)
        return;
    m_forcedError = error;
    m_result.errorText = text;
    if (m_reply)
        m_reply->abort(); // finishes the reply, which lands in replyFinished()
    if (!m_reported)
        replyFinished();
}

void PendingFetch::replyFinished()
{
    if (m_reported)
        return;
    if (m_forcedError != FetchError::None) {
        m_result.error = m_forcedError;
    } else if (!m_reply) {
        m_result.error = FetchError::InvalidUrl;
    } else {
        const QNetworkReply::NetworkError error = m_reply->error();
        m_result.httpStatus = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (error == errorOfStatus(m_result.httpStatus) && m_result.httpStatus != 0) {
            m_result.body = m_reply->readAll();
            m_result.contentType = m_reply->rawHeader("Content-Type");
            m_result.retryAfter = m_reply->rawHeader("Retry-After");
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
            // Asking again leads there again: final at once.
            const QString scheme = redirectScheme(m_reply);
            if (!scheme.isEmpty() && scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
                m_result.error = FetchError::Other;
                m_result.errorText = QStringLiteral("a redirect to a %1: address, which is no web page").arg(scheme);
            }
        }
        m_result.url = m_reply->url();
    }
    report();
}

void PendingFetch::report()
{
    m_reported = true;
    if (m_deadline)
        m_deadline->stop();
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    // Whoever receives the result may delete this fetch right away.
    const QPointer<PendingFetch> self(this);
    emit finished(m_result);
    if (self)
        deleteLater();
}

PageFetcher::PageFetcher(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
{
    m_network->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    m_network->setAutoDeleteReplies(false);
}

PageFetcher::~PageFetcher() = default;

PendingFetch *PageFetcher::start(
    const PageRequest &request, QObject *owner, const QByteArray *postBody, const QByteArray &contentType)
{
    const QString scheme = request.url.scheme();
    if (!request.url.isValid() || request.url.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return new PendingFetch(nullptr, request, owner);

    QNetworkRequest networkRequest(request.url);
    networkRequest.setMaximumRedirectsAllowed(MaxRedirects);
    if (request.bypassCaches)
        networkRequest.setRawHeader("If-Modified-Since", "0");
    if (postBody) {
        networkRequest.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
        networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        return new PendingFetch(m_network->post(networkRequest, *postBody), request, owner);
    }
    return new PendingFetch(m_network->get(networkRequest), request, owner);
}
