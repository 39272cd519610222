#pragma once

#include "core/uiservices.h"

#include <QString>

#include <utility>

namespace zd {

/// A run-time failure of a step, with the text the user sees.
class Failure
{
public:
    explicit Failure(QString description) : m_description(std::move(description)) {}
    const QString &description() const { return m_description; }

private:
    QString m_description;
};

/// "in Zentavia2021/08/31.<module>.<procedure> " (note the final space).
QString locationTag(const QString &module, const QString &procedure);

/// The full text of the "Application Error" box.
QString errorReportText(const QString &description, const QString &tag, int label);

void reportError(UiServices &ui, const QString &description, const QString &tag, int label);

/// One reporting procedure: runs its labelled steps; a step that fails is
/// reported with its label and the procedure goes on with the next step.
class Procedure
{
public:
    Procedure(UiServices &ui, QString tag) : m_ui(ui), m_tag(std::move(tag)) {}

    /// Runs one step; false when it failed (and was reported).
    template<class F>
    bool step(int label, F &&body)
    {
        try {
            std::forward<F>(body)();
            return true;
        } catch (const StopRequested &) {
            throw;
        } catch (...) {
            reportCurrent(label);
            return false;
        }
    }

    /// A failing condition counts as held: the guarded block runs.
    template<class F>
    bool condition(int label, F &&test)
    {
        try {
            return std::forward<F>(test)();
        } catch (const StopRequested &) {
            throw;
        } catch (...) {
            reportCurrent(label);
            return true;
        }
    }

private:
    void reportCurrent(int label);

    UiServices &m_ui;
    QString m_tag;
};

} // namespace zd
