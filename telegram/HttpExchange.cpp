#include "telegram/HttpExchange.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>

namespace HttpExchange {
namespace {

// Reads what arrived; past the limit the transfer is stopped, so a hostile or broken server
// can neither fill memory nor keep the request alive by sending for ever.
void drain(QNetworkReply *reply, Body mode, HttpOutcome &outcome, qint64 &received) {
    while (reply->bytesAvailable() > 0) {
        const QByteArray chunk = reply->read(reply->bytesAvailable());
        received += chunk.size();
        if (received > maxBodyBytes) {
            outcome.bodyTooLarge = true;
            outcome.body.clear();
            outcome.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            reply->abort();
            return;
        }
        if (mode == Body::Keep)
            outcome.body += chunk;
    }
}

QNetworkRequest networkRequest(const Request &request) {
    QNetworkRequest result(request.url);
    result.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                        QNetworkRequest::ManualRedirectPolicy);
    result.setTransferTimeout(request.timeoutMs);
    if (!request.contentType.isEmpty())
        result.setHeader(QNetworkRequest::ContentTypeHeader, request.contentType);
    if (!request.authorization.isEmpty())
        result.setRawHeader("Authorization", request.authorization);
    return result;
}

struct Transfer {
    HttpOutcome outcome;
    qint64 received = 0;
};

} // namespace

QNetworkReply *start(QNetworkAccessManager &network, const Request &request, Completion done) {
    QNetworkReply *reply =
        request.body.isEmpty() && request.method == "GET"
            ? network.get(networkRequest(request))
            : network.sendCustomRequest(networkRequest(request), request.method, request.body);
    auto transfer = std::make_shared<Transfer>();
    const Body mode = request.replyBody;
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, transfer, mode] {
        if (!transfer->outcome.bodyTooLarge)
            drain(reply, mode, transfer->outcome, transfer->received);
    });
    QObject::connect(reply, &QNetworkReply::finished, reply,
                     [reply, transfer, mode, done = std::move(done)] {
                         HttpOutcome &outcome = transfer->outcome;
                         if (!outcome.bodyTooLarge) {
                             drain(reply, mode, outcome, transfer->received);
                             outcome.httpStatus =
                                 reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                         }
                         outcome.error = reply->error();
                         outcome.errorString = reply->errorString();
                         reply->deleteLater();
                         if (done)
                             done(outcome);
                     });
    return reply;
}

} // namespace HttpExchange
