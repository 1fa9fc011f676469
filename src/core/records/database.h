#pragma once
#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <functional>

// The one connection to data.mdb (an SQLite file). Every value reaches the
// SQL through a bound parameter, never pasted into the statement text.
class Database {
public:
    Database();
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // The process-wide connection that start-up opens.
    static Database& Instance();

    // Opens `path`; a missing file is first created from the built-in schema
    // and seed. An existing file that is not a usable database is left
    // untouched and Open returns false. SQLite has no database password: the
    // password is accepted and ignored.
    bool Open(const QString& path, const QString& password = QString());
    bool IsOpen() const;
    void Close();

    // Runs one INSERT, UPDATE or DELETE with `values` bound to its '?' marks.
    bool Execute(const QString& sql, const QVariantList& values = {});

    // Multi-statement changes run inside one transaction, which takes the write
    // lock at its start (waiting up to kBusyTimeoutMs for another writer).
    bool BeginTransaction();
    bool Commit();
    void Rollback();

    QString LastError() const { return m_lastError; }
    QSqlDatabase Connection() const;
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
    bool isUsable();
    void loadDeclaredTypes();

    QString m_connectionName;
    int m_busyTimeoutMs = kBusyTimeoutMs;
    QString m_lastError;
    QHash<QString, QString> m_declaredTypes; // lower-case column name -> declared type
};
