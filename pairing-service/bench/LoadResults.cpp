#include "LoadResults.h"

#include <algorithm>
#include <cstdio>

namespace {

qint64 percentile(std::vector<qint64> sorted, double p) {
    if (sorted.empty())
        return 0;
    return sorted[std::min(sorted.size() - 1, size_t(p * (sorted.size() - 1) + 0.5))];
}

} // namespace

void LoadResults::print(int pairings) const {
    std::printf(
        "  requests: %zu in %.2f s = %.0f requests/s (%zu create, %zu status = %.0f status/s),"
        " %d failed\n",
        allUs.size(), seconds, allUs.size() / seconds, createUs.size(), statusUs.size(),
        statusRate(), failures);
    const auto line = [](const char *name, const std::vector<qint64> &us) {
        std::printf("  %-7s latency ms: p50 %.2f  p90 %.2f  p99 %.2f  p99.9 %.2f  max %.2f\n", name,
                    percentile(us, 0.5) / 1000.0, percentile(us, 0.9) / 1000.0,
                    percentile(us, 0.99) / 1000.0, percentile(us, 0.999) / 1000.0,
                    us.empty() ? 0.0 : us.back() / 1000.0);
    };
    line("all", allUs);
    line("create", createUs);
    line("status", statusUs);
    std::printf("  service CPU: %.2f s, %.0f us per request\n", serviceCpuSeconds,
                cpuUsPerRequest());
    std::printf(
        "  pairings ending paired with their own chat: %d of %d (%d polls past the schedule)\n",
        paired, pairings, latePolls);
    for (auto it = endings.cbegin(); it != endings.cend(); ++it)
        std::fprintf(stderr, "  %d pairings ended as \"%s\"\n", it.value(), qPrintable(it.key()));
}
