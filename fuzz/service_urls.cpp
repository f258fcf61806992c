// The endpoint URLs: no bot token can leave its path segment or add a query or fragment, and
// every pairing code is exactly one query value that decodes back to the code.
#include "fuzz/FuzzCheck.h"
#include "telegram/ServiceUrls.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace {

void checkSendMessage(const QString &token) {
    const std::optional<QUrl> url = ServiceUrls::sendMessage("https://api.example.org", token);
    FUZZ_CHECK(url.has_value());
    FUZZ_CHECK(url->host() == "api.example.org" && url->port() == -1);
    FUZZ_CHECK(!url->hasQuery() && !url->hasFragment());
    const QByteArray path = url->path(QUrl::FullyEncoded).toLatin1();
    FUZZ_CHECK(path.startsWith("/bot") && path.endsWith("/sendMessage"));
    const QByteArray segment = path.mid(4, path.size() - 4 - 12);
    FUZZ_CHECK(!segment.contains('/'));
    FUZZ_CHECK(QByteArray::fromPercentEncoding(segment) == token.toUtf8());
}

void checkPairingStatus(const QString &code) {
    const std::optional<QUrl> url =
        ServiceUrls::pairingStatus("https://pair.example.org/api", code);
    FUZZ_CHECK(url.has_value());
    FUZZ_CHECK(url->host() == "pair.example.org" && !url->hasFragment());
    FUZZ_CHECK(url->path(QUrl::FullyEncoded) == "/api/pairing_status.php");
    const QByteArray query = url->query(QUrl::FullyEncoded).toLatin1();
    FUZZ_CHECK(query.startsWith("code="));
    const QByteArray value = query.mid(5);
    FUZZ_CHECK(!value.contains('&') && !value.contains('#') && !value.contains('+'));
    FUZZ_CHECK(QByteArray::fromPercentEncoding(value) == code.toUtf8());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    checkSendMessage(text);
    checkPairingStatus(text);
    return 0;
}
