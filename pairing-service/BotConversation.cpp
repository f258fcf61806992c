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

} // namespace

BotConversation::BotConversation(PairingStore &store, const Clock &clock, RateLimit chatLimit,
                                 QString botUsername)
    : m_store(store)
    , m_clock(clock)
    , m_chatLimiter(chatLimit)
    , m_botUsername(std::move(botUsername)) {}

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
    if (!pairing || (command.name == QLatin1String("/start") && command.argument.isEmpty()))
        return Reply{chatId, QString::fromUtf8(BotTexts::help)};
    if (command.argument.isEmpty())
        return Reply{chatId, QString::fromUtf8(BotTexts::missingCode)};
    // Guessing codes through the bot costs a message per guess; this caps the guesses.
    if (m_chatLimiter.take(chatId, m_clock.nowMs()) > 0)
        return Reply{chatId, QString::fromUtf8(BotTexts::tooManyAttempts)};
    return Reply{chatId, pairingReply(command.argument, chatId)};
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
