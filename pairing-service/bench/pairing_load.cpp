// Load test of korvella-pairing: starts the service as its own process (SQLite by default, or
// --database for PostgreSQL), then plays many desktop apps at a steady schedule: each creates a
// code and polls its status every --interval-ms, --polls times; once half of the polls have
// come back, the bot gets "/pair CODE" from a fake Bot API on loopback. Every simulated app comes
// from its own address (X-Forwarded-For from loopback, a trusted proxy), so per-client limits apply
// as in production. Prints requests per second, latency percentiles and the service's memory; exits
// non-zero when any request failed or any pairing did not end as paired with its own chat.
// With --held-polls N the schedule runs twice: alone, then beside N devices long-polling
// GET /api/commands, each on its own connection; the service's memory is read while all of them
// wait, and the two status rates are compared.
#include "Connection.h"
#include "FakeBotApi.h"
#include "HeldPolls.h"
#include "LoadResults.h"
#include "ProcessProbe.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <deque>
#include <functional>
#include <vector>

#include <sys/resource.h>

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
    bool done = false;
    qint64 startUs = 0;
    bool sawPending = false;
    QString lastStatus;
    QString chatId;
};

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

struct Schedule {
    int pairings;
    int polls;
    int intervalMs;
    double startRate;
    int connections;
};

// Plays `schedule.pairings` desktop apps, numbered from `first` so that every run has clients,
// codes and chats of its own.
LoadResults runSchedule(const Schedule &schedule, int first, quint16 port, qint64 pid,
                        FakeBotApi &api) {
    const int polls = schedule.polls;
    const int latePollLimit = std::max(polls, 20000 / schedule.intervalMs);
    std::vector<Pairing> pairings(schedule.pairings);
    for (int i = 0; i < schedule.pairings; ++i) {
        const int n = first + i;
        pairings[i].client = QStringLiteral("10.%1.%2.%3")
                                 .arg(n >> 16 & 255)
                                 .arg(n >> 8 & 255)
                                 .arg(n & 255)
                                 .toLatin1();
    }
    LoadResults results;
    std::deque<Request> queue;
    std::vector<Connection *> idle;
    QElapsedTimer clock;
    results.peakRssKb = ProcessProbe::rssKb(pid, "VmRSS:");
    int started = 0;
    int finished = 0;
    QEventLoop loop;

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
            if (++results.failures <= 5)
                std::fprintf(stderr, "HTTP %d: %s\n", status, body.constData());
        } else if (request.create) {
            results.createUs.push_back(us);
            p.code = json.value(QStringLiteral("code")).toString();
        } else {
            results.statusUs.push_back(us);
            p.lastStatus = json.value(QStringLiteral("status")).toString();
            p.sawPending |= p.lastStatus == QLatin1String("pending");
            p.chatId = json.value(QStringLiteral("chat_id")).toString();
            // The user sends the code once half of the polls have come back.
            if (++p.pollsDone == std::max(1, polls / 2))
                api.queueText(1000000 + first + request.pairing, QStringLiteral("/pair ") + p.code);
            // Like the app, a pairing the bot has not confirmed yet keeps polling (a busy machine
            // can delay the bot's getUpdates), but only so long.
            if (p.pollsDone > polls)
                ++results.latePolls;
            if (p.pollsDone >= polls &&
                (p.lastStatus == QLatin1String("paired") || p.pollsDone >= polls + latePollLimit)) {
                p.done = true;
                ++finished;
            }
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
    for (int i = 0; i < schedule.connections; ++i) {
        connections.push_back(std::make_unique<Connection>(port, onDone));
        idle.push_back(connections.back().get());
    }

    // The schedule: pairing i starts at i / startRate seconds and, once its code has arrived,
    // polls at every intervalMs after its start.
    QTimer tick;
    clock.start();
    const double cpuAtStart = ProcessProbe::cpuSeconds(pid);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 nowUs = clock.nsecsElapsed() / 1000;
        while (started < schedule.pairings && started * 1e6 / schedule.startRate <= nowUs) {
            pairings[started].startUs = nowUs;
            queue.push_back({started++, true});
        }
        for (int i = 0; i < started; ++i) {
            Pairing &p = pairings[i];
            if (p.code.isEmpty() || p.done || (p.pollsSent >= polls && p.pollsDone < p.pollsSent))
                continue;
            if (p.startUs + qint64(p.pollsSent + 1) * schedule.intervalMs * 1000 > nowUs)
                continue;
            ++p.pollsSent;
            queue.push_back({i, false});
        }
        dispatch();
        results.peakRssKb = std::max(results.peakRssKb, ProcessProbe::rssKb(pid, "VmRSS:"));
        if (finished == schedule.pairings)
            loop.quit();
    });
    tick.start(5);
    QTimer::singleShot(std::max(60000, int(schedule.pairings / schedule.startRate * 1000 +
                                           polls * schedule.intervalMs * 4 + 30000)),
                       &loop, &QEventLoop::quit);
    loop.exec();
    results.seconds = clock.nsecsElapsed() / 1e9;
    results.serviceCpuSeconds = ProcessProbe::cpuSeconds(pid) - cpuAtStart;

    for (int i = 0; i < schedule.pairings; ++i) {
        const Pairing &p = pairings[i];
        if (p.sawPending && p.lastStatus == QLatin1String("paired") &&
            p.chatId == QString::number(1000000 + first + i))
            ++results.paired;
        else
            ++results.endings[p.lastStatus +
                              (p.sawPending ? QString() : QStringLiteral(" (never pending)"))];
    }
    std::sort(results.createUs.begin(), results.createUs.end());
    std::sort(results.statusUs.begin(), results.statusUs.end());
    results.allUs = results.createUs;
    results.allUs.insert(results.allUs.end(), results.statusUs.begin(), results.statusUs.end());
    std::sort(results.allUs.begin(), results.allUs.end());
    return results;
}

