#pragma once
// A throw-away PostgreSQL server for the tests: initdb and pg_ctl of the
// installed PostgreSQL in a temporary folder, reachable only through a socket
// in that folder, stopped when the test process ends. PostgreSQL refuses to
// run as root; a root test run starts it as the "postgres" account.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>
#include <unistd.h>

class PgTestServer {
public:
    // The one server of the test process, started on first use.
    static PgTestServer& Shared()
    {
        static PgTestServer server;
        return server;
    }

    bool Running() const { return m_running; }
    QString Error() const { return m_error; }

    // A new empty database on the server; its connection URI (empty on failure).
    QString NewDatabase()
    {
        if (!m_running)
            return QString();
        const QString name = QString("tav_test_%1").arg(++m_databases);
        return runAdmin("CREATE DATABASE " + name) ? Uri(name) : QString();
    }

    QString Uri(const QString& database) const
    {
        return QString("postgresql:///%1?host=%2&port=%3&user=tav")
            .arg(database, m_dir->path())
            .arg(kPort);
    }

    // Runs one statement in the server's maintenance database.
    bool runAdmin(const QString& sql)
    {
        const QString connection = "tav-test-admin";
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", connection);
            db.setHostName(m_dir->path());
            db.setPort(kPort);
            db.setDatabaseName("postgres");
            db.setUserName("tav");
            ok = db.open() && QSqlQuery(db).exec(sql);
            if (!ok)
                m_error = db.lastError().text();
        }
        QSqlDatabase::removeDatabase(connection);
        return ok;
    }

    // Stops the server at once and starts it again: every open connection breaks.
    bool Restart()
    {
        QStringList restart = asServer(binary("pg_ctl") + " -D " + m_dir->path() +
                                       "/data -m immediate -w -s restart");
        restart << "-o" << startOptions();
        return run(restart);
    }

    // The process id of the server's main process (0 when unknown).
    qint64 PostmasterPid() const
    {
        QFile pidFile(m_dir->path() + "/data/postmaster.pid");
        return pidFile.open(QIODevice::ReadOnly) ? pidFile.readLine().trimmed().toLongLong() : 0;
    }

    ~PgTestServer()
    {
        if (m_running) {
            const std::string command = asServer(binary("pg_ctl") + " -D " + m_dir->path() +
                                                 "/data -m immediate -s stop")
                                            .join(' ')
                                            .toStdString() +
                                        " >/dev/null 2>&1";
            [[maybe_unused]] const int rc = std::system(command.c_str());
        }
    }

private:
    static constexpr int kPort = 5432; // names the socket file in our own folder only

    PgTestServer() : m_dir(std::make_unique<QTemporaryDir>("/tmp/tavpg-XXXXXX"))
    {
        // Found by the build (package postgresql) and handed over by the test registration.
        m_binFolder = qEnvironmentVariable("TAV_PG_BIN");
        if (m_binFolder.isEmpty()) {
            m_error = "PostgreSQL server programs not found: TAV_PG_BIN names none";
            return;
        }
        if (!m_dir->isValid()) {
            m_error = "Cannot make a temporary folder";
            return;
        }
        if (::geteuid() == 0 && !run({"chown", "postgres:postgres", m_dir->path()}))
            return;
        const QString data = m_dir->path() + "/data";
        if (!run(asServer(binary("initdb") + " -D " + data +
                          " -U tav --auth=trust -E UTF8 --no-locale --no-sync")))
            return;
        QStringList start = asServer(binary("pg_ctl") + " -D " + data + " -l " + m_dir->path() +
                                     "/server.log -w -s start");
        start << "-o" << startOptions();
        if (!run(start))
            return;
        m_running = true;
    }

    QString binary(const QString& name) const { return m_binFolder + '/' + name; }

    QString startOptions() const
    {
        return QString("-k %1 -p %2 -c listen_addresses='' -c fsync=off -c max_connections=40")
            .arg(m_dir->path())
            .arg(kPort);
    }

    // The command line of a server program, as the "postgres" account when we are root.
    static QStringList asServer(const QString& commandLine)
    {
        QStringList parts = commandLine.split(' ', Qt::SkipEmptyParts);
        if (::geteuid() == 0)
            parts = QStringList{"runuser", "-u", "postgres", "--"} + parts;
        return parts;
    }

    bool run(const QStringList& command)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(command.first(), command.mid(1));
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            m_error = command.join(' ') + ": " + QString::fromLocal8Bit(process.readAll());
            return false;
        }
        return true;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_binFolder;
    QString m_error;
    bool m_running = false;
    int m_databases = 0;
};

// Whether this test run asks for the shared server instead of data.mdb
// (TAV_TEST_DATABASE=postgresql, set by the test registration).
inline bool TestsUseServer()
{
    return qEnvironmentVariable("TAV_TEST_DATABASE") == "postgresql";
}
