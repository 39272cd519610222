#include "core/appinfo.h"

namespace zd {

QString applicationTitleFor(const QString &productName)
{
    QString title = productName;
    do {
        const qsizetype space = title.lastIndexOf(QLatin1Char(' '));
        // A name without a space keeps nothing before the (missing) space.
        title = space < 0 ? QString() : title.left(space);
    } while (title.size() > 40);
    return title;
}

} // namespace zd
