#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>

class PowerAssertions;

// Holds at most one keep-awake assertion. A new one is asked for while the old one still holds:
// the old one is given up only once the new one holds, and stays when the new one is refused, so
// replacing never leaves the machine without a lock.
class SleepPreventer final {
public:
    enum class Mode {
        userIdle, // the system may not sleep for idleness; the display may
        system    // the system may not sleep at all, lid closed included
    };
    enum class Outcome {
        taken,   // the asked-for assertion holds (and replaced the old one)
        refused, // the asked-for assertion could not be taken; the old one, if any, stays
        lost,    // the held assertion holds nothing any more and was released
        changed  // the held assertion still holds, with other locks
    };
    using Listener = std::function<void(Outcome)>;

    explicit SleepPreventer(PowerAssertions &assertions);
    ~SleepPreventer();

    // Asks for an assertion of `mode`. The outcome goes to the listener, before this returns
    // when the platform answers at once. False only when it was refused at once.
    bool start(Mode mode, const QString &reason);
    // Releases the held assertion and gives up the one asked for.
    void stop();

    void setListener(Listener listener) { m_listener = std::move(listener); }
    bool isActive() const { return m_isActive; }
    bool isTaking() const { return m_pendingID.has_value(); }
    quint32 assertionID() const { return m_assertionID; }
    // The held assertion keeps the machine up with the lid closed.
    bool holdsLidClosed() const;

    static QString assertionType(Mode mode);

private:
    void assertionChanged(quint32 id);
    void tell(Outcome outcome);

    // The power manager's level for an assertion that is on.
    static constexpr int kAssertionLevelOn = 255;

    PowerAssertions &m_assertions;
    Listener m_listener;
    std::optional<quint32> m_pendingID;
    quint32 m_assertionID = 0;
    bool m_isActive = false;
};
