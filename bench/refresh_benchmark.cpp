// One refresh of a timed period as the tray sees it: the status line, the capsule at every tray
// size on a 2x screen, a new menu model, and that model applied to the tray's live QMenu.
#include "app/AppDelegate.h"
#include "app/IconRenderer.h"
#include "platform/TrayMenu.h"
#include "platform/TrayStatusItem.h"
#include "tests/support/FakePlatform.h"

#include <QApplication>
#include <benchmark/benchmark.h>

namespace {
// The real tray status item; with no bus and no tray it keeps the menu and skips the icon.
class TrayApplication final : public Application {
public:
    void setActivationPolicy(ActivationPolicy) override {}
    void activateIgnoringOtherApps() override {}
    std::unique_ptr<StatusItem> createStatusItem() override {
        return std::make_unique<TrayStatusItem>(QDBusConnection(QStringLiteral("none")));
    }
    void terminate() override {}
};

// What a change of state would cost if nothing were kept: every size drawn anew.
void drawEverySize(benchmark::State &state) {
    const QList<QImage> &sizes = IconRenderer::statusIcons(true, 2.0);
    for (auto _ : state) {
        for (const QImage &image : sizes) {
            benchmark::DoNotOptimize(IconRenderer::statusIcon(true, image.deviceIndependentSize(),
                                                              image.devicePixelRatio()));
        }
    }
}
BENCHMARK(drawEverySize)->Repetitions(15)->ReportAggregatesOnly(true);

void buildAndApplyMenu(benchmark::State &state) {
    FakePlatform fake;
    AppDelegate delegate(fake.platform());
    delegate.applicationDidFinishLaunching();
    delegate.selectDuration(240);
    TrayMenu tray;
    for (auto _ : state) {
        fake.clock.advanceSeconds(60); // a new status line each time: the worst case
        delegate.countdownTick();
        tray.apply(delegate.buildMenu());
    }
}
BENCHMARK(buildAndApplyMenu)->Repetitions(15)->ReportAggregatesOnly(true);

// The whole second: countdownTick() refreshes icon, tooltip and menu on the tray status item.
void timedPeriodRefresh(benchmark::State &state) {
    FakePlatform fake;
    TrayApplication application;
    Platform platform = fake.platform();
    platform.application = &application;
    AppDelegate delegate(platform);
    delegate.applicationDidFinishLaunching();
    if (delegate.statusItem()->devicePixelRatio() != 2.0)
        state.SkipWithError("the icons would not be drawn for 2x");
    delegate.selectDuration(240);
    for (auto _ : state) {
        if (delegate.remainingSeconds() <= 1) {
            state.PauseTiming();
            delegate.selectDuration(240);
            state.ResumeTiming();
        }
        fake.clock.advanceSeconds(1);
        delegate.countdownTick();
    }
}
BENCHMARK(timedPeriodRefresh)->Repetitions(15)->ReportAggregatesOnly(true);
} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", "2"); // a 2x screen: the 2x variants are drawn too
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
