#pragma once

#include <QString>

// Where the tray application answers on the session bus.
namespace BusNames {
inline const QString service = QStringLiteral("io.korvella.Korvella");
inline const QString objectPath = QStringLiteral("/io/korvella/Korvella");
inline const QString interface = QStringLiteral("io.korvella.Korvella1");
} // namespace BusNames
