#include "control/ControlCommand.h"

#include "app/AppDelegate.h"
#include "control/CommandArguments.h"
#include "control/ControlClient.h"
#include "control/HoldCommand.h"
#include "control/ProcessWatcher.h"
#include "platform/IniSettingsStore.h"
#include "platform/SettingsKeys.h"
#include "sleep/ProtectiveRules.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <cstdio>

namespace {
constexpr int kFailed = 1;
constexpr int kBadInput = 2;

const char kUsage[] = R"(用法：
  korvella                        啟動系統匣程式
  korvella start [時間長度]        防睡眠一段時間：30m、1h、2h、4h、1h30m…最長 24h；
                                  不指定則為 unlimited（無限期）
  korvella until HH:MM            防睡眠到下一次 HH:MM（今天，已過則明天）
  korvella stop                   結束防睡眠
  korvella toggle                 開始或結束防睡眠，同選單第一項
  korvella status [--json]        目前的狀態
  korvella run -- 指令 [參數…]     指令執行期間防睡眠，並以指令的結束狀態結束
  korvella wait PID               程序 PID 結束前防睡眠
  korvella --help | --version
)";

void print(FILE *stream, const QString &text) {
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

int badInput(const QString &message) {
    print(stderr, QStringLiteral("korvella：%1\n").arg(message) + QString::fromUtf8(kUsage));
    return kBadInput;
}

int failed(const QString &message) {
    print(stderr, QStringLiteral("korvella：%1\n").arg(message));
    return kFailed;
}

// A map inside the reply arrives still marshalled.
QVariantMap mapOf(const QVariant &value) {
    if (value.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value.toMap();
}

QJsonObject statusJson(const QVariantMap &state) {
    const QString until = state.value(QStringLiteral("Until")).toString();
    return {{QStringLiteral("running"), state.value(QStringLiteral("Running")).toBool()},
            {QStringLiteral("unlimited"), state.value(QStringLiteral("Unlimited")).toBool()},
            {QStringLiteral("remaining_seconds"),
             state.value(QStringLiteral("RemainingSeconds")).toLongLong()},
            {QStringLiteral("until"), until.isEmpty() ? QJsonValue() : QJsonValue(until)},
            {QStringLiteral("status_line"), state.value(QStringLiteral("StatusLine")).toString()},
            {QStringLiteral("holds"),
             QJsonArray::fromStringList(state.value(QStringLiteral("Holds")).toStringList())},
            {QStringLiteral("lid_mode"), state.value(QStringLiteral("LidMode")).toBool()},
            {QStringLiteral("locks"),
             QJsonArray::fromStringList(state.value(QStringLiteral("Locks")).toStringList())},
            {QStringLiteral("rules"),
             QJsonObject::fromVariantMap(mapOf(state.value(QStringLiteral("Rules"))))}};
}

// Without the application: idle, and the lid mode as the settings keep it.
QVariantMap idleState() {
    const QSettings settings(IniSettingsStore::defaultFilePath(), QSettings::IniFormat);
    return {{QStringLiteral("StatusLine"), QStringLiteral("防睡眠未啟動")},
            {QStringLiteral("LidMode"), settings.value(SettingsKeys::lidSleepEnabled).toBool()},
            {QStringLiteral("Rules"), ProtectiveRules::inForce(IniSettingsStore())}};
}

int status(ControlClient &client, bool json) {
    QVariantMap state = idleState();
    if (client.isAppRunning()) {
        state = client.properties();
        if (state.isEmpty())
            return failed(client.errorString());
    }
    if (json)
        print(stdout,
              QString::fromUtf8(QJsonDocument(statusJson(state)).toJson(QJsonDocument::Compact)) +
                  QLatin1Char('\n'));
    else
        print(stdout, state.value(QStringLiteral("StatusLine")).toString() + QLatin1Char('\n'));
    return 0;
}

int act(ControlClient &client, const QString &method, const QVariantList &arguments = {}) {
    if (!client.ensureAppRunning() || !client.callAndWait(method, arguments))
        return failed(client.errorString());
    return 0;
}

int stop(ControlClient &client) {
    if (!client.isAppRunning())
        return 0; // nothing runs, so nothing to stop
    return client.call(QStringLiteral("Stop")) ? 0 : failed(client.errorString());
}

int dispatch(const QString &command, const QStringList &arguments, bool json) {
    const auto tooMany = [&](qsizetype allowed) {
        return arguments.size() > allowed
                   ? badInput(QStringLiteral("多餘的參數：%1").arg(arguments.at(allowed)))
                   : 0;
    };
    ControlClient client(QDBusConnection::sessionBus());
    if (command == QLatin1String("start")) {
        if (const int bad = tooMany(1))
            return bad;
        const QString text = arguments.value(0, QStringLiteral("unlimited"));
        const auto minutes = CommandArguments::parseDuration(text);
        if (!minutes)
            return badInput(
                QStringLiteral("無效的時間長度「%1」，請用 30m、1h、1h30m（最長 24h）或 "
                               "unlimited。")
                    .arg(text));
        return act(client, QStringLiteral("Start"), {uint(*minutes)});
    }
    if (command == QLatin1String("until")) {
        if (arguments.isEmpty())
            return badInput(QStringLiteral("請指定時間，例如 until 18:30。"));
        if (const int bad = tooMany(1))
            return bad;
        if (!CommandArguments::parseClockTime(arguments.first()))
            return badInput(QStringLiteral("無效的時間「%1」，請用 HH:MM，例如 18:30。")
                                .arg(arguments.first()));
        return act(client, QStringLiteral("StartUntil"), {arguments.first()});
    }
    if (command == QLatin1String("toggle"))
        return tooMany(0) ? kBadInput : act(client, QStringLiteral("Toggle"));
    if (command == QLatin1String("stop"))
        return tooMany(0) ? kBadInput : stop(client);
    if (command == QLatin1String("status"))
        return tooMany(0) ? kBadInput : status(client, json);
    if (command == QLatin1String("run")) {
        if (arguments.isEmpty())
            return badInput(QStringLiteral("請在 -- 之後指定要執行的指令。"));
        return HoldCommand(client.connection()).run(arguments);
    }
    if (command == QLatin1String("wait")) {
        if (arguments.isEmpty())
            return badInput(QStringLiteral("請指定要等待的程序編號（PID）。"));
        if (const int bad = tooMany(1))
            return bad;
        bool ok = false;
        const int pid = arguments.first().toInt(&ok);
        if (!ok || pid <= 0)
            return badInput(QStringLiteral("無效的程序編號「%1」。").arg(arguments.first()));
        if (!ProcessWatcher::exists(pid))
            return badInput(QStringLiteral("找不到程序 %1。").arg(pid));
        return HoldCommand(client.connection()).wait(pid);
    }
    return badInput(QStringLiteral("不明的子命令「%1」。").arg(command));
}
} // namespace

bool isControlCommand(int argc, char **argv) {
    if (argc < 2)
        return false;
    const QByteArray first(argv[1]);
    return !first.startsWith('-') || first == "-h" || first == "--help" || first == "-v" ||
           first == "--version";
}

int runControlCommand(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvella"));
    QCoreApplication::setApplicationVersion(AppDelegate::appVersionString());

    QStringList arguments = QCoreApplication::arguments();
    const QString program = arguments.takeFirst();
    const QString first = arguments.value(0);
    if (first == QLatin1String("-h") || first == QLatin1String("--help")) {
        print(stdout, QString::fromUtf8(kUsage));
        return 0;
    }
    if (first == QLatin1String("-v") || first == QLatin1String("--version")) {
        print(stdout, QStringLiteral("korvella %1\n").arg(QCoreApplication::applicationVersion()));
        return 0;
    }
    const QString command = arguments.takeFirst();
    QCommandLineParser parser;
    const QCommandLineOption json(QStringLiteral("json"));
    if (command == QLatin1String("status"))
        parser.addOption(json);
    // Everything after the command's name belongs to the command, options included.
    if (command == QLatin1String("run"))
        parser.setOptionsAfterPositionalArgumentsMode(
            QCommandLineParser::ParseAsPositionalArguments);
    if (!parser.parse(QStringList{program} + arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        return badInput(unknown.isEmpty()
                            ? parser.errorText()
                            : QStringLiteral("不明的選項「%1」。").arg(unknown.first()));
    }
    return dispatch(command, parser.positionalArguments(),
                    command == QLatin1String("status") && parser.isSet(json));
}
