#pragma once
#include <QObject>
#include <QStringList>

#include <atomic>

// Devices that wait for commands the way the desktop app does: one connection each, a
// GET /api/commands held by the service, and the next one sent as soon as an answer arrives.
class HeldPolls final : public QObject {
public:
    // Registers `count` paired devices straight in the service's SQLite database, as `count`
    // pairings would have; returns their tokens.
    static QStringList registerDevices(const QString &databasePath, int count);

    HeldPolls(quint16 port, const QStringList &tokens)
        : m_port(port)
        , m_tokens(tokens) {}
    // Opens the connections a few hundred at a time, so the listen backlog never overflows.
    void open() {
        while (m_opened < m_tokens.size() && m_opened - m_sent < 200)
            connectOne(m_opened++);
    }
    bool allSent() const { return m_sent == m_tokens.size(); }
    int failures() const { return m_failures; }
    int answers() const { return m_answers; }

private:
    void connectOne(int i);

    quint16 m_port;
    QStringList m_tokens;
    int m_opened = 0;
    std::atomic<int> m_sent = 0;
    std::atomic<int> m_answers = 0;
    std::atomic<int> m_failures = 0;
};
