#include "control/RemoteControl.h"

#include "control/RemoteCommands.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "telegram/ServiceUrls.h"

#include <QDateTime>

namespace {
// Above the hold of each source (50 s at Telegram, 25 s at the pairing service).
constexpr int kOwnPollTimeoutMs = 75'000;
constexpr int kOfficialPollTimeoutMs = 45'000;

const QString kConflict = QStringLiteral("⚠️ 遙控已停止：這個 Bot 正由 Webhook "
                                         "或其他程式接收訊息，請先停用它們。");
const QString kOwnTokenRefused =
    QStringLiteral("⚠️ 遙控已停止：Telegram 不接受這個 Bot Token。");
const QString kPairingRevoked = QStringLiteral(
    "⚠️ 遙控已停止：官方 Bot 的配對已失效，請重新連接 Telegram。");
const QString kNoDeviceToken =
    QStringLiteral("⚠️ 要用官方 Bot 遙控，請重新連接 Telegram。");
const QString kServiceWithoutRemote =
    QStringLiteral("⚠️ 遙控已停止：配對服務目前不提供遙控。");

QString setting(const SettingsStore &settings, const QString &key) {
    return settings.stringValue(key).value_or(QString()).trimmed();
}
} // namespace

RemoteControl::RemoteControl(SettingsStore &settings, QNetworkAccessManager &network,
                             TelegramNotifier &notifier, RemoteCommands &commands,
                             Endpoints endpoints, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_notifier(notifier)
    , m_commands(commands)
    , m_endpoints(std::move(endpoints))
    , m_ownPoll(
          network, [this] { return ownRequest(); },
          [this](const HttpOutcome &outcome) { return ownAnswered(outcome); }, this)
    , m_officialPoll(
          network, [this] { return officialRequest(); },
          [this](const HttpOutcome &outcome) { return officialAnswered(outcome); }, this) {}

void RemoteControl::reconfigure() {
    const std::optional<Chat> own = configuredOwnChat();
    // Update ids count per bot: another bot's offset would skip or repeat its updates.
    if (own && own->botToken != m_offsetBot) {
        m_offset.reset();
        m_offsetBot = own->botToken;
        m_ownUsername.clear();
    }
    apply(m_ownPoll, m_ownChat, own, m_ownProblem);
    std::optional<Chat> official = configuredOfficialChat();
    // Paired before the service handed out device tokens: only pairing again gives one.
    const bool needsToken = official && official->deviceToken.isEmpty();
    if (needsToken)
        official.reset();
    apply(m_officialPoll, m_officialChat, official, m_officialProblem);
    if (needsToken)
        setProblem(m_officialProblem, kNoDeviceToken);
}

void RemoteControl::stop() {
    m_ownPoll.stop();
    m_officialPoll.stop();
}

void RemoteControl::apply(LongPoll &poll, std::optional<Chat> &current,
                          const std::optional<Chat> &wanted, QString &problem) {
    if (wanted && wanted == current && poll.isActive())
        return;
    poll.stop();
    setProblem(problem, QString());
    current = wanted;
    if (wanted)
        poll.start();
}

std::optional<RemoteControl::Chat> RemoteControl::configuredOwnChat() const {
    if (!m_settings.boolForKey(SettingsKeys::tgRemoteControl))
        return {};
    Chat chat{setting(m_settings, SettingsKeys::tgBotToken),
              setting(m_settings, SettingsKeys::tgChatID),
              {}};
    if (chat.botToken.isEmpty() || chat.chatID.isEmpty())
        return {};
    return chat;
}

std::optional<RemoteControl::Chat> RemoteControl::configuredOfficialChat() const {
    if (!m_settings.boolForKey(SettingsKeys::tgRemoteControl))
        return {};
    Chat chat{m_endpoints.officialBotToken, setting(m_settings, SettingsKeys::tgOfficialChatID),
              setting(m_settings, SettingsKeys::tgOfficialDeviceToken)};
    if (chat.chatID.isEmpty())
        return {};
    return chat;
}

std::optional<HttpExchange::Request> RemoteControl::ownRequest() const {
    if (!m_ownChat)
        return {};
    // The bot's name comes first: a command addressed to another bot must not run here.
    const std::optional<QUrl> url =
        m_ownUsername.isEmpty()
            ? ServiceUrls::getMe(m_endpoints.telegramApiBase, m_ownChat->botToken)
            : ServiceUrls::getUpdates(m_endpoints.telegramApiBase, m_ownChat->botToken,
                                      RemoteUpdates::getUpdatesQuery(m_offset));
    if (!url)
        return {};
    HttpExchange::Request request;
    request.url = *url;
    request.timeoutMs =
        m_ownUsername.isEmpty() ? HttpExchange::defaultTimeoutMs : kOwnPollTimeoutMs;
    return request;
}

std::optional<HttpExchange::Request> RemoteControl::officialRequest() const {
    const std::optional<QUrl> url = ServiceUrls::commands(m_endpoints.pairingBaseUrl);
    if (!m_officialChat || !url)
        return {};
    HttpExchange::Request request;
    request.url = *url;
    request.authorization = "Bearer " + m_officialChat->deviceToken.toUtf8();
    request.timeoutMs = kOfficialPollTimeoutMs;
    return request;
}

LongPoll::Next RemoteControl::ownAnswered(const HttpOutcome &outcome) {
    if (outcome.httpStatus == 409) {
        setProblem(m_ownProblem, kConflict);
        return LongPoll::Next::Stop;
    }
    if (outcome.httpStatus == 401 || outcome.httpStatus == 404) {
        setProblem(m_ownProblem, kOwnTokenRefused);
        return LongPoll::Next::Stop;
    }
    if (m_ownUsername.isEmpty()) {
        const std::optional<QString> name = outcome.httpStatus == 200
                                                ? RemoteUpdates::parseBotUsername(outcome.body)
                                                : std::nullopt;
        if (!name)
            return LongPoll::Next::Retry;
        m_ownUsername = *name;
        return LongPoll::Next::Now;
    }
    const std::optional<RemoteUpdates::UpdateBatch> batch =
        outcome.httpStatus == 200 ? RemoteUpdates::parseUpdates(outcome.body) : std::nullopt;
    if (!batch)
        return LongPoll::Next::Retry;
    // Kept before anything runs: the next poll confirms these updates, and an update handed
    // out again (a lost confirmation) is skipped, so none runs twice.
    const qint64 firstNew = m_offset.value_or(0);
    if (batch->nextOffset)
        m_offset = std::max(firstNew, *batch->nextOffset);
    const Chat chat = *m_ownChat;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const RemoteUpdates::ChatMessage &message : batch->messages) {
        if (message.updateID < firstNew || message.chatID != chat.chatID ||
            now - message.sentAtSecs > maxCommandAgeSecs)
            continue;
        if (const std::optional<RemoteUpdates::Command> command =
                RemoteUpdates::commandFromText(message.text, m_ownUsername))
            runFrom(chat, *command);
    }
    return batch->nextOffset ? LongPoll::Next::Now : LongPoll::Next::Later;
}

