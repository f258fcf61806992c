#include "preferences/ProtectiveRulesGroup.h"

#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "preferences/PlainText.h"
#include "sleep/ProtectiveRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {
// The inline spacing and header font of the window's other groups.
constexpr int kInlineSpacing = 8;
constexpr int kHeaderPixelSize = 12;

QString batteryTitle(int percent) {
    return percent == 0 ? QStringLiteral("關閉") : QStringLiteral("低於 %1%").arg(percent);
}
} // namespace

ProtectiveRulesGroup::ProtectiveRulesGroup(SettingsStore &settings, QVBoxLayout *stack,
                                           std::function<void()> onChanged, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_stack(stack)
    , m_onChanged(std::move(onChanged)) {
    QLabel *header = PlainText::label(QStringLiteral("防睡眠保護"));
    QFont font = header->font();
    font.setPixelSize(kHeaderPixelSize);
    font.setBold(true);
    header->setFont(font);
    addRow(header);
    m_stopOnUnplug =
        addCheckbox(QStringLiteral("拔除電源時結束防睡眠"), SettingsKeys::stopOnUnplug);
    addBatteryRow();
    m_notify = addCheckbox(QStringLiteral("防睡眠自動結束時通知我"), SettingsKeys::notifyWhenEnded);
    m_keepScreenOn =
        addCheckbox(QStringLiteral("防睡眠期間螢幕也保持開啟"), SettingsKeys::keepScreenOn);
}

QCheckBox *ProtectiveRulesGroup::addCheckbox(const QString &title, const QString &key) {
    auto *box = new QCheckBox;
    // A click leaves an edit in another field going, as the window's other checkboxes do.
    box->setFocusPolicy(Qt::TabFocus);
    PlainText::setButtonTitle(box, title);
    box->setChecked(m_settings.boolForKey(key));
    connect(box, &QCheckBox::clicked, this, [this, key](bool checked) {
        m_settings.setBool(key, checked);
        m_onChanged();
    });
    addRow(box);
    return box;
}

void ProtectiveRulesGroup::addBatteryRow() {
    m_battery = new QComboBox;
    m_battery->setFocusPolicy(Qt::TabFocus);
    for (const int percent : ProtectiveRules::kBatteryChoices)
        m_battery->addItem(batteryTitle(percent), percent);
    // A threshold written by hand that the list lacks is shown as it is, not as another one.
    const int stored = ProtectiveRules::stopBelowBatteryPercent(m_settings);
    if (m_battery->findData(stored) < 0)
        m_battery->addItem(batteryTitle(stored), stored);
    m_battery->setCurrentIndex(m_battery->findData(stored));
    connect(m_battery, &QComboBox::activated, this, [this](int index) {
        m_settings.setInteger(SettingsKeys::stopBelowBatteryPercent,
                              m_battery->itemData(index).toInt());
        m_onChanged();
    });
    auto *row = new QWidget;
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(kInlineSpacing);
    rowLayout->addWidget(PlainText::label(QStringLiteral("電量過低時結束防睡眠")));
    rowLayout->addWidget(m_battery);
    addRow(row);
}

void ProtectiveRulesGroup::addRow(QWidget *row) {
    m_stack->addWidget(row, 0, Qt::AlignLeft);
}
