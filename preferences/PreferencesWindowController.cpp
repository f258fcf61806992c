#include "preferences/PreferencesWindowController.h"

#include "platform/AlertPresenter.h"
#include "platform/Application.h"
#include "preferences/PreferencesWindow.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>

PreferencesWindowController::PreferencesWindowController(const Platform &platform,
                                                         const PreferencesConfig &config,
                                                         QObject *parent)
    : QObject(parent)
    , m_platform(platform)
    , m_config(config)
    , m_loginItemManager(platform.loginItems)
    , m_telegramNotifier(m_network, config.telegramApiBase, this)
    , m_pairingClient(m_network, config.pairingBaseUrl, this)
    , m_pairing(m_pairingClient, *platform.settings, this)
    , m_window(std::make_unique<PreferencesWindow>([this] { windowWillClose(); })) {
    // One worker: changes and reads of the login item never overlap.
    m_loginItemPool.setMaxThreadCount(1);
    m_window->setWindowTitle(QStringLiteral("Korvella 偏好設定"));
    m_window->centerOnScreen();
    buildContent();
    connectPairing();
    // Quitting never gets to close the window: keep what is being typed all the same.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (isEditingField())
            saveTelegramFields();
    });
}

// Login-item work not yet started is dropped; work under way finishes before the controller goes.
PreferencesWindowController::~PreferencesWindowController() {
    m_loginItemPool.clear();
    m_loginItemPool.waitForDone();
}

void PreferencesWindowController::showWindow() {
    m_window->fitHeightToContent();
    m_window->centerOnScreen();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void PreferencesWindowController::windowWillClose() {
    if (isEditingField())
        controlTextDidEndEditing();
    m_platform.application->setActivationPolicy(Application::ActivationPolicy::Accessory);
}

// A field is being edited while it holds the window's focus: clicks on buttons and checkboxes
// leave the focus where it is, as they do not take it.
bool PreferencesWindowController::isEditingField() const {
    QWidget *focus = m_window->focusWidget();
    return focus && (focus == m_tgTokenField || focus == m_tgChatIDField);
}

// The end of an edit is Return (see the fields' returnPressed) or the field losing the focus to
// another control. Switching to another window or opening a pop-up leaves the edit going.
bool PreferencesWindowController::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::FocusOut &&
        (watched == m_tgTokenField || watched == m_tgChatIDField)) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            controlTextDidEndEditing();
    }
    return QObject::eventFilter(watched, event);
}

void PreferencesWindowController::showRemoteControlProblem(const QString &problem) {
    if (!m_remoteControlProblemLabel)
        return;
    m_remoteControlProblemLabel->setText(problem);
    m_remoteControlProblemLabel->setVisible(!problem.isEmpty());
    if (m_window->isVisible())
        m_window->fitHeightToContent();
}

void PreferencesWindowController::runSettingsChanged() {
    if (onTelegramSettingsChanged)
        onTelegramSettingsChanged();
}

void PreferencesWindowController::showAlert(const QString &message, const QString &informative) {
    m_platform.alerts->run(Alert{Alert::Style::Informational, message, informative, {}});
}
