#include "telegram/ServiceUrls.h"

#include "telegram/FormEncoding.h"

namespace ServiceUrls {
namespace {

bool isLoopbackHost(const QString &host) {
    return host == QLatin1String("127.0.0.1") || host == QLatin1String("localhost") ||
           host == QLatin1String("::1");
}

// The base must be a plain origin or origin plus path: a query or fragment in it would swallow
// whatever is appended.
bool isUsableBase(const QString &base) {
    const QUrl url(base, QUrl::StrictMode);
    return url.isValid() && isAllowed(url) && !url.hasQuery() && !url.hasFragment() &&
           url.userInfo().isEmpty();
}

std::optional<QUrl> parsed(const QString &text) {
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || !isAllowed(url))
        return {};
    return url;
}

} // namespace

bool isAllowed(const QUrl &url) {
    if (url.host().isEmpty())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    return url.scheme() == QLatin1String("http") && isLoopbackHost(url.host());
}

static std::optional<QUrl> botMethod(const QString &apiBase, const QString &botToken,
                                     QLatin1String method) {
    if (!isUsableBase(apiBase))
        return {};
    // Path characters that cannot change the request's structure stay as typed, so a real
    // token ("123456:ABC-def_ghi") appears unchanged in the path.
    const QByteArray token = botToken.toUtf8().toPercentEncoding("!$&'()*+,;=:@");
    return parsed(apiBase + QLatin1String("/bot") + QString::fromLatin1(token) + method);
}

std::optional<QUrl> sendMessage(const QString &apiBase, const QString &botToken) {
    return botMethod(apiBase, botToken, QLatin1String("/sendMessage"));
}

std::optional<QUrl> getUpdates(const QString &apiBase, const QString &botToken,
                               const QByteArray &query) {
    std::optional<QUrl> url = botMethod(apiBase, botToken, QLatin1String("/getUpdates"));
    if (url)
        url->setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}

std::optional<QUrl> getMe(const QString &apiBase, const QString &botToken) {
    return botMethod(apiBase, botToken, QLatin1String("/getMe"));
}

std::optional<QUrl> commands(const QString &baseUrl) {
    if (!isUsableBase(baseUrl))
        return {};
    return parsed(baseUrl + QLatin1String("/commands"));
}

std::optional<QUrl> createPairing(const QString &baseUrl) {
    if (!isUsableBase(baseUrl))
        return {};
    return parsed(baseUrl + QLatin1String("/create_pairing.php"));
}

std::optional<QUrl> pairingStatus(const QString &baseUrl, const QString &code) {
    if (!isUsableBase(baseUrl))
        return {};
    return parsed(baseUrl + QLatin1String("/pairing_status.php?code=") +
                  QString::fromLatin1(FormEncoding::encodeValue(code)));
}

} // namespace ServiceUrls
