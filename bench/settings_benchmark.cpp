// The settings file's costs: the reads of one status push, one write (which reaches the disk
// before it returns) and the load at start-up, on a file holding all seven settings.
#include "platform/IniSettingsStore.h"
#include "platform/SettingsKeys.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {
QString filledFile(const QTemporaryDir &dir) {
    const QString path = dir.filePath(QStringLiteral("Korvella/Korvella.conf"));
    IniSettingsStore store(path);
    store.setBool(SettingsKeys::tgEnabled, true);
    store.setString(SettingsKeys::tgBotToken,
                    QStringLiteral("1234567890:ABCdefGhIJKlmNoPQRsTUVwxyZ0123456789a"));
    store.setString(SettingsKeys::tgChatID, QStringLiteral("123456789"));
    store.setString(SettingsKeys::tgOfficialChatID, QString());
    store.setInteger(SettingsKeys::tgIntervalMinutes, 30);
    store.setBool(SettingsKeys::lidSleepEnabled, true);
    store.setBool(SettingsKeys::hasShownLidWakeExplanation, true);
    return path;
}

// What one push reads: the official chat, then the own bot's token and chat.
void pushReads(benchmark::State &state) {
    QTemporaryDir dir;
    IniSettingsStore store(filledFile(dir));
    for (auto _ : state) {
        const auto official = store.stringValue(SettingsKeys::tgOfficialChatID);
        benchmark::DoNotOptimize(official);
        benchmark::DoNotOptimize(store.stringValue(SettingsKeys::tgBotToken));
        benchmark::DoNotOptimize(store.stringValue(SettingsKeys::tgChatID));
    }
}
BENCHMARK(pushReads);

void oneWrite(benchmark::State &state) {
    QTemporaryDir dir;
    IniSettingsStore store(filledFile(dir));
    bool on = false;
    for (auto _ : state) {
        store.setBool(SettingsKeys::lidSleepEnabled, on);
        on = !on;
    }
}
BENCHMARK(oneWrite)->Unit(benchmark::kMicrosecond);

// Each load reads a copy under a new name, so nothing parsed before can be reused.
void loadAtStartUp(benchmark::State &state) {
    QTemporaryDir dir;
    const QString path = filledFile(dir);
    int copies = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString copy = dir.filePath(QStringLiteral("copy%1.conf").arg(++copies));
        QFile::copy(path, copy);
        state.ResumeTiming();
        benchmark::DoNotOptimize(IniSettingsStore(copy).boolValue(SettingsKeys::lidSleepEnabled));
    }
}
BENCHMARK(loadAtStartUp)->Unit(benchmark::kMicrosecond);
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
