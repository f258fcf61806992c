#pragma once

#include <QObject>
#include <functional>

class QCheckBox;
class QComboBox;
class QVBoxLayout;
class QWidget;
class SettingsStore;

// The window's group of protective rules: stop on unplug, stop on a low battery, a notice when
// a period ends by itself, and keeping the screen on. Shows the stored values when built and
// writes each one the moment the user changes it; the rules read them when they act.
class ProtectiveRulesGroup final : public QObject {
    Q_OBJECT

public:
    // Appends the group's rows to the window's column; onChanged runs after every write.
    ProtectiveRulesGroup(SettingsStore &settings, QVBoxLayout *stack,
                         std::function<void()> onChanged, QObject *parent = nullptr);

    QCheckBox *stopOnUnplugCheckbox() const { return m_stopOnUnplug; }
    QComboBox *batteryPopup() const { return m_battery; }
    QCheckBox *notifyCheckbox() const { return m_notify; }
    QCheckBox *keepScreenOnCheckbox() const { return m_keepScreenOn; }

private:
    QCheckBox *addCheckbox(const QString &title, const QString &key);
    void addBatteryRow();
    void addRow(QWidget *row);

    SettingsStore &m_settings;
    QVBoxLayout *m_stack;
    std::function<void()> m_onChanged;
    QCheckBox *m_stopOnUnplug = nullptr;
    QComboBox *m_battery = nullptr;
    QCheckBox *m_notify = nullptr;
    QCheckBox *m_keepScreenOn = nullptr;
};
