// korvella-pairing: the pairing service and the official bot behind Korvella's
// "connect Telegram" button. Configuration: KORVELLA_PAIRING_* variables, from the environment
// or a file given with --config (the environment wins).
#include "Clock.h"
#include "LogRedaction.h"
#include "PairingService.h"
#include "ServiceConfig.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace pairing;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    // Nothing else is safe inside a signal handler; the event loop reads the byte and quits.
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

// Every device waiting for commands holds a connection, far more than the usual soft limit of
// 1024 open files; the hard limit is what the administrator allows.
void raiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

void quitOnTermination(QCoreApplication &app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        qInfo("stopping");
        app.quit();
    });
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvella-pairing"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVELLA_PAIRING_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Korvella pairing service and official bot.\n\nSettings (environment "
                       "variables, or KEY=VALUE lines in the --config file):\n") +
        Config::keysHelp());
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption configOption(QStringLiteral("config"),
                                          QStringLiteral("Read settings from <file>."),
                                          QStringLiteral("file"));
    parser.addOption(configOption);
    parser.process(app);

    QMap<QString, QString> values;
    if (parser.isSet(configOption)) {
        QString error;
        const auto fromFile = Config::fromFile(parser.value(configOption), &error);
        if (!fromFile) {
            std::fprintf(stderr, "korvella-pairing: %s\n", qPrintable(error));
            return 2;
        }
        values = *fromFile;
    }
    values.insert(Config::fromEnvironment());
    QStringList errors;
    const auto config = Config::build(values, &errors);
    if (!config) {
        for (const QString &error : std::as_const(errors))
            std::fprintf(stderr, "korvella-pairing: %s\n", qPrintable(error));
        return 2;
    }
    LogRedaction::install({config->botToken, config->webhookSecret});

    raiseOpenFileLimit();
    SystemClock clock;
    PairingService service(*config, clock);
    QString error;
    if (!service.start(&error)) {
        qCritical("%s", qPrintable(error));
        return 1;
    }
    quitOnTermination(app);
    return app.exec();
}
