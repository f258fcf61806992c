// Load test of korvella-pairing: starts the service as its own process (SQLite by default, or
// --database for PostgreSQL), then plays many desktop apps at a steady schedule: each creates a
// code and polls its status every --interval-ms, --polls times; once half of the polls have
// come back, the bot gets "/pair CODE" from a fake Bot API on loopback. Every simulated app comes
// from its own address (X-Forwarded-For from loopback, a trusted proxy), so per-client limits apply
// as in production. Prints requests per second, latency percentiles and the service's memory; exits
// non-zero when any request failed or any pairing did not end as paired with its own chat.
#include "FakeBotApi.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>
#include <vector>

namespace {

const QString token = QStringLiteral("1234567890:AAloadTESTtokenNOTreal_abcdefghijklmn");

struct Request {
    int pairing;
    bool create;
};

struct Pairing {
    QString code;
    QByteArray client;
    int pollsSent = 0;
    int pollsDone = 0;
    qint64 startUs = 0;
    bool sawPending = false;
    QString lastStatus;
    QString chatId;
};

// One keep-alive connection that carries one request at a time.
class Connection final : public QObject {
public:
    using Done = std::function<void(Connection *, int status, const QByteArray &body, qint64 us)>;
    Connection(quint16 port, Done done)
        : m_done(std::move(done)) {
        connect(&m_socket, &QTcpSocket::readyRead, this, &Connection::read);
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_socket.waitForConnected(5000);
    }
    void send(const QByteArray &bytes) {
        m_timer.start();
        m_socket.write(bytes);
    }

private:
    void read() {
        m_buffer += m_socket.readAll();
        const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        const QByteArray head = m_buffer.left(headEnd).toLower();
        const qsizetype at = head.indexOf("content-length:");
        const qsizetype length =
            at < 0 ? 0 : head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toLongLong();
        if (m_buffer.size() < headEnd + 4 + length)
            return;
        const int status = m_buffer.mid(9, 3).toInt();
        const QByteArray body = m_buffer.mid(headEnd + 4, length);
        m_buffer.remove(0, headEnd + 4 + length);
        m_done(this, status, body, m_timer.nsecsElapsed() / 1000);
    }

    QTcpSocket m_socket;
    QByteArray m_buffer;
    QElapsedTimer m_timer;
    Done m_done;
};

qint64 percentile(std::vector<qint64> sorted, double p) {
    if (sorted.empty())
        return 0;
    return sorted[std::min(sorted.size() - 1, size_t(p * (sorted.size() - 1) + 0.5))];
}

qint64 rssKb(qint64 pid, const char *field) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Load test of korvella-pairing."));
    parser.addHelpOption();
    const auto option = [&](const char *name, const char *help, const char *value) {
        QCommandLineOption o(QLatin1String(name), QLatin1String(help), QStringLiteral("n"),
                             QLatin1String(value));
        parser.addOption(o);
        return o;
    };
    const auto pairingsOption = option("pairings", "pairings to run", "1000");
    const auto pollsOption = option("polls", "status polls per pairing", "60");
    const auto intervalOption =
        option("interval-ms", "time between two polls of one pairing", "100");
    const auto startRateOption = option("start-rate", "pairings started per second", "100");
    const auto connectionsOption =
        option("connections", "keep-alive connections to the service", "32");
    const QCommandLineOption databaseOption(
        QStringLiteral("database"), QStringLiteral("KORVELLA_PAIRING_DATABASE of the service"),
        QStringLiteral("url"));
    parser.addOption(databaseOption);
    const QCommandLineOption serverOption(
        QStringLiteral("server"), QStringLiteral("korvella-pairing binary"), QStringLiteral("path"),
        QStringLiteral(KORVELLA_PAIRING_BINARY));
    parser.addOption(serverOption);
    parser.process(app);
    const int pairingCount = parser.value(pairingsOption).toInt();
    const int polls = parser.value(pollsOption).toInt();
    const int intervalMs = parser.value(intervalOption).toInt();
    const double startRate = parser.value(startRateOption).toDouble();
    const int connectionCount = parser.value(connectionsOption).toInt();