LongPoll::Next RemoteControl::officialAnswered(const HttpOutcome &outcome) {
    if (outcome.httpStatus == 401) {
        setProblem(m_officialProblem, kPairingRevoked);
        return LongPoll::Next::Stop;
    }
    if (outcome.httpStatus == 404) {
        setProblem(m_officialProblem, kServiceWithoutRemote);
        return LongPoll::Next::Stop;
    }
    const std::optional<QList<RemoteUpdates::Command>> commands =
        outcome.httpStatus == 200 ? RemoteUpdates::parseCommands(outcome.body) : std::nullopt;
    if (!commands)
        return LongPoll::Next::Retry;
    const Chat chat = *m_officialChat;
    for (const RemoteUpdates::Command &command : *commands)
        runFrom(chat, command);
    return commands->isEmpty() ? LongPoll::Next::Later : LongPoll::Next::Now;
}

void RemoteControl::runFrom(const Chat &chat, const RemoteUpdates::Command &command) {
    const TelegramNotifier::Config config{chat.botToken, chat.chatID};
    m_commands.run(command, [notifier = QPointer(&m_notifier), config](const QString &text) {
        if (notifier)
            notifier->send(text, config);
    });
}

QString RemoteControl::problem() const {
    if (m_ownProblem.isEmpty() || m_officialProblem.isEmpty())
        return m_ownProblem + m_officialProblem;
    return m_ownProblem + QLatin1Char('\n') + m_officialProblem;
}

void RemoteControl::setProblem(QString &slot, const QString &text) {
    if (slot == text)
        return;
    slot = text;
    Q_EMIT problemChanged(problem());
}
