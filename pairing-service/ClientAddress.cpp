#include "ClientAddress.h"

#include <QList>

namespace pairing {

namespace ClientAddress {
namespace {

QHostAddress plain(const QHostAddress &address) {
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}

bool isTrusted(const QHostAddress &address, const Subnets &trustedProxies) {
    return std::any_of(trustedProxies.cbegin(), trustedProxies.cend(),
                       [&](const auto &subnet) { return address.isInSubnet(subnet); });
}

} // namespace

QHostAddress resolve(const QHostAddress &peer, const QByteArray &forwardedFor,
                     const Subnets &trustedProxies) {
    QHostAddress client = plain(peer);
    if (!isTrusted(client, trustedProxies))
        return client;
    const QList<QByteArray> hops = forwardedFor.split(',');
    for (auto it = hops.crbegin(); it != hops.crend(); ++it) {
        const QHostAddress hop(QString::fromLatin1(it->trimmed()));
        if (hop.isNull())
            break;
        client = plain(hop);
        if (!isTrusted(client, trustedProxies))
            break;
    }
    return client;
}

QString limitKey(const QHostAddress &client) {
    if (client.protocol() != QAbstractSocket::IPv6Protocol)
        return client.toString();
    Q_IPV6ADDR bytes = client.toIPv6Address();
    std::fill(bytes.c + 8, bytes.c + 16, quint8(0));
    return QHostAddress(bytes).toString() + QStringLiteral("/64");
}

} // namespace ClientAddress

} // namespace pairing
