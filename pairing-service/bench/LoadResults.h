#pragma once
#include <QMap>
#include <QString>

#include <vector>

// What one run of the load schedule measured.
struct LoadResults {
    std::vector<qint64> createUs, statusUs, allUs; // latencies, sorted
    int failures = 0;
    int latePolls = 0; // status polls past the schedule, while the bot had not confirmed yet
    int paired = 0;
    double seconds = 0;
    qint64 peakRssKb = 0;
    double serviceCpuSeconds = 0;
    QMap<QString, int> endings; // how the pairings that did not pair ended

    double statusRate() const { return statusUs.size() / seconds; }
    double cpuUsPerRequest() const { return serviceCpuSeconds * 1e6 / allUs.size(); }
    // Rates and latency percentiles to standard output, failed pairings to standard error.
    void print(int pairings) const;
};
