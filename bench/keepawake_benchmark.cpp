// The work of one countdown second: the status line, and one tick of the period logic
// (which refreshes a recording status item with the icon, tooltip and a new menu model).
#include "app/AppDelegate.h"
#include "sleep/StatusLine.h"
#include "tests/support/FakePlatform.h"

#include <QApplication>
#include <benchmark/benchmark.h>

namespace {
void statusLine(benchmark::State &state)
{
    qint64 seconds = 14400;
    for (auto _ : state) {
        benchmark::DoNotOptimize(formatStatusLine(false, seconds, false));
        seconds = seconds > 1 ? seconds - 1 : 14400;
    }
}
BENCHMARK(statusLine);

void statusLineAndTick(benchmark::State &state)
{
    FakePlatform fake;
    AppDelegate delegate(fake.platform());
    delegate.applicationDidFinishLaunching();
    delegate.selectDuration(240);
    for (auto _ : state) {
        if (delegate.remainingSeconds() <= 1) {
            state.PauseTiming();
            delegate.selectDuration(240);
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(delegate.statusLineText());
        fake.clock.advanceSeconds(1.0);
        delegate.countdownTick();
    }
}
BENCHMARK(statusLineAndTick);
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
