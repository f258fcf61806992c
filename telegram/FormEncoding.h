#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// application/x-www-form-urlencoded bodies and query values as the Telegram Bot API and the
// pairing service read them.
namespace FormEncoding {

// The value's UTF-8 bytes with ASCII letters, digits and - . _ ~ ! $ ' ( ) * , ; : @ / ? kept
// and every other byte written as "%XX" (upper-case hex). "&", "=" and "+" are escaped too,
// because a receiver would otherwise split the field there or read "+" as a blank.
QByteArray encodeValue(const QString &value);

// "name=value" pairs joined with "&", in the order given; names are written as they are.
QByteArray body(const QList<QPair<QByteArray, QString>> &fields);

} // namespace FormEncoding
