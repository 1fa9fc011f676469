#pragma once
// A server program started by a test on a loopback port and stopped when the
// test ends (wlmscpfs, Orthanc, an HL7 receiver). Ready once its port takes a
// connection.
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

class LoopbackServer {
  public:
    // A port nobody listens on right now.
    static quint16 FreePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }
    static bool Installed(const QString& program)
    {
        return !QStandardPaths::findExecutable(program).isEmpty();
    }

    // Starts `program` and waits up to 30 s for `port`; false when it never listens.
    bool Start(const QString& program, const QStringList& args, quint16 port,
               const QString& folder = QString())
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        if (!folder.isEmpty())
            m_process.setWorkingDirectory(folder);
        m_process.start(program, args);
        const QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            if (probe.waitForConnected(500))
                return true;
            QThread::msleep(100);
        }
        return false;
    }
    QString Output() { return QString::fromLocal8Bit(m_process.readAll()); }
    void Stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished();
            }
        }
    }
    ~LoopbackServer() { Stop(); }

  private:
    QProcess m_process;
};
