#include "telegram/FormEncoding.h"

namespace FormEncoding {

QByteArray encodeValue(const QString &value) {
    // Unreserved characters are never escaped; these are the rest of the query set that
    // receivers take literally inside a value.
    static const QByteArray kKept = QByteArrayLiteral("!$'()*,;:@/?");
    return value.toUtf8().toPercentEncoding(kKept);
}

QByteArray body(const QList<QPair<QByteArray, QString>> &fields) {
    QByteArray joined;
    for (const auto &[name, value] : fields) {
        if (!joined.isEmpty())
            joined += '&';
        joined += name + '=' + encodeValue(value);
    }
    return joined;
}

} // namespace FormEncoding
