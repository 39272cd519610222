#include "core/errorreport.h"

#include "core/appinfo.h"

#include <exception>
#include <new>

namespace zd {

QString locationTag(const QString &module, const QString &procedure)
{
    return QStringLiteral("in %1.%2.%3 ").arg(kTagPrefix, module, procedure);
}

QString errorReportText(const QString &description, const QString &tag, int label)
{
    return description + QStringLiteral("\r\n") + tag + QStringLiteral("at line ") + QString::number(label)
           + QStringLiteral("\r\r") + QStringLiteral("Please email screenshot of this message to ")
           + kSupportEmail;
}

void reportError(UiServices &ui, const QString &description, const QString &tag, int label)
{
    ui.messageBox(errorReportText(description, tag, label), MessageStyle::Exclamation,
                  QStringLiteral("Application Error"));
}

void Procedure::reportCurrent(int label)
{
    QString description;
    try {
        throw;
    } catch (const Failure &failure) {
        description = failure.description();
    } catch (const std::bad_alloc &) {
        description = QStringLiteral("Out of memory");
    } catch (const std::exception &e) {
        description = QString::fromLocal8Bit(e.what());
    } catch (...) {
        description = QStringLiteral("Unexpected failure");
    }
    reportError(m_ui, description, m_tag, label);
}

} // namespace zd
