#include "telegram/TelegramNotifier.h"

#include "BuildConfig.h"
#include "telegram/FormEncoding.h"
#include "telegram/ServiceUrls.h"

TelegramNotifier::TelegramNotifier(QNetworkAccessManager &network, QObject *parent)
    : TelegramNotifier(network, QString::fromUtf8(BuildConfig::telegramApiBase), parent) {}

TelegramNotifier::TelegramNotifier(QNetworkAccessManager &network, const QString &apiBase,
                                   QObject *parent)
    : QObject(parent)
    , m_network(network)
    , m_apiBase(apiBase) {}

void TelegramNotifier::send(const QString &text, const Config &config, Completion completion) {
    const auto fail = [&completion] {
        if (completion)
            completion(false);
    };
    if (config.botToken.isEmpty() || config.chatID.isEmpty())
        return fail();
    const std::optional<QUrl> url = ServiceUrls::sendMessage(m_apiBase, config.botToken);
    if (!url)
        return fail();

    HttpExchange::Request request;
    request.url = *url;
    request.method = "POST";
    request.contentType = "application/x-www-form-urlencoded";
    request.body = FormEncoding::body({{"chat_id", config.chatID}, {"text", text}});
    request.timeoutMs = m_timeoutMs;
    request.replyBody = HttpExchange::Body::Discard;
    HttpExchange::start(
        m_network, request, [completion = std::move(completion)](const HttpOutcome &outcome) {
            // An oversized body was cut short by us, not by the transport: the status still counts.
            const bool accepted = outcome.httpStatus == 200 && !outcome.transportFailed();
            if (completion)
                completion(accepted);
        });
}
