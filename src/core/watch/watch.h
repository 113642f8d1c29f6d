// A watch: a named filter kept in the history, which every recorded collection run tests the names it
// saw for the first time against, and what a run found for it, to be told on the desktop and to a chat.
#pragma once

#include "core/filter/domainfilter.h"
#include "core/lookup/whoisfacts.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// How a webhook's body is laid out: our own JSON, or the text message of a chat robot.
enum class WebhookFormat {
    Generic,
    DingTalk,
    Feishu,
    WeCom,
};
// "generic", "dingtalk", "feishu", "wecom".
QString webhookFormatText(WebhookFormat format);
std::optional<WebhookFormat> webhookFormatFromText(const QString &text);

// What a watch asks of a name: the names' filter, and the age the whois gives (a name of unknown age
// passes no bound).
struct WatchFilter
{
    DomainFilter names;
    YearsRange age;

    // A filter that lets every name through.
    bool isEmpty() const { return names.isEmpty() && age.isOpen(); }
};

// The filter as the command-line options that give it, in a fixed order: "--suffix .com --tag 双拼".
QStringList filterArguments(const WatchFilter &filter);
// The filter as kept in the history (a JSON object), and back; false, with why in error, for a text
// this program did not write.
QByteArray filterToJson(const WatchFilter &filter);
bool filterFromJson(const QByteArray &json, WatchFilter *filter, QString *error = nullptr);

struct Watch
{
    qint64 id = 0;
    QString name; // unique, 1 to 64 characters
    WatchFilter filter;
    QUrl webhook; // empty for none; http or https only
    WebhookFormat format = WebhookFormat::Generic;
    QDateTime created;
};

// How asking to keep, rename or remove a watch went.
enum class WatchChange {
    Done,
    NameTaken, // another watch has the name
    NoSuchWatch,
    Failed, // the history could not be written
};

// A watch's name is bad when it is empty, only blanks, or over this many characters.
inline constexpr int LongestWatchName = 64;
enum class WatchNameFault { None, Empty, TooLong };
WatchNameFault watchNameFault(const QString &name);

// Why a webhook cannot be sent to the address: "the webhook's address is no http or https address", "... has
// no host"; empty when it can.
QString webhookAddressFault(const QUrl &address);

// A name a watch matched, with the texts of its tags (tagTexts()).
struct MatchedName
{
    QString domain;
    QStringList tags;
};

// What one run found for one watch: told once, after the run.
struct WatchAlert
{
    QString watch;
    QUrl webhook; // empty: no webhook
    WebhookFormat format = WebhookFormat::Generic;
    QDateTime runStarted;
    int pages = 0; // the run's pages, first to last
    QList<MatchedName> names; // in the order they were seen
};
