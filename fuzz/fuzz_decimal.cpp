// The settings number grammar against a plain reference: an optional sign,
// digits with at most one point (at least one digit), an optional exponent;
// nothing else, not even a final line feed. What it accepts, Qt reads as a
// finite number or as one too large; stored Booleans follow it.
#include "core/optionchoices.h"
#include "fuzzcheck.h"

#include <QString>

#include <cmath>

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool referenceDecimal(const QString &text)
{
    qsizetype i = 0;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    qsizetype digits = 0;
    while (i < text.size() && isDigit(text[i]))
        ++i, ++digits;
    if (i < text.size() && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < text.size() && isDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        ++i;
        if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
            ++i;
        qsizetype exponent = 0;
        while (i < text.size() && isDigit(text[i]))
            ++i, ++exponent;
        if (exponent == 0)
            return false;
    }
    return i == text.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const bool plain = zd::isPlainDecimal(text);
    ZD_FUZZ_CHECK(plain == referenceDecimal(text));
    if (plain) {
        bool ok = false;
        const double value = text.toDouble(&ok);
        ZD_FUZZ_CHECK(!std::isnan(value));
    }
    const std::optional<bool> stored = zd::parseStoredBool(text);
    const QString trimmed = text.trimmed();
    const bool word = trimmed.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0
                      || trimmed.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0;
    if (!word && !zd::isPlainDecimal(trimmed))
        ZD_FUZZ_CHECK(!stored);
    return 0;
}
