// Shows the preferences window on sample settings (pushes on, connected to the official bot, an
// own bot filled in) and saves what the window draws to the PNG named on the command line.
#include "preferences/PreferencesWindow.h"
#include "preferences/PreferencesWindowController.h"
#include "tests/support/FakePlatform.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: korvella_preferences_screenshot OUTPUT.png\n", stderr);
        return 2;
    }
    FakePlatform fake;
    fake.settings.setBool("tgEnabled", true);
    fake.settings.setString("tgOfficialChatID", "123456789");
    fake.settings.setString("tgBotToken", "123456:ABC-DEF1234ghIkl-zyx57W2v1u123ew11");
    fake.settings.setInteger("tgIntervalMinutes", 60);
    fake.settings.setBool("stopOnUnplug", true);
    fake.settings.setInteger("stopBelowBatteryPercent", 20);
    PreferencesWindowController controller(fake.platform());
    controller.showWindow();
    int status = 1;
    // Let the window be mapped and painted before it is grabbed.
    QTimer::singleShot(1500, &app, [&] {
        const QPixmap shot = controller.window()->grab();
        status = shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
        std::printf("%dx%d\n", shot.width(), shot.height());
        app.quit();
    });
    app.exec();
    return status;
}
