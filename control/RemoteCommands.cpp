#include "control/RemoteCommands.h"

#include "control/CommandArguments.h"
#include "sleep/KeepAwakeSession.h"
#include "telegram/StatusPushRules.h"

#include <QRegularExpression>
#include <QTimer>

namespace {

const QString kStopped = QStringLiteral("😴 已結束防睡眠。");
const QString kNotRunning = QStringLiteral("😴 目前沒有在防睡眠。");
const QString kStarted = QStringLiteral("✨ 已開始防睡眠（%1）");
const QString kExtended = QStringLiteral("✨ 已延長防睡眠（%1）");
const QString kUnlimitedNoExtend = QStringLiteral("目前是無限期防睡眠，不需要延長。");
const QString kStartFailed =
    QStringLiteral("⚠️ 無法啟動防睡眠，請稍後再試一次。");
const QString kBadDuration =
    QStringLiteral("⚠️ 看不懂這個時間長度，請寫成例如：30m、1h、1h30m。");
const QString kMissingDuration = QStringLiteral("請在 /extend 後面加上時間長度，例如：/extend 30m");
const QString kHelp = QStringLiteral("可以傳給 Korvella 的指令：\n"
                                     "/status・目前狀態\n"
                                     "/start・開始防睡眠（無限期）\n"
                                     "/start 1h・防睡眠 1 小時\n"
                                     "/extend 30m・再延長 30 分\n"
                                     "/stop・結束防睡眠");

// The command line's durations, in any case, plus a bare number of minutes as the pairing
// service lets through ("/extend 30").
std::optional<int> minutesFrom(const QString &argument) {
    const QString text = argument.toLower();
    static const QRegularExpression bareMinutes(QStringLiteral("^\\d{1,5}$"));
    if (bareMinutes.match(text).hasMatch())
        return CommandArguments::parseDuration(text + QLatin1Char('m'));
    return CommandArguments::parseDuration(text);
}

} // namespace

RemoteCommands::RemoteCommands(KeepAwakeSession &session, StatusSource status, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_status(std::move(status)) {}

RemoteCommands::~RemoteCommands() {
    disconnect(m_startChanged);
}

void RemoteCommands::run(const RemoteUpdates::Command &command, Reply reply) {
    m_queue.enqueue({command, std::move(reply)});
    if (!m_current)
        next();
}

// One at a time: "/start 1h" then "/extend 30m" in one batch must extend the hour, not race it.
void RemoteCommands::next() {
    while (!m_current && !m_queue.isEmpty()) {
        Job job = m_queue.dequeue();
        m_current = std::move(job.reply);
        execute(job.command);
    }
}

void RemoteCommands::execute(const RemoteUpdates::Command &command) {
    const QString &name = command.name;
    if (name == QLatin1String("status")) {
        const std::optional<QString> line = m_status ? m_status() : std::nullopt;
        return answer(StatusPushRules::message(line.has_value(), line.value_or(QString())));
    }
    if (name == QLatin1String("stop")) {
        if (!m_session.isRunning())
            return answer(kNotRunning);
        m_session.stop();
        return answer(kStopped);
    }
    if (name == QLatin1String("start")) {
        const std::optional<int> minutes =
            command.argument.isEmpty() ? std::optional<int>(0) : minutesFrom(command.argument);
        if (!minutes)
            return answer(kBadDuration);
        return start(*minutes);
    }
    if (name == QLatin1String("extend"))
        return extend(command.argument);
    answer(kHelp);
}

void RemoteCommands::extend(const QString &argument) {
    if (argument.isEmpty())
        return answer(kMissingDuration);
    const std::optional<int> minutes = minutesFrom(argument);
    if (!minutes || *minutes == 0)
        return answer(kBadDuration);
    if (m_session.isRunning() && m_session.isInfinite())
        return answer(kUnlimitedNoExtend);
    if (m_session.extend(*minutes))
        return answer(kExtended.arg(m_session.statusLineText()));
    // Nothing to extend: the machine stays awake for the time asked, as a new period.
    start(*minutes);
}

// The period begins once its lock holds, which may be after start() returns.
void RemoteCommands::start(int minutes) {
    if (!m_session.start(minutes))
        return answer(kStartFailed);
    if (hasBegun(minutes))
        return answer(kStarted.arg(m_session.statusLineText()));
    m_startChanged = connect(&m_session, &KeepAwakeSession::changed, this, [this, minutes] {
        if (hasBegun(minutes))
            startSettled(minutes);
    });
    m_startWait = new QTimer(this);
    m_startWait->setSingleShot(true);
    connect(m_startWait, &QTimer::timeout, this, [this, minutes] { startSettled(minutes); });
    m_startWait->start(startWaitMs);
}

void RemoteCommands::startSettled(int minutes) {
    endWait();
    answer(hasBegun(minutes) ? kStarted.arg(m_session.statusLineText()) : kStartFailed);
}

// A fresh period of that length: an unlimited one, or a countdown still at its full length.
bool RemoteCommands::hasBegun(int minutes) const {
    if (!m_session.isRunning())
        return false;
    if (minutes == 0)
        return m_session.isInfinite();
    return !m_session.isInfinite() && m_session.activeDurationMinutes() == minutes &&
           m_session.remainingSeconds() == qint64(minutes) * 60;
}

void RemoteCommands::answer(const QString &text) {
    if (const std::optional<Reply> reply = std::exchange(m_current, std::nullopt); reply && *reply)
        (*reply)(text);
    // Later commands run from the event loop, so a long batch never nests deeply.
    if (!m_queue.isEmpty())
        QTimer::singleShot(0, this, &RemoteCommands::next);
}

void RemoteCommands::endWait() {
    disconnect(m_startChanged);
    if (!m_startWait)
        return;
    m_startWait->stop();
    m_startWait->deleteLater();
    m_startWait = nullptr;
}
