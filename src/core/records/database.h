#pragma once
#include <QHash>
#include <QObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <memory>
#include <vector>

class CaseFileStore;
class QSqlQuery;
class StatementWatch;
struct DatabaseLocation;

// The connection to the records: data.mdb (an SQLite file) on a single
// workstation, or a PostgreSQL database a clinic's workstations share. Both
// run the same SQL. Every value reaches the SQL through a bound parameter,
// never pasted into the statement text.
class Database {
public:
    Database();
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens `path`; a missing file is first created from the built-in schema
    // and seed. An existing file that is not a usable database is left
    // untouched and Open returns false. SQLite has no database password: the
    // password is accepted and ignored. A "postgresql://" URI opens the server
    // database it names (OpenServer).
    bool Open(const QString& path, const QString& password = QString());
    // Connects to a PostgreSQL database; an empty one is given the schema and
    // seed first. `password` is used when not empty; otherwise the server gets
    // what libpq finds (PGPASSWORD, the password file).
    bool OpenServer(const DatabaseLocation& location, const QString& password = QString());
    // Opens the records `other` has open on a connection of this object's
    // own: a connection belongs to the thread that opened it, so a worker
    // that writes records opens its own.
    bool OpenSame(const Database& other);
    bool IsOpen() const;
    void Close();

    bool IsServer() const { return m_server; }
    // Where the test and diagnosis bytes are kept (valid while open).
    CaseFileStore& Files();
    // The server refused the login for want of a (right) password.
    bool NeedsPassword() const { return m_needsPassword; }
    // On a server: `changed` runs (on this thread) whenever another connection
    // changes patients or tests, until `context` is destroyed. False for a
    // data.mdb file, which has no such news.
    bool WatchChanges(QObject* context, std::function<void()> changed);

    // The last failed statement broke a unique key or lost a race with another
    // writer: running it again with a fresh number may succeed.
    bool LastErrorWasConflict() const { return m_conflict; }

    // Runs one INSERT, UPDATE or DELETE with `values` bound to its '?' marks.
    bool Execute(const QString& sql, const QVariantList& values = {});
    // Prepares `sql` on `query`, binds `values` and runs it. On a server each
    // statement has a time limit; a connection the server lost (a restart) is
    // opened again, and the statement run once more when no transaction was
    // open (inside one, the transaction is gone: the caller is told).
    bool Run(QSqlQuery& query, const QString& sql, const QVariantList& values = {});

    // Multi-statement changes run inside one transaction, which takes the write
    // lock at its start (waiting up to kBusyTimeoutMs for another writer).
    bool BeginTransaction();
    bool Commit();
    void Rollback();
    // Runs `action` once the open transaction has committed (at once when
    // none is open); a rollback drops it. For what must follow a change only
    // when it stands, outside the database.
    void AfterCommit(std::function<void()> action);
    // Which records these are: the server's URI without password, or the
    // data.mdb file's absolute path.
    QString Identity() const;

    QString LastError() const { return m_lastError; }
    // Keeps a statement's failure as LastError (and whether it was a conflict).
    void NoteError(const QSqlError& error);
    QSqlDatabase Connection() const;
    // The lower-case column names of `table`; empty when there is no such table.
    QStringList ColumnNames(const QString& table);
    // Declared type (upper case, e.g. "FLOAT", "DATETIME") of a column name, or empty.
    QString DeclaredType(const QString& column) const;

    // Shown when a recordset is used while the connection is gone; the window
    // layer installs its message box, the default writes to stderr.
    using Notifier = std::function<void(const QString& text, const QString& caption)>;
    static void SetNotifier(Notifier notifier);
    static void Notify(const QString& text, const QString& caption);

    static const char* const kPassword; // the password start-up passes
    static constexpr int kBusyTimeoutMs = 10000;
    // How long a statement waits for another writer, from the next Open on.
    void SetBusyTimeout(int milliseconds) { m_busyTimeoutMs = milliseconds; }

private:
    bool runOnce(QSqlQuery& query, const QString& sql, const QVariantList& values);
    bool connectionLost();
    bool reconnect();
    bool afterConnect();
    bool isUsable();
    bool prepareServer();
    void loadDeclaredTypes();

    QString m_connectionName;
    int m_busyTimeoutMs = kBusyTimeoutMs;
    QString m_lastError;
    bool m_server = false;
    bool m_needsPassword = false;
    bool m_conflict = false;
    bool m_inTransaction = false;
    std::vector<std::function<void()>> m_afterCommit;
    QString m_lastErrorCode;
    QString m_serverName; // the server's URI without password, for messages
    std::function<bool(Database&)> m_openSame; // opens what this one opened, for OpenSame
    std::unique_ptr<StatementWatch> m_watch;
    std::unique_ptr<CaseFileStore> m_files;
    QHash<QString, QString> m_declaredTypes; // lower-case column name -> declared type
};
