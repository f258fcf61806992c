#include "preferences/PairingDeepLink.h"

std::optional<QUrl> pairingDeepLink(const QString &base, const QString &botUsername,
                                    const QString &code) {
    const QString text = base + QLatin1Char('/') + botUsername + QLatin1String("?start=") +
                         QString::fromLatin1(QUrl::toPercentEncoding(code));
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    return url;
}
