#include "core/watch/alerttext.h"

#include <QStringList>

namespace {

// The text as a JSON string in UTF-8, quotes included. Control characters are escaped, and so are the two
// line separators, so that a JavaScript reader never sees a line break in a string (as the command line's
// JSON output does).
QByteArray jsonString(const QString &text)
{
    QString json;
    json.reserve(text.size() + 2);
    json += u'"';
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            json += QLatin1String("\\\"");
            break;
        case '\\':
            json += QLatin1String("\\\\");
            break;
        case '\b':
            json += QLatin1String("\\b");
            break;
        case '\f':
            json += QLatin1String("\\f");
            break;
        case '\n':
            json += QLatin1String("\\n");
            break;
        case '\r':
            json += QLatin1String("\\r");
            break;
        case '\t':
            json += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x2028 || c.unicode() == 0x2029)
                json += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                json += c;
        }
    }
    json += u'"';
    return json.toUtf8();
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
            tags.append(jsonString(tag));
        names.append(jsonObject({ { "domain", jsonString(name.domain) }, { "tags", jsonArray(tags) } }));
    }
    const QByteArray started
        = alert.runStarted.isValid() ? jsonString(alert.runStarted.toUTC().toString(Qt::ISODate)) : QByteArray("null");
    const QByteArray run = jsonObject({ { "started", started }, { "pages", QByteArray::number(alert.pages) } });
    return jsonObject({ { "watch", jsonString(alert.watch) }, { "run", run }, { "names", jsonArray(names) } });
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
        return jsonObject({ { "msgtype", jsonString(QStringLiteral("text")) },
            { "text", jsonObject({ { "content", jsonString(alertText(alert)) } }) } });
    case WebhookFormat::Feishu:
        return jsonObject({ { "msg_type", jsonString(QStringLiteral("text")) },
            { "content", jsonObject({ { "text", jsonString(alertText(alert)) } }) } });
    }
    return genericBody(alert);
}
