// The window's column of controls, built once, in the order the user reads them.
#include "platform/SettingsStore.h"
#include "preferences/IntervalOption.h"
#include "preferences/PlainText.h"
#include "preferences/PreferencesWindow.h"
#include "preferences/PreferencesWindowController.h"
#include "preferences/ProtectiveRulesGroup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace {
constexpr int kRowSpacing = 16;
constexpr int kInlineSpacing = 8;
constexpr int kFieldWidth = 320;

// Sizes are logical pixels, so the column fits the window on any screen density.
QLabel *styledLabel(const QString &text, int pixelSize, bool bold, bool secondary) {
    QLabel *label = PlainText::label(text);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    label->setFont(font);
    if (secondary)
        label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

// Buttons, checkboxes and pop-ups do not take the focus on a click, so clicking one leaves an
// edit in a field going instead of ending it.
template <typename Control> Control *clickOnly(Control *control) {
    control->setFocusPolicy(Qt::TabFocus);
    return control;
}

QCheckBox *checkbox(const QString &title) {
    auto *box = clickOnly(new QCheckBox);
    PlainText::setButtonTitle(box, title);
    return box;
}

QPushButton *pushButton(const QString &title) {
    auto *button = clickOnly(new QPushButton);
    PlainText::setButtonTitle(button, title);
    return button;
}

QWidget *inlineRow(const QString &title, QComboBox *popup) {
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kInlineSpacing);
    layout->addWidget(PlainText::label(title));
    layout->addWidget(popup);
    return row;
}

QComboBox *languagePopup() {
    auto *popup = clickOnly(new QComboBox);
    popup->addItem(QStringLiteral("繁體中文"));
    popup->addItem(QStringLiteral("English（即將推出）"));
    if (auto *model = qobject_cast<QStandardItemModel *>(popup->model()))
        model->item(1)->setEnabled(false);
    popup->setCurrentIndex(0);
    return popup;
}

QString versionText(const QString &version) {
    return QStringLiteral("Korvella (Dremlo) v") +
           (version.isEmpty() ? QStringLiteral("開發版") : version);
}
} // namespace

void PreferencesWindowController::buildContent() {
    QWidget *column = m_window ? m_window->column() : nullptr;
    if (!column)
        return;
    auto *stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(kRowSpacing);
    addLoginAndLanguageRows(stack);
    addDivider(stack);
    addTelegramRows(stack);
    addDivider(stack);
    addOwnBotRows(stack);
    addDivider(stack);
    new ProtectiveRulesGroup(
        *m_platform.settings, stack,
        [this] {
            if (onProtectiveRulesChanged)
                onProtectiveRulesChanged();
        },
        this);
    addDivider(stack);
    addAboutRows(stack);
}

QFrame *PreferencesWindowController::addDivider(QVBoxLayout *stack) {
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    stack->addWidget(line); // no alignment: it spans the whole column
    return line;
}

void PreferencesWindowController::addLoginAndLanguageRows(QVBoxLayout *stack) {
    m_loginItemCheckbox = checkbox(QStringLiteral("開機自動啟動"));
    connect(m_loginItemCheckbox, &QCheckBox::clicked, this,
            &PreferencesWindowController::toggleLoginItem);
    stack->addWidget(m_loginItemCheckbox, 0, Qt::AlignLeft);
    refreshLoginItemStatusAsync();
    stack->addWidget(inlineRow(QStringLiteral("語言"), languagePopup()), 0, Qt::AlignLeft);
}