// Runs the event loop until `done` holds or `seconds` pass.
void waitFor(const std::function<bool()> &done, int seconds) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    check.start(50);
    loop.exec();
}

struct Service {
    quint16 port;
    qint64 pid;
    QString databasePath;
    FakeBotApi &api;
};

// Runs the schedule beside `held` devices waiting for commands, then again once they have
// gone. Rates and CPU time are compared with the mean of the runs before and after, so that
// what the runs themselves leave in the service (a larger database) is not put down to them.
bool runBesideHeldPolls(const Schedule &schedule, int held, const Service &service,
                        const LoadResults &alone, qint64 idleRssKb, qint64 &peakRssKb) {
    const QStringList tokens = HeldPolls::registerDevices(service.databasePath, held);
    if (tokens.size() != held) {
        std::fprintf(stderr, "cannot register the devices in %s\n",
                     qPrintable(service.databasePath));
        return false;
    }
    const int filesBefore = ProcessProbe::openFiles(service.pid);
    // On a thread of their own, so the event loop driving the schedule stays as fast as
    // without them: it is the service that must cope with them, not this program.
    QThread thread;
    HeldPolls polls(service.port, tokens);
    polls.moveToThread(&thread);
    thread.start();
    QMetaObject::invokeMethod(&polls, &HeldPolls::open);
    waitFor([&] { return polls.allSent() || polls.failures() > 0; }, 600);
    const qint64 heldRssKb = ProcessProbe::settledRssKb(service.pid);
    std::printf("  with %d devices long-polling for commands: %lld kB resident (%.1f MiB), "
                "%.1f kB per held poll\n",
                held, heldRssKb, heldRssKb / 1024.0, (heldRssKb - idleRssKb) / double(held));
    const LoadResults beside =
        runSchedule(schedule, schedule.pairings, service.port, service.pid, service.api);
    beside.print(schedule.pairings);
    const int answers = polls.answers();
    const bool passed =
        beside.failures == 0 && beside.paired == schedule.pairings && polls.failures() == 0;
    QMetaObject::invokeMethod(
        &polls, [&polls] { qDeleteAll(polls.children()); }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    // A parked poll learns that its device left when its hold ends.
    waitFor([&] { return ProcessProbe::openFiles(service.pid) <= filesBefore + 10; }, 60);
    const LoadResults after =
        runSchedule(schedule, 2 * schedule.pairings, service.port, service.pid, service.api);
    after.print(schedule.pairings);
    const double rateWithout = (alone.statusRate() + after.statusRate()) / 2;
    const double cpuWithout = (alone.cpuUsPerRequest() + after.cpuUsPerRequest()) / 2;
    std::printf("  status polls per second beside the held polls: %.0f, %.1f%% of %.0f, the mean "
                "of the runs before and after; held polls answered meanwhile: %d\n",
                beside.statusRate(), 100.0 * beside.statusRate() / rateWithout, rateWithout,
                answers);
    // Unlike the rates, this hardly depends on what else the machine is doing.
    std::printf("  service CPU per request beside the held polls: %.1f%% of the mean before and "
                "after\n",
                100.0 * beside.cpuUsPerRequest() / cpuWithout);
    peakRssKb = std::max({peakRssKb, beside.peakRssKb, after.peakRssKb});
    return passed && after.failures == 0 && after.paired == schedule.pairings;
}

void raiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char **argv) {
    // Each held poll is a socket here and one in the service, which inherits this limit.
    raiseOpenFileLimit();
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
    const auto heldOption = option(
        "held-polls", "devices long-polling for commands during a second run (SQLite only)", "0");
    const QCommandLineOption databaseOption(
        QStringLiteral("database"), QStringLiteral("KORVELLA_PAIRING_DATABASE of the service"),
        QStringLiteral("url"));
    parser.addOption(databaseOption);
    const QCommandLineOption serverOption(
        QStringLiteral("server"), QStringLiteral("korvella-pairing binary"), QStringLiteral("path"),
        QStringLiteral(KORVELLA_PAIRING_BINARY));
    parser.addOption(serverOption);
    parser.process(app);
    const Schedule schedule{parser.value(pairingsOption).toInt(), parser.value(pollsOption).toInt(),
                            parser.value(intervalOption).toInt(),
                            parser.value(startRateOption).toDouble(),
                            parser.value(connectionsOption).toInt()};
    const int held = parser.value(heldOption).toInt();
    if (held > 0 && parser.isSet(databaseOption)) {
        std::fprintf(stderr, "--held-polls needs the SQLite database\n");
        return 2;
    }

    FakeBotApi api(token);
    // Above any offset an earlier run left in a reused database.
    api.setNextUpdateId(QDateTime::currentSecsSinceEpoch() * 1000);
    QTemporaryDir dir;
    const QString databasePath = dir.filePath(QStringLiteral("load.sqlite"));
    const quint16 port = freePort();
    QProcess server;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KORVELLA_PAIRING_PORT"), QString::number(port));
    environment.insert(QStringLiteral("KORVELLA_PAIRING_DATABASE"),
                       parser.isSet(databaseOption) ? parser.value(databaseOption)
                                                    : QStringLiteral("sqlite:") + databasePath);
    environment.insert(QStringLiteral("KORVELLA_PAIRING_BOT_TOKEN"), token);
    environment.insert(QStringLiteral("KORVELLA_PAIRING_TELEGRAM_API"), api.baseUrl());
    environment.insert(QStringLiteral("KORVELLA_PAIRING_POLL_TIMEOUT"), QStringLiteral("1"));
    if (held > 0)
        environment.insert(QStringLiteral("KORVELLA_PAIRING_MAX_CONNECTIONS"),
                           QString::number(held + schedule.connections + 100));
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
    const qint64 idleRssKb = ProcessProbe::rssKb(pid, "VmRSS:");

    std::printf(
        "korvella-pairing load: %d pairings x %d polls every %d ms, %.0f pairings/s started, "
        "%d connections, %s\n",
        schedule.pairings, schedule.polls, schedule.intervalMs, schedule.startRate,
        schedule.connections, parser.isSet(databaseOption) ? "given database" : "SQLite");
    const double scheduledSeconds = (schedule.pairings - 1) / schedule.startRate +
                                    schedule.polls * schedule.intervalMs / 1000.0;
    std::printf("  offered by the schedule: %.0f requests/s on average\n",
                schedule.pairings * (schedule.polls + 1) / scheduledSeconds);
    const LoadResults alone = runSchedule(schedule, 0, port, pid, api);
    alone.print(schedule.pairings);
    bool passed = alone.failures == 0 && alone.paired == schedule.pairings;
    qint64 peakRssKb = alone.peakRssKb;

    if (held > 0)
        passed = runBesideHeldPolls(schedule, held, {port, pid, databasePath, api}, alone,
                                    idleRssKb, peakRssKb) &&
                 passed;

    const qint64 hwmKb = ProcessProbe::rssKb(pid, "VmHWM:");
    server.terminate();
    server.waitForFinished(10000);
    const QByteArray serverLog = server.readAll();
    std::printf(
        "  service memory: %lld kB resident idle, %lld kB peak sampled, %lld kB high-water mark\n",
        idleRssKb, peakRssKb, hwmKb);
    std::printf("  bot answers sent: %lld\n", qint64(api.messages().size()));
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
