#include "TestHttp.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTest>

namespace TestHttp {
namespace {

Response send(const QString &verb, const QString &url, const QByteArray &body,
              const Headers &headers) {
    static QNetworkAccessManager *network = new QNetworkAccessManager(QCoreApplication::instance());
    QNetworkRequest request{QUrl(url)};
    for (const auto &header : headers)
        request.setRawHeader(header.first, header.second);
    request.setTransferTimeout(5000);
    QNetworkReply *reply = network->sendCustomRequest(request, verb.toLatin1(), body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    Response response;
    response.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    response.body = reply->readAll();
    for (const auto &pair : reply->rawHeaderPairs())
        response.headers.append(pair);
    reply->deleteLater();
    return response;
}

} // namespace

QJsonObject Response::json() const {
    return QJsonDocument::fromJson(body).object();
}

QByteArray Response::header(const QByteArray &name) const {
    for (const auto &pair : headers) {
        if (pair.first.compare(name, Qt::CaseInsensitive) == 0)
            return pair.second;
    }
    return {};
}

Response get(const QString &url, const Headers &headers) {
    return send(QStringLiteral("GET"), url, {}, headers);
}

Response post(const QString &url, const QByteArray &body, const Headers &headers) {
    return send(QStringLiteral("POST"), url, body, headers);
}

QByteArray raw(quint16 port, const QByteArray &bytes, int timeoutMs) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QByteArray received;
    QObject::connect(&socket, &QTcpSocket::connected, [&] { socket.write(bytes); });
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { received += socket.readAll(); });
    waitUntil([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
    received += socket.readAll();
    return received;
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

} // namespace TestHttp
