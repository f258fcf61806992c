#pragma once
#include <QString>

namespace pairing {

// Pairing codes: 8 characters from an alphabet without look-alikes (no 0/O, no 1/I/L).
namespace PairingCode {
inline constexpr int length = 8;
inline constexpr char alphabet[] = "23456789ABCDEFGHJKMNPQRSTUVWXYZ";

// A new code from the operating system's cryptographically secure generator.
QString generate();
// What a person typed, made comparable: surrounding whitespace removed, upper case.
QString normalize(const QString &typed);
// True when text (already normalized) could be a code this service issued.
bool isWellFormed(const QString &text);
} // namespace PairingCode

} // namespace pairing
