#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <map>
#include <optional>

// Keep-awake assertions as the power manager offers them: one is created with a type
// ("PreventUserIdleSystemSleep" or "PreventSystemSleep"), a level and a name, and lasts until
// it is released or the process ends. Services may take their time to answer, so an assertion
// can be pending for a while before it holds or fails, and a held one can be lost later.
class PowerAssertions {
public:
    enum class State { pending, held, failed };
    // Told the identifier of an assertion whose state or locks changed after create() returned.
    using Observer = std::function<void(quint32 id)>;

    virtual ~PowerAssertions() = default;
    // Starts taking an assertion and returns its identifier at once, or nothing for a type or
    // level not known. Its state may already be final when this returns.
    virtual std::optional<quint32> create(const QString &type, int level, const QString &name) = 0;
    virtual void release(quint32 id) = 0;
    virtual State state(quint32 id) const = 0;
    // Whether the assertion really keeps the machine up with the lid closed.
    virtual bool holdsLidClosed(quint32 id) const = 0;
    // The locks held right now, for the user, e.g. "logind sleep + lid, GNOME session"; empty
    // when none is.
    virtual QString heldLocks() const = 0;

    // Several holders share one service (the period and the command line's holds), so each
    // registers under its own key and checks the identifier against its own assertions.
    void addObserver(const void *key, Observer observer) { m_observers[key] = std::move(observer); }
    void removeObserver(const void *key) { m_observers.erase(key); }

protected:
    void notify(quint32 id) const {
        // A copy: an observer may release assertions or remove itself while being told.
        const auto observers = m_observers;
        for (const auto &[key, observer] : observers) {
            if (m_observers.count(key))
                observer(id);
        }
    }

private:
    std::map<const void *, Observer> m_observers;
};
