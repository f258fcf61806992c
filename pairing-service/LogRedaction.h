#pragma once
#include <QString>
#include <QStringList>

namespace pairing {

// Every log line of the process goes through here: secrets (the bot token, the webhook
// secret) are replaced before anything is written, whichever code produced the line.
namespace LogRedaction {
void install(const QStringList &secrets);
// `text` with each secret, plain or percent-encoded as in a URL, replaced by "<redacted>".
QString redact(QString text, const QStringList &secrets);
} // namespace LogRedaction

} // namespace pairing
