#pragma once

class Application;
class AlertPresenter;
class UrlOpener;
class PowerAssertions;
class PowerSourceInfo;
class SettingsStore;
class Clock;
class LoginItemService;
class DesktopNotifier;

// The platform services the logic uses, handed in by main() (real backends) or by tests
// (fakes, or real backends against mock services). Not owned.
struct Platform {
    Application *application = nullptr;
    AlertPresenter *alerts = nullptr;
    UrlOpener *urlOpener = nullptr;
    PowerAssertions *powerAssertions = nullptr;
    PowerSourceInfo *powerSource = nullptr;
    SettingsStore *settings = nullptr;
    Clock *clock = nullptr;
    LoginItemService *loginItems = nullptr;
    DesktopNotifier *notifier = nullptr; // none: no notices
};
