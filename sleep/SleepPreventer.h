#pragma once

#include <QString>
#include <QtGlobal>

class PowerAssertions;

// Holds at most one keep-awake assertion; taking a new one gives up the old one first.
class SleepPreventer final {
public:
    enum class Mode {
        userIdle, // the system may not sleep for idleness; the display may
        system    // the system may not sleep at all, lid closed included
    };

    explicit SleepPreventer(PowerAssertions &assertions);

    bool start(Mode mode, const QString &reason);
    void stop();

    bool isActive() const { return m_isActive; }
    quint32 assertionID() const { return m_assertionID; }

    static QString assertionType(Mode mode);

private:
    // The power manager's level for an assertion that is on.
    static constexpr int kAssertionLevelOn = 255;

    PowerAssertions &m_assertions;
    quint32 m_assertionID = 0;
    bool m_isActive = false;
};
