// The form encoder: whatever the text, the body is plain ASCII from the kept set or "%XX", and a
// receiver that splits on '&' and the first '=' gets back exactly the two values.
#include "fuzz/FuzzCheck.h"
#include "telegram/FormEncoding.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace {

bool isKept(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           QByteArrayView("-._~!$'()*,;:@/?").contains(c);
}
bool isUpperHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

void checkEncodedValue(const QByteArray &encoded) {
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%') {
            FUZZ_CHECK(i + 2 < encoded.size());
            FUZZ_CHECK(isUpperHex(encoded[i + 1]) && isUpperHex(encoded[i + 2]));
            i += 2;
        } else {
            FUZZ_CHECK(isKept(encoded[i]));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = input.indexOf('\0');
    const QString chatID = QString::fromUtf8(split < 0 ? input : input.left(split));
    const QString text = split < 0 ? QString() : QString::fromUtf8(input.mid(split + 1));

    const QByteArray encoded = FormEncoding::encodeValue(text);
    checkEncodedValue(encoded);
    FUZZ_CHECK(QByteArray::fromPercentEncoding(encoded) == text.toUtf8());

    const QByteArray body = FormEncoding::body({{"chat_id", chatID}, {"text", text}});
    const QList<QByteArray> fields = body.split('&');
    FUZZ_CHECK(fields.size() == 2);
    FUZZ_CHECK(fields[0].startsWith("chat_id=") && fields[1].startsWith("text="));
    FUZZ_CHECK(QByteArray::fromPercentEncoding(fields[0].mid(8)) == chatID.toUtf8());
    FUZZ_CHECK(QByteArray::fromPercentEncoding(fields[1].mid(5)) == text.toUtf8());
    return 0;
}
