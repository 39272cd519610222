#pragma once

#include "fakes/fakeplatform.h"
#include "fakes/fakeuiservices.h"
#include "sitelist/filechannel.h"
#include "sitelist/sitefiles.h"
#include "sitelist/sitelistmodel.h"

#include <QFile>
#include <QStringList>

#include <memory>

namespace zd::test {

// Saves \a items over \a target, answering Yes to the overwrite question;
// the boxes the user saw.
inline std::unique_ptr<FakeUiServices> saveTo(const QString &target, const QStringList &items)
{
    auto ui = std::make_unique<FakeUiServices>();
    FakeFileDialogs dialogs;
    FileChannel channel;
    SiteListModel model;
    for (const QString &item : items)
        model.appendSite(item);
    dialogs.nextSave.push_back(target);
    ui->nextAnswers.push_back(MessageResult::Yes);
    saveListAsTextFile(*ui, dialogs, channel, model);
    return ui;
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace zd::test
