#include "TestService.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace pairing;

void expectError(const TestHttp::Response &response, int status, const char *error) {
    EXPECT_EQ(response.status, status) << response.body.toStdString();
    EXPECT_EQ(response.json(), QJsonObject({{"error", QLatin1String(error)}}))
        << response.body.toStdString();
}

QMap<QString, QString> TestService::defaults(const QString &apiBaseUrl,
                                             const QString &databasePath) {
    return {
        {QStringLiteral("KORVELLA_PAIRING_PORT"), QStringLiteral("0")},
        {QStringLiteral("KORVELLA_PAIRING_DATABASE"), QStringLiteral("sqlite:") + databasePath},
        {QStringLiteral("KORVELLA_PAIRING_BOT_TOKEN"), testBotToken},
        {QStringLiteral("KORVELLA_PAIRING_BOT_USERNAME"), QStringLiteral("dremlo_app_bot")},
        {QStringLiteral("KORVELLA_PAIRING_TELEGRAM_API"), apiBaseUrl},
        {QStringLiteral("KORVELLA_PAIRING_POLL_TIMEOUT"), QStringLiteral("1")},
    };
}

TestService::TestService(const QMap<QString, QString> &overrides)
    : m_databasePath(m_dir.filePath(QStringLiteral("pairing.sqlite"))) {
    m_values = defaults(api.baseUrl(), m_databasePath);
    m_values.insert(overrides);
    startService();
}

void TestService::restart() {
    m_service.reset();
    startService();
}

void TestService::startService() {
    // Not settings: tests hold command polls and let connections wait for a moment, not the
    // production 25 s, 10 s and 60 s.
    QMap<QString, QString> values = m_values;
    const auto testMs = [&](const char *key, int fallback) {
        const int ms = values.take(QLatin1String(key)).toInt();
        return ms > 0 ? ms : fallback;
    };
    const int holdMs = testMs("TEST_COMMAND_HOLD_MS", 2000);
    const int requestMs = testMs("TEST_REQUEST_TIMEOUT_MS", HttpLimits().requestTimeoutMs);
    const int idleMs = testMs("TEST_IDLE_TIMEOUT_MS", HttpLimits().idleTimeoutMs);
    QStringList errors;
    auto config = Config::build(values, &errors);
    if (!config) {
        ADD_FAILURE() << errors.join(QLatin1Char('\n')).toStdString();
        return;
    }
    config->commandHoldMs = holdMs;
    config->http.requestTimeoutMs = requestMs;
    config->http.idleTimeoutMs = idleMs;
    m_service = std::make_unique<PairingService>(*config, clock);
    QString error;
    if (!m_service->start(&error))
        ADD_FAILURE() << error.toStdString();
}

QString TestService::url(const QString &path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

QString TestService::createCode() {
    const auto response = TestHttp::post(url(QStringLiteral("/api/create_pairing.php")));
    EXPECT_EQ(response.status, 200) << response.body.toStdString();
    return response.json().value(QStringLiteral("code")).toString();
}

QJsonObject TestService::status(const QString &code) {
    const auto response =
        TestHttp::get(url(QStringLiteral("/api/pairing_status.php?code=") + code));
    EXPECT_EQ(response.status, 200) << response.body.toStdString();
    return response.json();
}

QString TestService::tell(qint64 chatId, const QString &text) {
    const qsizetype before = api.messages().size();
    api.queueText(chatId, text);
    if (!TestHttp::waitUntil([&] { return api.messages().size() > before; })) {
        ADD_FAILURE() << "the bot did not answer " << text.toStdString();
        return {};
    }
    const FakeBotApi::Message &answer = api.messages().last();
    EXPECT_EQ(answer.chatId, QString::number(chatId));
    return answer.text;
}

TestHttp::Response TestService::deliver(qint64 chatId, const QString &text,
                                        const TestHttp::Headers &headers) {
    static qint64 updateId = 1;
    QJsonObject update = FakeBotApi::textUpdate(chatId, text);
    update.insert(QStringLiteral("update_id"), updateId++);
    return TestHttp::post(url(QStringLiteral("/api/telegram-webhook")),
                          QJsonDocument(update).toJson(), headers);
}

QString TestService::pairDevice(qint64 chatId) {
    const QString code = createCode();
    tell(chatId, QStringLiteral("/pair ") + code);
    return status(code).value(QStringLiteral("device_token")).toString();
}

TestHttp::Response TestService::commands(const QString &token) {
    return TestHttp::get(url(QStringLiteral("/api/commands")),
                         {{"Authorization", "Bearer " + token.toLatin1()}});
}
