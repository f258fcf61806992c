#pragma once
#include "ServiceConfig.h"

#include <QHash>
#include <QString>

#include <list>

namespace pairing {

// Token buckets, one per client key, in this process only.
class RateLimiter final {
public:
    explicit RateLimiter(RateLimit limit, int maxTrackedKeys = 200000);

    // Takes one token for `key` at `nowMs`. When none is left, returns the whole seconds until
    // the next one (at least 1); otherwise 0.
    int take(const QString &key, qint64 nowMs);
    // Forgets keys whose bucket has refilled: they behave exactly like keys never seen.
    void prune(qint64 nowMs);
    qsizetype trackedKeys() const { return m_buckets.size(); }

private:
    struct Bucket {
        double tokens = 0;
        qint64 updatedMs = 0;
        std::list<QString>::iterator age; // place in m_byAge
    };
    double refilled(const Bucket &bucket, qint64 nowMs) const;

    RateLimit m_limit;
    int m_maxTrackedKeys;
    QHash<QString, Bucket> m_buckets;
    std::list<QString> m_byAge; // least recently used first
};

} // namespace pairing
