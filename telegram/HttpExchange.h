#pragma once

#include "telegram/HttpOutcome.h"

#include <QByteArray>
#include <QUrl>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

// One HTTP request with the rules every call of this app follows: no redirects, a transfer
// timeout, TLS errors fail, and at most a fixed number of body bytes read. The outcome is
// delivered once, later, on the thread the call was made on (the main thread). The request
// runs to its end even if the caller goes away, as long as the network access manager lives.
namespace HttpExchange {

inline constexpr int defaultTimeoutMs = 60'000;
inline constexpr qint64 maxBodyBytes = 64 * 1024;

enum class Body { Keep, Discard };

struct Request {
    QUrl url;
    QByteArray method = "GET";
    QByteArray contentType;   // sent only when not empty
    QByteArray authorization; // the Authorization header, sent only when not empty
    QByteArray body;
    int timeoutMs = defaultTimeoutMs;
    Body replyBody = Body::Keep;
};

using Completion = std::function<void(const HttpOutcome &)>;

// Returns the reply, so an owner that no longer wants the answer can abort() it; `done` still
// runs once.
QNetworkReply *start(QNetworkAccessManager &network, const Request &request, Completion done);

} // namespace HttpExchange
