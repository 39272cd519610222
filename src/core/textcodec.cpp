#include "core/textcodec.h"

#include <QLocale>

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace zd {

QString decodeBytes(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

QString groupedNumber(qint64 number)
{
    return QLocale(QLocale::English).toString(number);
}

} // namespace zd
