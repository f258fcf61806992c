#pragma once

#include <QHash>
#include <QString>
#include <optional>

// The few pieces of the Desktop Entry format an autostart entry needs.
namespace DesktopEntry {

using Entries = QHash<QString, QString>; // keys of the [Desktop Entry] group, values unescaped

Entries parse(const QString &text);

// The Exec value that starts `program` with no arguments: quoted where the format requires,
// with '%' doubled and the string value's own escapes applied.
QString execValue(const QString &program);

// The program an (unescaped) Exec value starts; nothing when it cannot be read.
std::optional<QString> execProgram(const QString &exec);

} // namespace DesktopEntry
