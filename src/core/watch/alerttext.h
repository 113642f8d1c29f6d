// What an alert says: the desktop notification's summary and body, and the body a webhook is sent.
#pragma once

#include "core/watch/watch.h"

#include <QByteArray>
#include <QString>

// The body lists this many names; the rest are counted on a line of their own.
inline constexpr int NamesInAlertBody = 10;

// "关注「NAME」：N 个新域名"
QString alertSummary(const WatchAlert &alert);
// The first names, one a line, each with its tags after two blanks ("abc.com  纯字母 三字母"), and when
// there are more, the line "……等 N 个" with all of them counted. No line break at the end.
QString alertBody(const WatchAlert &alert);
// The summary, a line break and the body: the text a chat robot is sent.
QString alertText(const WatchAlert &alert);

// The JSON the alert's webhook is sent, compact, in UTF-8, its keys in a fixed order:
//   generic            {"watch":NAME,"run":{"started":ISO,"pages":N},"names":[{"domain":D,"tags":[T...]}...]}
//                      every name; ISO the run's start in UTC to the second ("2026-12-09T03:20:00Z")
//   dingtalk, wecom    {"msgtype":"text","text":{"content":TEXT}}
//   feishu             {"msg_type":"text","content":{"text":TEXT}}
QByteArray webhookBody(const WatchAlert &alert);

// What a chat robot said when it answered a webhook with 200 but did not take the message (a wrong
// keyword, token or signature: DingTalk's and WeCom's "errcode", Feishu's "code", not 0), as
// "310000 keywords not in content"; empty when it took it, or for the generic format, whose answer is not read.
QString robotRefusal(WebhookFormat format, const QByteArray &answer);
