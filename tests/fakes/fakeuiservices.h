#pragma once

#include "core/errorreport.h"
#include "core/uiservices.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

namespace zd::test {

/// Scripted user-interface services: records every box, answers from queues.
class FakeUiServices final : public UiServices
{
public:
    struct Shown
    {
        QString prompt;
        MessageStyle style;
        QString title; // as passed; empty means the application title
    };

    std::vector<Shown> messages;
    QStringList inputPrompts;
    QStringList inputDefaults;
    std::deque<QString> nextInputs;        // "" when empty (Cancel)
    std::deque<MessageResult> nextAnswers; // Yes when empty
    QString applicationTitle;
    int pumps = 0;
    qint64 idledMs = 0;
    /// Runs at every pump or idle, e.g. to click another button mid-loop.
    std::function<void()> onPump;
    /// Advanced by idle(), when set.
    std::function<void(int)> onIdle;
    /// Runs when a box is shown, before it is recorded.
    std::function<void(const QString &prompt)> onMessage;

    /// Files that loadCustomPointer() accepts as pictures.
    QStringList pointerImages;
    QString customPointer;
    bool stopRequested = false;
    /// Plain boxes (not error reports) that fail with Failure("Boom") next.
    int failingMessages = 0;
    /// Pumps, waits and boxes left before a stop is requested; -1 never.
    int pumpsBeforeStop = -1;

    MessageResult messageBox(const QString &prompt, MessageStyle style, const QString &title) override
    {
        throwIfStopped();
        if (failingMessages > 0 && title.isEmpty()) {
            --failingMessages;
            throw Failure(QStringLiteral("Boom"));
        }
        if (onMessage)
            onMessage(prompt);
        messages.push_back({prompt, style, title});
        if (style != MessageStyle::YesNo)
            return MessageResult::Ok;
        if (nextAnswers.empty())
            return MessageResult::Yes;
        const MessageResult answer = nextAnswers.front();
        nextAnswers.pop_front();
        return answer;
    }
    QString inputBox(const QString &prompt, const QString &defaultText) override
    {
        throwIfStopped();
        inputPrompts << prompt;
        inputDefaults << defaultText;
        if (nextInputs.empty())
            return {};
        const QString text = nextInputs.front();
        nextInputs.pop_front();
        return text;
    }
    void pumpEvents() override
    {
        throwIfStopped();
        ++pumps;
        if (onPump)
            onPump();
        throwIfStopped();
    }
    void idle(int ms) override
    {
        throwIfStopped();
        idledMs += ms;
        if (onIdle)
            onIdle(ms);
        if (onPump)
            onPump();
        throwIfStopped();
    }
    bool loadCustomPointer(const QString &path) override
    {
        if (!pointerImages.contains(path))
            return false;
        customPointer = path;
        return true;
    }
    void requestStop() override { stopRequested = true; }
    void setApplicationTitle(const QString &title) override { applicationTitle = title; }
    Pointer pointer() const override { return m_pointer; }
    void setPointer(Pointer pointer) override
    {
        m_pointer = pointer;
        pointerHistory.push_back(pointer);
    }
    std::vector<Pointer> pointerHistory;

    QStringList errorReports() const
    {
        QStringList reports;
        for (const Shown &shown : messages) {
            if (shown.title == QLatin1String("Application Error"))
                reports << shown.prompt;
        }
        return reports;
    }
    /// The step label of each error report, in order.
    QStringList reportLabels() const
    {
        QStringList labels;
        for (const QString &report : errorReports())
            labels << report.section(QStringLiteral("at line "), 1).section(QLatin1Char('\r'), 0, 0);
        return labels;
    }
    QStringList plainMessages() const
    {
        QStringList texts;
        for (const Shown &shown : messages) {
            if (shown.title.isEmpty())
                texts << shown.prompt;
        }
        return texts;
    }

private:
    void throwIfStopped()
    {
        if (pumpsBeforeStop == 0)
            stopRequested = true;
        else if (pumpsBeforeStop > 0)
            --pumpsBeforeStop;
        if (stopRequested)
            throw StopRequested();
    }

    Pointer m_pointer = Pointer::Default;
};

} // namespace zd::test