void PreferencesWindowController::addTelegramRows(QVBoxLayout *stack) {
    stack->addWidget(styledLabel(QStringLiteral("Telegram 狀態推播"), 12, true, false), 0,
                     Qt::AlignLeft);
    m_tgEnabledCheckbox = checkbox(QStringLiteral("定時推播目前狀態"));
    m_tgEnabledCheckbox->setChecked(m_platform.settings->boolForKey(tgEnabledKey));
    connect(m_tgEnabledCheckbox, &QCheckBox::clicked, this,
            &PreferencesWindowController::toggleTelegramEnabled);
    stack->addWidget(m_tgEnabledCheckbox, 0, Qt::AlignLeft);

    m_connectButton = pushButton(QStringLiteral("連接 Telegram（官方 Bot，推薦）"));
    connect(m_connectButton, &QPushButton::clicked, this,
            &PreferencesWindowController::connectOfficialBot);
    stack->addWidget(m_connectButton, 0, Qt::AlignLeft);
    m_connectionStatusLabel = styledLabel(QString(), 11, false, true);
    stack->addWidget(m_connectionStatusLabel, 0, Qt::AlignLeft);
    m_officialTestButton = pushButton(QStringLiteral("傳送測試訊息（官方 Bot）"));
    connect(m_officialTestButton, &QPushButton::clicked, this,
            &PreferencesWindowController::sendOfficialTestMessage);
    stack->addWidget(m_officialTestButton, 0, Qt::AlignLeft);
    updateConnectionStatusLabel();

    m_remoteControlCheckbox = checkbox(QStringLiteral("允許從 Telegram 遙控"));
    m_remoteControlCheckbox->setChecked(m_platform.settings->boolForKey(tgRemoteControlKey));
    connect(m_remoteControlCheckbox, &QCheckBox::clicked, this, [this](bool on) {
        m_platform.settings->setBool(tgRemoteControlKey, on);
        runSettingsChanged();
    });
    stack->addWidget(m_remoteControlCheckbox, 0, Qt::AlignLeft);
    m_remoteControlProblemLabel = styledLabel(QString(), 11, false, true);
    m_remoteControlProblemLabel->setWordWrap(true);
    m_remoteControlProblemLabel->hide();
    stack->addWidget(m_remoteControlProblemLabel); // full width, so a long line wraps
}

QLineEdit *PreferencesWindowController::addOwnBotField(QVBoxLayout *stack,
                                                       const QString &placeholder,
                                                       const QString &key) {
    auto *field = new QLineEdit;
    field->setPlaceholderText(placeholder);
    field->setText(m_platform.settings->stringValue(key).value_or(QString()));
    field->setFixedWidth(kFieldWidth);
    field->installEventFilter(this);
    connect(field, &QLineEdit::returnPressed, this,
            &PreferencesWindowController::controlTextDidEndEditing);
    stack->addWidget(field, 0, Qt::AlignLeft);
    return field;
}

void PreferencesWindowController::addOwnBotRows(QVBoxLayout *stack) {
    stack->addWidget(styledLabel(QStringLiteral("進階：使用自己的 Bot"), 11, false, true), 0,
                     Qt::AlignLeft);
    m_tgTokenField =
        addOwnBotField(stack, QStringLiteral("Bot Token（例如 123456:ABC-DEF...）"), tgBotTokenKey);
    m_tgChatIDField =
        addOwnBotField(stack, QStringLiteral("Chat ID（例如 -1001234567890）"), tgChatIDKey);
    QPushButton *testButton = pushButton(QStringLiteral("傳送測試訊息"));
    connect(testButton, &QPushButton::clicked, this, &PreferencesWindowController::sendTestMessage);
    stack->addWidget(testButton, 0, Qt::AlignLeft);

    m_tgIntervalPopup = clickOnly(new QComboBox);
    for (const IntervalOption &option : intervalOptions())
        m_tgIntervalPopup->addItem(option.title);
    m_tgIntervalPopup->setCurrentIndex(
        intervalIndexFor(m_platform.settings->integerForKey(tgIntervalMinutesKey)));
    connect(m_tgIntervalPopup, &QComboBox::activated, this,
            &PreferencesWindowController::intervalChanged);
    stack->addWidget(inlineRow(QStringLiteral("推播間隔"), m_tgIntervalPopup), 0, Qt::AlignLeft);
}

void PreferencesWindowController::addAboutRows(QVBoxLayout *stack) {
    stack->addWidget(styledLabel(versionText(m_config.version), 13, true, false), 0, Qt::AlignLeft);
    QLabel *footer =
        styledLabel(QStringLiteral("免費使用。若這個小工具對你有幫助，歡迎透過贊助支持後續開發。"),
                    11, false, true);
    footer->setWordWrap(true);
    stack->addWidget(footer); // the column's full width, wrapped inside it
}
