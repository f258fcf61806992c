#pragma once

#include <QObject>
#include <QString>

// One lock against sleep that some system or desktop service honours. Every call to the service
// is asynchronous: take() returns at once and the answer arrives later as a change of state(),
// so a hung service never freezes the menu. The service drops the lock by itself when the
// process ends.
class InhibitorLock : public QObject {
    Q_OBJECT

public:
    enum class State { released, pending, held, refused };

    using QObject::QObject;

    // Asks for the lock. When it is held already, the lock held so far stays until the new
    // answer arrives, so renewing never leaves a gap.
    virtual void take(const QString &reason) = 0;
    // Gives the lock back; a call still out is given up and what it brings back is returned.
    virtual void release() = 0;
    // Asks the service whether it still has the lock, and takes again what it lost.
    virtual void verify() = 0;
    // How the status line names the held lock, e.g. "logind sleep + lid".
    virtual QString label() const = 0;

    State state() const { return m_state; }

    // How Korvella names itself to the services that list their locks.
    static QString applicationName() { return QStringLiteral("Korvella"); }
    // A service that has not answered by then counts as refusing; its call stays out, and a
    // lock it grants later is given back at once.
    static constexpr int kGiveUpMs = 3000;
    // Long enough for any live service; Qt drops replies that come later, and we must see a late
    // grant to give it back.
    static constexpr int kCallTimeoutMs = 10 * 60 * 1000;

Q_SIGNALS:
    void changed();

protected:
    void setState(State state) {
        if (state == m_state)
            return;
        m_state = state;
        Q_EMIT changed();
    }

private:
    State m_state = State::released;
};
