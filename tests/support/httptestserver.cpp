#include "support/httptestserver.h"

namespace zd::test {

HttpTestServer::HttpTestServer(const QStringList &extraArgs)
{
    // Under Wine the server cannot be started from here: the test command
    // starts it beside the test and names its port.
    if (const int port = qEnvironmentVariableIntValue("ZD_TEST_HTTP_PORT"); port > 0 && extraArgs.isEmpty()) {
        m_port = port;
        return;
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("python3"), QStringList{QStringLiteral(ZD_HTTP_SERVER)} + extraArgs);
    if (!m_process.waitForStarted(10'000))
        return;
    while (m_process.state() == QProcess::Running && !m_process.canReadLine())
        m_process.waitForReadyRead(10'000);
    m_port = m_process.readLine().trimmed().toInt();
}

HttpTestServer::~HttpTestServer()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(3'000)) {
        m_process.kill();
        m_process.waitForFinished(3'000);
    }
}

QString HttpTestServer::url(const QString &path, const QString &scheme) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(m_port).arg(path);
}

} // namespace zd::test
