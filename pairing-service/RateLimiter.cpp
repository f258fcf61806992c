#include "RateLimiter.h"

#include <cmath>

namespace pairing {

RateLimiter::RateLimiter(RateLimit limit, int maxTrackedKeys)
    : m_limit(limit)
    , m_maxTrackedKeys(maxTrackedKeys) {}

double RateLimiter::refilled(const Bucket &bucket, qint64 nowMs) const {
    // A clock that stepped back refills nothing rather than draining the bucket.
    const qint64 elapsed = std::max<qint64>(0, nowMs - bucket.updatedMs);
    return std::min<double>(m_limit.burst, bucket.tokens + elapsed * m_limit.perMinute / 60000.0);
}

int RateLimiter::take(const QString &key, qint64 nowMs) {
    if (m_limit.perMinute == 0)
        return 0;
    auto it = m_buckets.find(key);
    if (it == m_buckets.end()) {
        // Full: the key unused the longest goes. Forgetting a client only hands it a fresh
        // burst, while refusing newcomers would let one large address block lock everyone out.
        if (m_buckets.size() >= m_maxTrackedKeys) {
            m_buckets.remove(m_byAge.front());
            m_byAge.pop_front();
        }
        it = m_buckets.insert(
            key, Bucket{double(m_limit.burst), nowMs, m_byAge.insert(m_byAge.end(), key)});
    } else {
        m_byAge.splice(m_byAge.end(), m_byAge, it->age);
    }
    const double tokens = refilled(*it, nowMs);
    it->updatedMs = std::max(it->updatedMs, nowMs);
    if (tokens >= 1.0) {
        it->tokens = tokens - 1.0;
        return 0;
    }
    it->tokens = tokens;
    const double secondsToNext = (1.0 - tokens) * 60.0 / m_limit.perMinute;
    return std::max(1, int(std::ceil(secondsToNext)));
}

void RateLimiter::prune(qint64 nowMs) {
    for (auto it = m_buckets.begin(); it != m_buckets.end();) {
        if (refilled(*it, nowMs) >= m_limit.burst) {
            m_byAge.erase(it->age);
            it = m_buckets.erase(it);
        } else
            ++it;
    }
}

} // namespace pairing
