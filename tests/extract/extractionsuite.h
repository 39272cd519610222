#pragma once

#include "fakes/fakeplatform.h"
#include "fakes/fakeuiservices.h"
#include "sitelist/sitelistmodel.h"
#include "support/httptestserver.h"

#include <QFile>
#include <QObject>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

/// What the extraction suites share: the test web server, a private
/// temporary folder as TEMP, and one extraction's fakes and list.
class ExtractionSuite : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { qputenv("TEMP", QFile::encodeName(m_temp.path())); }

protected:
    void startServer()
    {
        m_server = std::make_unique<zd::test::HttpTestServer>();
        QVERIFY(m_server->isRunning());
    }

    struct Run
    {
        zd::test::FakeUiServices ui;
        zd::test::FakeFileDialogs dialogs;
        zd::SiteListModel list;
    };
    std::unique_ptr<zd::test::HttpTestServer> m_server;
    QTemporaryDir m_temp;
};
