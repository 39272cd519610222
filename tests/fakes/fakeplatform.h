#pragma once

#include "sitelist/clipboardexport.h"
#include "sitelist/filedialogs.h"
#include "core/settingsstore.h"

#include <QMap>
#include <deque>
#include <vector>

namespace zd::test {

/// Answers the next open or save dialog from a queue; "" when empty.
class FakeFileDialogs final : public FileDialogs
{
public:
    std::deque<QStringList> nextOpen;
    std::deque<QString> nextSave;
    std::vector<DialogSetup> shown;

    QStringList showOpen(const DialogSetup &setup) override { return next(nextOpen, setup); }
    QString showSave(const DialogSetup &setup) override { return next(nextSave, setup); }

private:
    template<class Answer>
    Answer next(std::deque<Answer> &queue, const DialogSetup &setup)
    {
        shown.push_back(setup);
        if (queue.empty())
            return {};
        Answer answer = queue.front();
        queue.pop_front();
        return answer;
    }
};

/// A clipboard that can stay locked for a number of attempts.
class FakeClipboard final : public Clipboard
{
public:
    QString text = QStringLiteral("old content");
    /// What was last placed, as placed.
    QByteArray bytes;
    int lockedAttempts = 0;
    int clearCalls = 0;
    int setCalls = 0;

    bool clear() override
    {
        ++clearCalls;
        if (lockedAttempts > 0) {
            --lockedAttempts;
            return false;
        }
        text.clear();
        return true;
    }
    /// What a paste finds.
    QString pasteText;
    QString readText() override { return pasteText; }
    bool setText(const QByteArray &utf8) override
    {
        ++setCalls;
        if (lockedAttempts > 0) {
            --lockedAttempts;
            return false;
        }
        bytes = utf8;
        text = QString::fromUtf8(utf8);
        return true;
    }
};

/// Settings in memory, with a switch that makes writes fail.
class MemorySettingsStore final : public SettingsStore
{
public:
    QMap<QString, QString> values;
    bool failWrites = false;
    std::optional<QString> value(const QString &key) override
    {
        if (!values.contains(key))
            return std::nullopt;
        return values.value(key);
    }
    bool setValue(const QString &key, const QString &value) override
    {
        if (failWrites)
            return false;
        values.insert(key, value);
        return true;
    }
    QString location() const override { return QStringLiteral("/memory/settings.ini"); }
};

} // namespace zd::test
