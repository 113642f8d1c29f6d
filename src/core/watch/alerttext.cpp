#include "core/watch/alerttext.h"

#include "core/text/json.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

// The text as a JSON string in UTF-8, quotes included.
QByteArray jsonBytes(const QString &text)
{
    return ::jsonString(text).toUtf8();
}

QString nameLine(const MatchedName &name)
{
    if (name.tags.isEmpty())
        return name.domain;
    return name.domain + QLatin1String("  ") + name.tags.join(u' ');
}

// QJsonDocument writes an object's keys sorted, and the chat robots' examples (and our own readers) put
// them in another order: the few objects here are written by hand.
QByteArray jsonObject(std::initializer_list<std::pair<const char *, QByteArray>> members)
{
    QByteArray json = "{";
    for (const auto &[key, value] : members) {
        if (json.size() > 1)
            json += ',';
        json += '"';
        json += key;
        json += "\":";
        json += value;
    }
    return json + '}';
}

QByteArray jsonArray(const QList<QByteArray> &items)
{
    return '[' + items.join(',') + ']';
}

QByteArray genericBody(const WatchAlert &alert)
{
    QList<QByteArray> names;
    names.reserve(alert.names.size());
    for (const MatchedName &name : alert.names) {
        QList<QByteArray> tags;
        for (const QString &tag : name.tags)
            tags.append(jsonBytes(tag));
        names.append(jsonObject({ { "domain", jsonBytes(name.domain) }, { "tags", jsonArray(tags) } }));
    }
    const QByteArray started
        = alert.runStarted.isValid() ? jsonBytes(alert.runStarted.toUTC().toString(Qt::ISODate)) : QByteArray("null");
    const QByteArray run = jsonObject({ { "started", started }, { "pages", QByteArray::number(alert.pages) } });
    return jsonObject({ { "watch", jsonBytes(alert.watch) }, { "run", run }, { "names", jsonArray(names) } });
}

} // namespace

QString alertSummary(const WatchAlert &alert)
{
    return QStringLiteral("关注「%1」：%2 个新域名").arg(alert.watch).arg(alert.names.size());
}

QString alertBody(const WatchAlert &alert)
{
    QStringList lines;
    for (const MatchedName &name : alert.names.mid(0, NamesInAlertBody))
        lines.append(nameLine(name));
    if (alert.names.size() > NamesInAlertBody)
        lines.append(QStringLiteral("……等 %1 个").arg(alert.names.size()));
    return lines.join(u'\n');
}

QString alertText(const WatchAlert &alert)
{
    return alertSummary(alert) + u'\n' + alertBody(alert);
}

QByteArray webhookBody(const WatchAlert &alert)
{
    switch (alert.format) {
    case WebhookFormat::Generic:
        break;
    case WebhookFormat::DingTalk:
    case WebhookFormat::WeCom:
        return jsonObject({ { "msgtype", jsonBytes(QStringLiteral("text")) },
            { "text", jsonObject({ { "content", jsonBytes(alertText(alert)) } }) } });
    case WebhookFormat::Feishu:
        return jsonObject({ { "msg_type", jsonBytes(QStringLiteral("text")) },
            { "content", jsonObject({ { "text", jsonBytes(alertText(alert)) } }) } });
    }
    return genericBody(alert);
}

QString robotRefusal(WebhookFormat format, const QByteArray &answer)
{
    if (format == WebhookFormat::Generic)
        return QString();
    const QJsonObject object = QJsonDocument::fromJson(answer).object();
    const bool feishu = format == WebhookFormat::Feishu;
    const QJsonValue code = object.value(feishu ? QLatin1String("code") : QLatin1String("errcode"));
    // An answer without the code is taken as taken: a proxy in front of the robot, an older robot.
    if (!code.isDouble() || code.toInteger() == 0)
        return QString();
    const QString message = object.value(feishu ? QLatin1String("msg") : QLatin1String("errmsg")).toString();
    return QStringLiteral("%1 %2").arg(code.toInteger()).arg(message.left(200)).trimmed();
}
