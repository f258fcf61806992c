#include "PairingCode.h"

#include <QRandomGenerator>

#include <algorithm>

namespace pairing {

namespace PairingCode {

QString generate() {
    constexpr int alphabetSize = sizeof(alphabet) - 1;
    // system() reads the kernel's CSPRNG; bounded() rejects samples, so there is no modulo bias.
    QRandomGenerator *random = QRandomGenerator::system();
    QString code;
    code.reserve(length);
    for (int i = 0; i < length; ++i)
        code.append(QLatin1Char(alphabet[random->bounded(alphabetSize)]));
    return code;
}

QString normalize(const QString &typed) {
    return typed.trimmed().toUpper();
}

bool isWellFormed(const QString &text) {
    if (text.size() != length)
        return false;
    const QLatin1String allowed(alphabet);
    return std::all_of(text.cbegin(), text.cend(), [&](QChar c) { return allowed.contains(c); });
}

} // namespace PairingCode

} // namespace pairing
