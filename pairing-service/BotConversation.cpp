#include "BotConversation.h"

#include "BotTexts.h"
#include "Clock.h"
#include "PairingCode.h"
#include "PairingStore.h"

#include <QJsonValue>
#include <QRegularExpression>

namespace pairing {

namespace {

struct Command {
    QString name;   // lower case, without "@botname"; empty when the text is no command
    QString suffix; // the "botname" of "/pair@botname"
    QString argument;
};

Command parseCommand(const QString &text) {
    if (!text.startsWith(QLatin1Char('/')))
        return {};
    static const QRegularExpression whitespace(QStringLiteral("\\s"));
    const qsizetype space = text.indexOf(whitespace);
    QString word = space < 0 ? text : text.left(space);
    Command command;
    command.argument = space < 0 ? QString() : text.mid(space + 1).trimmed();
    const qsizetype at = word.indexOf(QLatin1Char('@'));
    if (at >= 0) {
        command.suffix = word.mid(at + 1);
        word.truncate(at);
    }
    command.name = word.toLower();
    return command;
}

// "30", "30m", "2h", "1h30m": the app reads the amount; this only turns away what cannot be one.
bool isDuration(const QString &text) {
    static const QRegularExpression duration(QStringLiteral("^(?:\\d{1,5}|(?:\\d{1,4}[hm]){1,2})$"),
                                             QRegularExpression::CaseInsensitiveOption);
    return duration.match(text).hasMatch();
}

bool isRemoteCommand(const QString &name) {
    for (const char *known : {"/status", "/stop", "/start", "/extend", "/unpair"}) {
        if (name == QLatin1String(known))
            return true;
    }
    return false;
}

} // namespace

BotConversation::BotConversation(PairingStore &store, const Clock &clock, RateLimit chatLimit,
                                 QString botUsername, bool remoteControl)
    : m_store(store)
    , m_clock(clock)
    , m_chatLimiter(chatLimit)
    , m_botUsername(std::move(botUsername))
    , m_remoteControl(remoteControl) {}

void BotConversation::pruneLimits() {
    m_chatLimiter.prune(m_clock.nowMs());
}

std::optional<BotConversation::Reply> BotConversation::handle(const QJsonObject &update) {
    // Edited messages, channel posts and the like carry no "message" and get no answer.
    const QJsonObject message = update.value(QStringLiteral("message")).toObject();
    const QJsonObject chat = message.value(QStringLiteral("chat")).toObject();
    const QJsonValue id = chat.value(QStringLiteral("id"));
    if (!id.isDouble() ||
        message.value(QStringLiteral("from")).toObject().value(QStringLiteral("is_bot")).toBool())
        return std::nullopt;
    const QString chatId = QString::number(id.toInteger());

    const Command command =
        parseCommand(message.value(QStringLiteral("text")).toString().trimmed());
    const bool forUs = command.suffix.isEmpty() || m_botUsername.isEmpty() ||
                       command.suffix.compare(m_botUsername, Qt::CaseInsensitive) == 0;
    const bool pairing = forUs && (command.name == QLatin1String("/pair") ||
                                   command.name == QLatin1String("/start"));

    if (chat.value(QStringLiteral("type")).toString() != QLatin1String("private")) {
        // In a group the bot answers only what is clearly meant for it.
        if (!pairing)
            return std::nullopt;
        return Reply{chatId, QString::fromUtf8(BotTexts::privateChatOnly)};
    }
    // "/start CODE" is what the deep link sends, so a code wins over a duration.
    const bool code = PairingCode::isWellFormed(PairingCode::normalize(command.argument));
    if (m_remoteControl && forUs && isRemoteCommand(command.name) && !(pairing && code) &&
        (command.name != QLatin1String("/start") || command.argument.isEmpty() ||
         isDuration(command.argument))) {
        if (m_chatLimiter.take(chatId, m_clock.nowMs()) > 0)
            return Reply{chatId, QString::fromUtf8(BotTexts::tooManyAttempts)};
        return remoteReply(command.name, command.argument, chatId);
    }
    if (!pairing)
        return Reply{chatId, QString::fromUtf8(BotTexts::help)};
    if (command.argument.isEmpty())
        return Reply{chatId, QString::fromUtf8(BotTexts::missingCode)};
    // Guessing codes through the bot costs a message per guess; this caps the guesses.
    if (m_chatLimiter.take(chatId, m_clock.nowMs()) > 0)
        return Reply{chatId, QString::fromUtf8(BotTexts::tooManyAttempts)};
    return Reply{chatId, pairingReply(command.argument, chatId)};
}

BotConversation::Reply BotConversation::remoteReply(const QString &name, const QString &argument,
                                                    const QString &chatId) {
    const auto text = [&](const char *utf8) { return Reply{chatId, QString::fromUtf8(utf8)}; };
    if (name == QLatin1String("/unpair")) {
        const auto forgotten = m_store.forgetChat(chatId);
        if (!forgotten)
            return text(BotTexts::unavailable);
        if (*forgotten > 0)
            qInfo("bot: a chat unpaired %d device(s)", *forgotten);
        return text(*forgotten > 0 ? BotTexts::unpaired : BotTexts::notPairedForRemote);
    }
    const bool timed = name == QLatin1String("/start") || name == QLatin1String("/extend");
    if (name == QLatin1String("/extend") && argument.isEmpty())
        return text(BotTexts::missingDuration);
    if (timed && !argument.isEmpty() && !isDuration(argument))
        return text(BotTexts::badDuration);
    const PairingStore::Command command{name.mid(1), timed ? argument.toLower() : QString(),
                                        m_clock.nowMs()};
    const auto devices = m_store.queueCommand(chatId, command);
    if (!devices)
        return text(BotTexts::unavailable);
    if (devices->isEmpty()) // a bare /start is also how every new chat with the bot begins
        return text(name == QLatin1String("/start") && argument.isEmpty()
                        ? BotTexts::help
                        : BotTexts::notPairedForRemote);
    const QString echo =
        command.argument.isEmpty() ? name : name + QLatin1Char(' ') + command.argument;
    return Reply{chatId, QString::fromUtf8(BotTexts::commandQueued).arg(echo), *devices};
}

QString BotConversation::pairingReply(const QString &argument, const QString &chatId) {
    const QString code = PairingCode::normalize(argument);
    if (!PairingCode::isWellFormed(code))
        return QString::fromUtf8(BotTexts::notFound);
    const char *text = BotTexts::unavailable;
    switch (m_store.pair(code, chatId, m_clock.nowMs())) {
    case PairingStore::PairResult::Paired:
        qInfo("bot: a code was paired");
        text = BotTexts::paired;
        break;
    case PairingStore::PairResult::AlreadyPairedHere:
        text = BotTexts::alreadyPairedHere;
        break;
    case PairingStore::PairResult::PairedElsewhere:
        text = BotTexts::pairedElsewhere;
        break;
    case PairingStore::PairResult::Expired:
        text = BotTexts::expired;
        break;
    case PairingStore::PairResult::NotFound:
        text = BotTexts::notFound;
        break;
    case PairingStore::PairResult::DatabaseError:
        break;
    }
    return QString::fromUtf8(text);
}

} // namespace pairing
