#include "core/textcodec.h"

#include <QLocale>

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace zd {

QString decodeBytes(QByteArrayView bytes)
{
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return (static_cast<unsigned char>(c) & 0x80) == 0; });
    if (ascii)
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
