#pragma once
#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>

// Blocking HTTP helpers for tests: each call runs the event loop until its answer arrives, so
// the server under test (in the same thread) does its work meanwhile.
namespace TestHttp {
struct Response {
    int status = 0; // 0: no HTTP answer
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    QJsonObject json() const;
    QByteArray header(const QByteArray &name) const;
};
using Headers = QList<QPair<QByteArray, QByteArray>>;

Response get(const QString &url, const Headers &headers = {});
Response post(const QString &url, const QByteArray &body = {}, const Headers &headers = {});
// Writes `bytes` as they are and returns whatever comes back until the server closes the
// connection or `timeoutMs` passes.
QByteArray raw(quint16 port, const QByteArray &bytes, int timeoutMs = 3000);
// Runs the event loop until `condition` holds; false when `timeoutMs` passed first.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);
} // namespace TestHttp
