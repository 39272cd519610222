#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace zd::test {

/// The Python test server on 127.0.0.1, stopped when this goes away; or,
/// where $ZD_TEST_HTTP_PORT names a port, the one already serving there.
class HttpTestServer
{
public:
    explicit HttpTestServer(const QStringList &extraArgs = {});
    ~HttpTestServer();
    bool isRunning() const { return m_port > 0; }
    QString url(const QString &path, const QString &scheme = QStringLiteral("http")) const;

private:
    QProcess m_process;
    int m_port = 0;
};

} // namespace zd::test
