#pragma once
#include <QByteArray>

namespace pairing {

// A whole HTTP/1.1 answer with a JSON body, for the few answers written straight to a socket
// rather than through QHttpServer: refusals before a request is parsed, and the answers of
// parked command polls.
inline QByteArray jsonResponse(int status, const char *reason, const QByteArray &body, bool close) {
    return QByteArrayLiteral("HTTP/1.1 ") + QByteArray::number(status) + ' ' + reason +
           QByteArrayLiteral("\r\nContent-Type: application/json\r\nCache-Control: no-store"
                             "\r\nContent-Length: ") +
           QByteArray::number(body.size()) +
           (close ? QByteArrayLiteral("\r\nConnection: close\r\n\r\n")
                  : QByteArrayLiteral("\r\n\r\n")) +
           body;
}

} // namespace pairing