    FakeBotApi api(token);
    // Above any offset an earlier run left in a reused database.
    api.setNextUpdateId(QDateTime::currentSecsSinceEpoch() * 1000);
    QTemporaryDir dir;
    const quint16 port = freePort();
    QProcess server;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KORVELLA_PAIRING_PORT"), QString::number(port));
    environment.insert(QStringLiteral("KORVELLA_PAIRING_DATABASE"),
                       parser.isSet(databaseOption)
                           ? parser.value(databaseOption)
                           : QStringLiteral("sqlite:") +
                                 dir.filePath(QStringLiteral("load.sqlite")));
    environment.insert(QStringLiteral("KORVELLA_PAIRING_BOT_TOKEN"), token);
    environment.insert(QStringLiteral("KORVELLA_PAIRING_TELEGRAM_API"), api.baseUrl());
    environment.insert(QStringLiteral("KORVELLA_PAIRING_POLL_TIMEOUT"), QStringLiteral("1"));
    server.setProcessEnvironment(environment);
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(parser.value(serverOption), QStringList());
    if (!server.waitForStarted(5000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(parser.value(serverOption)));
        return 2;
    }
    {
        QElapsedTimer wait;
        wait.start();
        QTcpSocket probe;
        while (wait.elapsed() < 10000) {
            probe.connectToHost(QHostAddress::LocalHost, port);
            if (probe.waitForConnected(200))
                break;
            QThread::msleep(50);
        }
    }
    const qint64 pid = server.processId();
    const qint64 idleRssKb = rssKb(pid, "VmRSS:");

    std::vector<Pairing> pairings(pairingCount);
    for (int i = 0; i < pairingCount; ++i)
        pairings[i].client = QStringLiteral("10.%1.%2.%3")
                                 .arg(i >> 16 & 255)
                                 .arg(i >> 8 & 255)
                                 .arg(i & 255)
                                 .toLatin1();
    std::vector<qint64> createUs, statusUs;
    int failures = 0;
    std::deque<Request> queue;
    std::vector<Connection *> idle;
    QElapsedTimer clock;
    qint64 peakRssKb = idleRssKb;
    int started = 0;
    int finished = 0;

    std::function<void()> dispatch;
    const auto requestBytes = [&](const Request &request) {
        const Pairing &p = pairings[request.pairing];
        if (request.create)
            return "POST /api/create_pairing.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "
                   "0\r\n"
                   "X-Forwarded-For: " +
                   p.client + "\r\n\r\n";
        return "GET /api/pairing_status.php?code=" + p.code.toLatin1() +
               " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
               "X-Forwarded-For: " +
               p.client + "\r\n\r\n";
    };
    std::vector<std::unique_ptr<Connection>> connections;
    QHash<Connection *, Request> inFlight;
    const auto onDone = [&](Connection *connection, int status, const QByteArray &body, qint64 us) {
        const Request request = inFlight.take(connection);
        Pairing &p = pairings[request.pairing];
        const QJsonObject json = QJsonDocument::fromJson(body).object();
        if (status != 200) {
            if (++failures <= 5)
                std::fprintf(stderr, "HTTP %d: %s\n", status, body.constData());
        } else if (request.create) {
            createUs.push_back(us);
            p.code = json.value(QStringLiteral("code")).toString();
        } else {
            statusUs.push_back(us);
            p.lastStatus = json.value(QStringLiteral("status")).toString();
            p.sawPending |= p.lastStatus == QLatin1String("pending");
            p.chatId = json.value(QStringLiteral("chat_id")).toString();
            // The user sends the code once half of the polls have come back.
            if (++p.pollsDone == std::max(1, polls / 2))
                api.queueText(1000000 + request.pairing, QStringLiteral("/pair ") + p.code);
            if (p.pollsDone == polls)
                ++finished;
        }
        idle.push_back(connection);
        dispatch();
    };
    dispatch = [&] {
        while (!queue.empty() && !idle.empty()) {
            Connection *connection = idle.back();
            idle.pop_back();
            inFlight.insert(connection, queue.front());
            connection->send(requestBytes(queue.front()));
            queue.pop_front();
        }
    };
    for (int i = 0; i < connectionCount; ++i) {
        connections.push_back(std::make_unique<Connection>(port, onDone));
        idle.push_back(connections.back().get());
    }

