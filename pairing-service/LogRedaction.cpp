#include "LogRedaction.h"

#include <QUrl>

#include <cstdio>

namespace pairing {

namespace LogRedaction {
namespace {

QStringList &installedSecrets() {
    static QStringList secrets;
    return secrets;
}

void writeLine(QtMsgType type, const QMessageLogContext &, const QString &message) {
    static const char *const levels[] = {"debug", "warning", "critical", "fatal", "info"};
    const QByteArray line = redact(message, installedSecrets()).toLocal8Bit();
    std::fprintf(stderr, "%s: %s\n", levels[type], line.constData());
    std::fflush(stderr);
}

} // namespace

void install(const QStringList &secrets) {
    installedSecrets() = secrets;
    qInstallMessageHandler(writeLine);
}

QString redact(QString text, const QStringList &secrets) {
    for (const QString &secret : secrets) {
        if (secret.isEmpty())
            continue;
        text.replace(secret, QStringLiteral("<redacted>"));
        const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(secret));
        if (encoded != secret)
            text.replace(encoded, QStringLiteral("<redacted>"));
    }
    return text;
}

} // namespace LogRedaction

} // namespace pairing
