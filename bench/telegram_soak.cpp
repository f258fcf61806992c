// 1,000 sends and 1,000 pairing status polls, one after another, against the loopback server:
// the time of one round trip, and whether memory and live replies stay flat over the run.
#include "telegram/HttpExchange.h"
#include "telegram/PairingClient.h"
#include "telegram/TelegramNotifier.h"
#include "tests/support/FakeHttpServer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <benchmark/benchmark.h>
#include <unistd.h>

namespace {

constexpr int kRounds = 1000;
constexpr int kWarmUp = 100; // connection set-up, first TLS-less socket, allocator pools

double residentKiB() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / 1024 : 0;
}

QNetworkAccessManager &network() {
    // Owned by the application object, so it goes before the event machinery does.
    static auto *manager = new QNetworkAccessManager(QCoreApplication::instance());
    return *manager;
}

int liveReplies() {
    // The last reply was handed to deleteLater() inside a loop that has since quit.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return int(network().findChildren<QNetworkReply *>().size());
}

// Runs one request to its completion in a real event loop, so deferred deletions happen as
// they do in the application.
template <typename Start> void roundTrip(Start start) {
    QEventLoop loop;
    start([&loop] { loop.quit(); });
    loop.exec();
}

void report(benchmark::State &state, double atWarmUp, double atEnd, bool allOk) {
    state.counters["rss_after_warmup_KiB"] = atWarmUp;
    state.counters["rss_at_end_KiB"] = atEnd;
    state.counters["rss_growth_KiB"] = atEnd - atWarmUp;
    state.counters["live_replies_at_end"] = liveReplies();
    if (!allOk)
        state.SkipWithError("a round trip gave the wrong result");
}

void sends(benchmark::State &state) {
    FakeHttpServer server;
    server.setRecording(false);
    TelegramNotifier notifier(network(), server.baseUrl(), nullptr);
    const TelegramNotifier::Config config{QStringLiteral("1234567890:soak"),
                                          QStringLiteral("-1001234567890")};
    const QString text =
        QStringLiteral("[Korvella] 目前狀態：✨ 亮晶晶（防睡眠中・剩 1 小時 59 分）");
    bool allOk = true;
    double atWarmUp = 0;
    int round = 0;
    for (auto _ : state) {
        roundTrip([&](auto done) {
            notifier.send(text, config, [&, done](bool accepted) {
                allOk = allOk && accepted;
                done();
            });
        });
        if (++round == kWarmUp)
            atWarmUp = residentKiB();
    }
    report(state, atWarmUp, residentKiB(), allOk && server.requestCount() == kRounds);
}
BENCHMARK(sends)->Iterations(kRounds)->Unit(benchmark::kMicrosecond);

void statusPolls(benchmark::State &state) {
    FakeHttpServer server;
    server.setRecording(false);
    server.setDefaultReply(
        FakeHttpServer::Reply::json(R"({"status":"paired","chat_id":"-1001234567890"})"));
    PairingClient client(network(), server.baseUrl() + QStringLiteral("/api"), nullptr);
    bool allOk = true;
    double atWarmUp = 0;
    int round = 0;
    for (auto _ : state) {
        roundTrip([&](auto done) {
            client.checkStatus(QStringLiteral("K7Q2MX"), [&, done](const PairingStatus &status) {
                allOk = allOk && status == PairingStatus::paired(QStringLiteral("-1001234567890"));
                done();
            });
        });
        if (++round == kWarmUp)
            atWarmUp = residentKiB();
    }
    report(state, atWarmUp, residentKiB(), allOk && server.requestCount() == kRounds);
}
BENCHMARK(statusPolls)->Iterations(kRounds)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
