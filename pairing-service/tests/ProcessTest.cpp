// The korvella-pairing program itself, as systemd would run it: configured by environment,
// stopped by SIGTERM, started again on the same database.
#include "BotTexts.h"
#include "TestService.h"

#include <QProcess>
#include <QTcpServer>
#include <gtest/gtest.h>

#include <csignal>

namespace {

const QString secret = "webhook-SECRET-value";

struct Program : QProcess {
    explicit Program(const QMap<QString, QString> &values) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            environment.insert(it.key(), it.value());
        setProcessEnvironment(environment);
        setProcessChannelMode(QProcess::MergedChannels);
        start(QStringLiteral(KORVELLA_PAIRING_BINARY), QStringList());
    }
    ~Program() override {
        kill();
        waitForFinished();
    }
    QByteArray log() { return m_log += readAll(); }
    // The port from the log line naming the address; 0 when the program never got there.
    quint16 port() {
        const QByteArray prefix = "listening on http://127.0.0.1:";
        TestHttp::waitUntil([&] {
            const qsizetype at = log().indexOf(prefix);
            return (at >= 0 && m_log.indexOf('\n', at) > 0) || state() == NotRunning;
        });
        const qsizetype at = m_log.indexOf(prefix);
        return at < 0 ? 0 : m_log.mid(at + prefix.size()).split('/').first().toUShort();
    }
    // SIGTERM, then the exit code; the log must hold no secret whatever happened.
    int terminate() {
        ::kill(pid_t(processId()), SIGTERM);
        waitForFinished(10000);
        const QString text = QString::fromLocal8Bit(log());
        for (const QString &hidden : {testBotToken, testBotToken.section(':', 1), secret})
            EXPECT_FALSE(text.contains(hidden)) << text.toStdString();
        return exitStatus() == QProcess::NormalExit ? exitCode() : -1;
    }
    QByteArray m_log;
};

} // namespace

TEST(Program, KeepsPairingsAcrossRestartsAndNeverLogsItsSecrets) {
    FakeBotApi api(testBotToken);
    QTemporaryDir dir;
    const QString database = dir.filePath("state/pairing.sqlite");
    QDir().mkpath(dir.filePath("state"));
    auto values = TestService::defaults(api.baseUrl(), database);
    values.insert("KORVELLA_PAIRING_WEBHOOK_SECRET", secret);

    Program first(values);
    const quint16 port = first.port();
    ASSERT_NE(port, 0) << first.log().toStdString();
    EXPECT_TRUE(QFile::exists(database));
    const QString local = QStringLiteral("http://127.0.0.1:%1/api/").arg(port);
    const QString code =
        TestHttp::post(local + "create_pairing.php").json().value("code").toString();
    api.queueText(64, "/pair " + code);
    ASSERT_TRUE(TestHttp::waitUntil([&] { return api.messages().size() == 1; }));
    EXPECT_EQ(api.messages().first().text, said(pairing::BotTexts::paired));
    EXPECT_EQ(first.terminate(), 0);

    // Telegram refusing the token, then unreachable: the failures are logged, the token not.
    FakeBotApi otherBot("42:another-token");
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const QString unreachable = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
    closed.close();
    for (const QString &apiBase : {otherBot.baseUrl(), unreachable}) {
        values.insert("KORVELLA_PAIRING_TELEGRAM_API", apiBase);
        Program again(values);
        const quint16 port = again.port();
        ASSERT_NE(port, 0) << again.log().toStdString();
        const QString status =
            QStringLiteral("http://127.0.0.1:%1/api/pairing_status.php?code=").arg(port);
        EXPECT_EQ(TestHttp::get(status + code).json().value("chat_id"), "64");
        EXPECT_TRUE(TestHttp::waitUntil([&] { return again.log().contains("getUpdates failed"); }));
        EXPECT_EQ(again.terminate(), 0);
    }

    values.insert("KORVELLA_PAIRING_BOT_TOKEN", "123:not a valid token");
    Program refused(values);
    ASSERT_TRUE(refused.waitForFinished(10000));
    EXPECT_EQ(refused.exitCode(), 2);
    EXPECT_TRUE(refused.log().contains("KORVELLA_PAIRING_BOT_TOKEN")) << refused.m_log.data();
    EXPECT_FALSE(refused.m_log.contains("not a valid token")) << refused.m_log.data();
}