    // The schedule: pairing i starts at i / startRate seconds and, once its code has arrived,
    // polls at every intervalMs after its start.
    QTimer tick;
    clock.start();
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 nowUs = clock.nsecsElapsed() / 1000;
        while (started < pairingCount && started * 1e6 / startRate <= nowUs) {
            pairings[started].startUs = nowUs;
            queue.push_back({started++, true});
        }
        for (int i = 0; i < started; ++i) {
            Pairing &p = pairings[i];
            if (p.code.isEmpty() || p.pollsSent == polls)
                continue;
            if (p.startUs + qint64(p.pollsSent + 1) * intervalMs * 1000 > nowUs)
                continue;
            ++p.pollsSent;
            queue.push_back({i, false});
        }
        dispatch();
        peakRssKb = std::max(peakRssKb, rssKb(pid, "VmRSS:"));
        if (finished == pairingCount)
            app.quit();
    });
    tick.start(5);
    QTimer::singleShot(
        std::max(60000, int(pairingCount / startRate * 1000 + polls * intervalMs * 4 + 30000)),
        &app, &QCoreApplication::quit);
    app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;

    int paired = 0;
    QMap<QString, int> endings;
    for (int i = 0; i < pairingCount; ++i) {
        const Pairing &p = pairings[i];
        if (p.sawPending && p.lastStatus == QLatin1String("paired") &&
            p.chatId == QString::number(1000000 + i))
            ++paired;
        else
            ++endings[p.lastStatus +
                      (p.sawPending ? QString() : QStringLiteral(" (never pending)"))];
    }
    std::sort(createUs.begin(), createUs.end());
    std::sort(statusUs.begin(), statusUs.end());
    std::vector<qint64> all = createUs;
    all.insert(all.end(), statusUs.begin(), statusUs.end());
    std::sort(all.begin(), all.end());
    const qint64 hwmKb = rssKb(pid, "VmHWM:");
    server.terminate();
    server.waitForFinished(10000);
    const QByteArray serverLog = server.readAll();

    std::printf(
        "korvella-pairing load: %d pairings x %d polls every %d ms, %.0f pairings/s started, "
        "%d connections, %s\n",
        pairingCount, polls, intervalMs, startRate, connectionCount,
        parser.isSet(databaseOption) ? "given database" : "SQLite");
    const double scheduledSeconds = (pairingCount - 1) / startRate + polls * intervalMs / 1000.0;
    std::printf("  offered by the schedule: %.0f requests/s on average\n",
                pairingCount * (polls + 1) / scheduledSeconds);
    std::printf("  requests: %zu in %.2f s = %.0f requests/s (%zu create, %zu status), %d failed\n",
                all.size(), seconds, all.size() / seconds, createUs.size(), statusUs.size(),
                failures);
    const auto line = [](const char *name, const std::vector<qint64> &us) {
        std::printf("  %-7s latency ms: p50 %.2f  p90 %.2f  p99 %.2f  p99.9 %.2f  max %.2f\n", name,
                    percentile(us, 0.5) / 1000.0, percentile(us, 0.9) / 1000.0,
                    percentile(us, 0.99) / 1000.0, percentile(us, 0.999) / 1000.0,
                    us.empty() ? 0.0 : us.back() / 1000.0);
    };
    line("all", all);
    line("create", createUs);
    line("status", statusUs);
    std::printf(
        "  service memory: %lld kB resident idle, %lld kB peak sampled, %lld kB high-water mark\n",
        idleRssKb, peakRssKb, hwmKb);
    std::printf("  pairings ending paired with their own chat: %d of %d; bot answers sent: %lld\n",
                paired, pairingCount, qint64(api.messages().size()));
    const bool passed = failures == 0 && paired == pairingCount;
    for (auto it = endings.cbegin(); it != endings.cend(); ++it)
        std::fprintf(stderr, "  %d pairings ended as \"%s\"\n", it.value(), qPrintable(it.key()));
    if (!passed) {
        std::fprintf(stderr,
                     "fake Bot API: %lld getUpdates calls, last offset %lld, %lld updates queued\n",
                     qint64(api.calls(QStringLiteral("getUpdates")).size()), api.lastOffset(),
                     qint64(api.queuedUpdates()));
        for (const QByteArray &line : serverLog.split('\n')) {
            if (!line.startsWith("info:"))
                std::fprintf(stderr, "%s\n", line.constData());
        }
    }
    return passed ? 0 : 1;
}
