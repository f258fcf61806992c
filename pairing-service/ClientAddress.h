#pragma once
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

namespace pairing {

namespace ClientAddress {
using Subnets = QList<QPair<QHostAddress, int>>;

// The client a request comes from: the peer itself, or, when the peer is a trusted proxy, the
// right-most address of X-Forwarded-For that is not a trusted proxy (the left part of that
// header is whatever the client chose to send).
QHostAddress resolve(const QHostAddress &peer, const QByteArray &forwardedFor,
                     const Subnets &trustedProxies);
// The key rate limits count under. An IPv6 client counts by its /64: one host usually holds a
// whole /64, so counting single addresses would be no limit at all.
QString limitKey(const QHostAddress &client);
} // namespace ClientAddress

} // namespace pairing
