#pragma once

#include <QByteArray>
#include <QString>

// Picks the Qt platform plugin before the application object exists: QGuiApplication aborts the
// process when no plugin loads, so the choice is checked here, where a plain word and exit
// status 1 are still possible.
class GuiPlatformChooser final {
public:
    struct Choice {
        // For QT_QPA_PLATFORM, e.g. "wayland;xcb"; empty when nothing usable was found.
        QByteArray platforms;
        // Why nothing can be shown, one line for the user; empty when a platform was found.
        QString error;
    };

    // Honours a platform the user named (QT_QPA_PLATFORM or -platform). Otherwise offers Wayland
    // first and X11 as the fallback, each only when its plugin is installed and its display
    // answers.
    static Choice choose(int argc, char **argv);

    // During construction of the application: turns Qt's fatal "no platform plugin" abort into
    // the given line on stderr and exit status 1, until restoreMessageHandler().
    static void exitCleanlyOnPluginFailure(const QString &line);
    static void restoreMessageHandler();

private:
    static bool pluginInstalled(const QString &prefix);
    static bool waylandAnswers(const QString &display);
    static bool x11Answers();
};
