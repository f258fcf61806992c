#include "telegram/PairingClient.h"

#include "telegram/ServiceUrls.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QTimer>

namespace {
// Results never arrive inside the call, even when no request could be made, so callers see
// one behaviour and never wait for a completion that cannot come.
template <typename Completion, typename Result>
void completeLater(Completion completion, Result result) {
    QTimer::singleShot(0, QCoreApplication::instance(),
                       [completion = std::move(completion), result] {
                           if (completion)
                               completion(result);
                       });
}
} // namespace

PairingClient::PairingClient(QNetworkAccessManager &network, const QString &baseUrl,
                             QObject *parent)
    : QObject(parent)
    , m_network(&network)
    , m_baseUrl(baseUrl) {}

PairingClient::PairingClient(const QString &baseUrl, QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_baseUrl(baseUrl) {}

void PairingClient::create(CreateCompletion completion) {
    const std::optional<QUrl> url = ServiceUrls::createPairing(m_baseUrl);
    if (!url)
        return completeLater(std::move(completion), CreateResult(PairingError::pairing()));

    HttpExchange::Request request;
    request.url = *url;
    request.method = "POST";
    request.timeoutMs = m_timeoutMs;
    HttpExchange::start(
        *m_network, request, [completion = std::move(completion)](const HttpOutcome &outcome) {
            if (!completion)
                return;
            if (outcome.transportFailed())
                return completion(PairingError::transport(outcome.error, outcome.errorString));
            if (outcome.bodyTooLarge)
                return completion(PairingError::pairing());
            completion(PairingReplies::parseCreate(outcome.body));
        });
}

void PairingClient::checkStatus(const QString &code, StatusCompletion completion) {
    const std::optional<QUrl> url = ServiceUrls::pairingStatus(m_baseUrl, code);
    if (!url)
        return completeLater(std::move(completion), PairingStatus::pending());

    HttpExchange::Request request;
    request.url = *url;
    request.timeoutMs = m_timeoutMs;
    HttpExchange::start(*m_network, request,
                        [completion = std::move(completion)](const HttpOutcome &outcome) {
                            if (!completion)
                                return;
                            const bool usable = !outcome.transportFailed() && !outcome.bodyTooLarge;
                            completion(usable ? PairingReplies::parseStatus(outcome.body)
                                              : PairingStatus::pending());
                        });
}
