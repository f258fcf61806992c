// The korvella-pairing program itself, as systemd would run it: configured by environment,
// stopped by SIGTERM, started again on the same database.
#include "BotTexts.h"
#include "TestService.h"

#include <QProcess>
#include <QTcpServer>
#include <gtest/gtest.h>

#include <csignal>

using namespace pairing;

namespace {

class Program {
public:
    explicit Program(const QMap<QString, QString> &values) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            environment.insert(it.key(), it.value());
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral(KORVELLA_PAIRING_BINARY), QStringList());
    }
    ~Program() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    // Waits for the log line naming the address and returns the port.
    quint16 waitForPort() {
        quint16 port = 0;
        TestHttp::waitUntil([&] {
            m_log += m_process.readAll();
            const qsizetype at = m_log.indexOf("listening on http://127.0.0.1:");
            if (at >= 0)
                port = m_log.mid(at + 30).split('/').first().toUShort();
            return port != 0 || m_process.state() == QProcess::NotRunning;
        });
        return port;
    }
    // SIGTERM, then the exit code, and everything the program wrote.
    int terminate() {
        ::kill(pid_t(m_process.processId()), SIGTERM);
        m_process.waitForFinished(10000);
        m_log += m_process.readAll();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    QByteArray log() {
        m_log += m_process.readAll();
        return m_log;
    }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    QByteArray m_log;
};

} // namespace

TEST(Program, CreatesItsDatabaseAndARestartLosesNoPairing) {
    FakeBotApi api(testBotToken);
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("state/pairing.sqlite"));
    QDir().mkpath(dir.filePath(QStringLiteral("state")));
    const auto values = TestService::defaults(api.baseUrl(), database);

    Program first(values);
    const quint16 port = first.waitForPort();
    ASSERT_NE(port, 0) << first.log().toStdString();
    EXPECT_TRUE(QFile::exists(database));
    const QString base = QStringLiteral("http://127.0.0.1:%1/api").arg(port);
    const QString code = TestHttp::post(base + QStringLiteral("/create_pairing.php"))
                             .json()
                             .value("code")
                             .toString();
    api.queueText(64, QStringLiteral("/pair ") + code);
    ASSERT_TRUE(TestHttp::waitUntil([&] { return api.messages().size() == 1; }));
    EXPECT_EQ(api.messages().first().text, QString::fromUtf8(BotTexts::paired));
    EXPECT_EQ(first.terminate(), 0) << first.log().toStdString();

    Program second(values);
    const quint16 again = second.waitForPort();
    ASSERT_NE(again, 0) << second.log().toStdString();
    const auto status = TestHttp::get(
        QStringLiteral("http://127.0.0.1:%1/api/pairing_status.php?code=%2").arg(again).arg(code));
    EXPECT_EQ(status.json().value("chat_id"), "64");
    EXPECT_EQ(second.terminate(), 0) << second.log().toStdString();
}

TEST(Program, NeverLogsTheBotTokenOrTheWebhookSecret) {
    FakeBotApi api(QStringLiteral("42:another-token")); // answers 401-like 404s to our token
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const QString unreachable = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
    closed.close();
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("pairing.sqlite"));
    const QString secret = QStringLiteral("webhook-SECRET-value");

    for (const QString &apiBase : {api.baseUrl(), unreachable}) {
        auto values = TestService::defaults(apiBase, database);
        values.insert("KORVELLA_PAIRING_WEBHOOK_SECRET", secret);
        Program program(values);
        ASSERT_NE(program.waitForPort(), 0) << program.log().toStdString();
        ASSERT_TRUE(
            TestHttp::waitUntil([&] { return program.log().contains("getUpdates failed"); }));
        program.terminate();
        const QString log = QString::fromLocal8Bit(program.log());
        EXPECT_FALSE(log.contains(testBotToken)) << log.toStdString();
        EXPECT_FALSE(log.contains(testBotToken.section(':', 1))) << log.toStdString();
        EXPECT_FALSE(log.contains(secret)) << log.toStdString();
    }

    // A token the program refuses is not repeated either.
    auto values = TestService::defaults(api.baseUrl(), database);
    values.insert("KORVELLA_PAIRING_BOT_TOKEN", "123:not a valid token");
    Program refused(values);
    ASSERT_TRUE(refused.process().waitForFinished(10000));
    EXPECT_EQ(refused.process().exitCode(), 2);
    const QByteArray log = refused.log();
    EXPECT_TRUE(log.contains("KORVELLA_PAIRING_BOT_TOKEN")) << log.toStdString();
    EXPECT_FALSE(log.contains("not a valid token")) << log.toStdString();
}
