// The remote-control readers, on what a chat or a server may send: every message of a getUpdates
// batch lies below the offset that confirms it, a command is a lower-case name, and a command
// addressed to a bot runs only when that bot is ours.
#include "fuzz/FuzzCheck.h"
#include "telegram/RemoteUpdates.h"

#include <QRegularExpression>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const auto batch = RemoteUpdates::parseUpdates(bytes)) {
        for (const RemoteUpdates::ChatMessage &message : batch->messages)
            FUZZ_CHECK(batch->nextOffset && message.updateID < *batch->nextOffset);
    }
    if (const auto commands = RemoteUpdates::parseCommands(bytes)) {
        for (const RemoteUpdates::Command &command : *commands)
            FUZZ_CHECK(!command.name.isEmpty());
    }
    static const QRegularExpression lowerName(QStringLiteral("^[a-z_]+$"));
    static const QRegularExpression blank(QStringLiteral("\\s"));
    const QString text = QString::fromUtf8(bytes);
    if (const auto command = RemoteUpdates::commandFromText(text, QStringLiteral("OurBot"))) {
        FUZZ_CHECK(lowerName.match(command->name).hasMatch());
        const QString head = text.trimmed().section(blank, 0, 0);
        FUZZ_CHECK(!head.contains(u'@') || head.section(u'@', 1).compare(QLatin1String("OurBot"),
                                                                         Qt::CaseInsensitive) == 0);
    }
    return 0;
}
