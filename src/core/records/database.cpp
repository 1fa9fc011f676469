#include "core/records/database.h"

#include "core/records/case_file_store.h"
#include "core/records/database_location.h"
#include "core/records/database_seed.h"
#include "core/records/folder_case_store.h"
#include "core/records/patient_numbers.h"
#include "core/records/schema_upgrade.h"
#include "core/records/statement_watch.h"
#include "core/records/table_case_store.h"

#include <QAtomicInt>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstdio>

const char* const Database::kPassword = "QDRX7315";

namespace {

Database::Notifier& notifier()
{
    static Database::Notifier n;
    return n;
}

// YEAR(), MONTH(), DAY() of a "%Y-%m-%d ..." text, as the original engine offered them.
void datePart(sqlite3_context* context, int argc, sqlite3_value** argv, int part)
{
    if (argc != 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    int year = 0, month = 0, day = 0;
    if (!text || std::sscanf(text, "%d-%d-%d", &year, &month, &day) != 3) {
        sqlite3_result_null(context);
        return;
    }
    sqlite3_result_int(context, part == 0 ? year : part == 1 ? month : day);
}

void yearFunction(sqlite3_context* c, int n, sqlite3_value** v) { datePart(c, n, v, 0); }
void monthFunction(sqlite3_context* c, int n, sqlite3_value** v) { datePart(c, n, v, 1); }
void dayFunction(sqlite3_context* c, int n, sqlite3_value** v) { datePart(c, n, v, 2); }

bool registerDateFunctions(const QSqlDatabase& db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return false;
    sqlite3* sqlite = *static_cast<sqlite3* const*>(handle.constData());
    if (!sqlite)
        return false;
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    return sqlite3_create_function(sqlite, "YEAR", 1, flags, nullptr, yearFunction, nullptr,
                                   nullptr) == SQLITE_OK &&
           sqlite3_create_function(sqlite, "MONTH", 1, flags, nullptr, monthFunction, nullptr,
                                   nullptr) == SQLITE_OK &&
           sqlite3_create_function(sqlite, "DAY", 1, flags, nullptr, dayFunction, nullptr,
                                   nullptr) == SQLITE_OK;
}

QString newConnectionName()
{
    static QAtomicInt counter;
    return QString("tav-db-%1").arg(counter.fetchAndAddRelaxed(1));
}

// Builds the seeded database under a temporary name and renames it into place,
// so an interrupted first start never leaves half a database behind.
bool createDatabaseFile(const QString& path, QString* error)
{
    const QString temporary = path + ".new";
    QFile::remove(temporary);
    {
        // Patient records: readable by their owner only, whatever the umask
        // (SQLite gives its journal the same permissions).
        QFile empty(temporary);
        if (empty.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            empty.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    bool ok = false;
    {
        const QString name = newConnectionName();
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(temporary);
        ok = db.open();
        if (!ok && error) {
            // SQLite only says "unable to open database file"; the folder says why.
            const QFileInfo folder(QFileInfo(path).absolutePath());
            const QString reason = db.lastError().text().trimmed();
            *error = QString("Cannot create %1: %2").arg(
                path, !folder.isWritable() ? QString("the folder %1 is not writable")
                                                 .arg(folder.absoluteFilePath())
                      : reason.isEmpty()   ? QString("the database cannot be made there")
                                           : reason);
        }
        ok = ok && CreateSeededDatabase(db, error);
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
    if (!ok) {
        QFile::remove(temporary);
        return false;
    }
    if (!QFile::rename(temporary, path)) {
        QFile::remove(temporary);
        if (error)
            *error = "Cannot create " + path;
        return false;
    }
    return true;
}

} // namespace

Database::Database() : m_connectionName(newConnectionName())
{
    // Touching Qt's connection registry first makes it outlive a static Database,
    // whose destructor still closes the connection at exit.
    QSqlDatabase::contains(m_connectionName);
}

Database::~Database() { Close(); }

CaseFileStore& Database::Files()
{
    // Before Open the folder store stands in, so callers never hold a null store.
    if (!m_files)
        m_files = std::make_unique<FolderCaseStore>();
    return *m_files;
}

bool Database::WatchChanges(QObject* context, std::function<void()> changed)
{
    if (!m_server || !IsOpen())
        return false;
    QSqlDriver* driver = Connection().driver();
    if (!driver->subscribeToNotification("tav_records"))
        return false;
    QObject::connect(driver,
                     qOverload<const QString&, QSqlDriver::NotificationSource, const QVariant&>(
                         &QSqlDriver::notification),
                     context, [changed = std::move(changed)](const QString&,
                                                            QSqlDriver::NotificationSource source,
                                                            const QVariant&) {
                         if (source == QSqlDriver::OtherSource)
                             changed();
                     });
    return true;
}

void Database::NoteError(const QSqlError& error)
{
    m_lastError = error.text();
    const QString code = error.nativeErrorCode();
    m_lastErrorCode = code;
    // PostgreSQL: unique violation, serialization failure, deadlock. SQLite:
    // constraint (plain and extended unique / primary key), busy, locked.
    static const QStringList conflicts = {"23505", "40001", "40P01", "19",
                                          "2067",  "1555",  "5",     "6", "517"};
    m_conflict = conflicts.contains(code);
}

bool Database::Open(const QString& path, const QString& /*password: SQLite has none*/)
{
    if (IsServerUri(path)) {
        // The SQLite file password means nothing to a server: libpq finds its own.
        DatabaseLocation location;
        if (!ParseDatabaseLocation(path, location, &m_lastError))
            return false;
        return OpenServer(location);
    }
    Close();
    m_lastError.clear();
    if (!QFileInfo::exists(path) && !createDatabaseFile(path, &m_lastError))
        return false;
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", m_connectionName);
    db.setDatabaseName(path);
    // Another workstation process writing at the same moment is waited for, not failed.
    db.setConnectOptions(QString("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyTimeoutMs));
    if (!db.open()) {
        m_lastError = db.lastError().text();
        if (m_lastError.trimmed().isEmpty())
            m_lastError = "Cannot open " + path;
        Close();
        return false;
    }
    if (!isUsable() || !registerDateFunctions(db)) {
        if (m_lastError.isEmpty())
            m_lastError = "Not a usable database: " + path;
        Close();
        return false;
    }
    QSqlQuery(db).exec("PRAGMA foreign_keys = OFF");
    // Older files gain the session and ethnic-group columns before anything reads them.
    if (!UpgradeSchema(*this, &m_lastError)) {
        Close();
        return false;
    }
    PreparePatientTable(*this);
    loadDeclaredTypes();
    m_files = std::make_unique<FolderCaseStore>();
    m_openSame = [path](Database& db) { return db.Open(path); };
    return true;
}

bool Database::OpenSame(const Database& other)
{
    if (!other.m_openSame) {
        m_lastError = "The database is not open.";
        return false;
    }
    return other.m_openSame(*this);
}

bool Database::OpenServer(const DatabaseLocation& location, const QString& password)
{
    Close();
    m_lastError.clear();
    m_needsPassword = false;
    if (!QSqlDatabase::isDriverAvailable("QPSQL")) {
        m_lastError = "The PostgreSQL driver of Qt is not installed (libqt6sql6-psql).";
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", m_connectionName);
    if (!location.host.isEmpty())
        db.setHostName(location.host);
    db.setPort(location.port);
    db.setDatabaseName(location.name);
    if (!location.user.isEmpty())
        db.setUserName(location.user);
    const QString secret = password.isEmpty() ? location.password : password;
    if (!secret.isEmpty())
        db.setPassword(secret);
    db.setConnectOptions(location.options);
    const bool opened = db.open();
    db = QSqlDatabase(); // no copy may outlive Close(), which then warns
    if (!opened) {
        m_lastError = Connection().lastError().text().trimmed();
        m_needsPassword = m_lastError.contains("password", Qt::CaseInsensitive);
        Close();
        return false;
    }
    m_server = true;
    m_serverName = location.Display();
    m_watch = std::make_unique<StatementWatch>(std::chrono::seconds(location.statementTimeout));
    if (!afterConnect() || !prepareServer()) {
        Close();
        return false;
    }
    loadDeclaredTypes();
    m_files = std::make_unique<TableCaseStore>(*this);
    m_openSame = [location, secret](Database& db) { return db.OpenServer(location, secret); };
    return true;
}

// An empty server database gets the tables and seed; one that has some of the
// tables but not all is refused, as a foreign SQLite file is. Workstations that
// start together take turns through an advisory lock.
bool Database::prepareServer()
{
    QSqlDatabase db = Connection();
    QSqlQuery query(db);
    query.exec("SET client_min_messages = warning");
    if (!query.exec("SELECT pg_advisory_lock(73150001)")) {
        m_lastError = query.lastError().text();
        return false;
    }
    bool ok = query.exec("SELECT lower(table_name) FROM information_schema.tables "
                         "WHERE table_schema = current_schema()");
    QStringList tables;
    while (ok && query.next())
        tables << query.value(0).toString();
    const QStringList needed = {"userinfo", "caseinfo", "race", "nation",
                                "paramname", "predict", "casedata"};
    int present = 0;
    for (const QString& table : needed)
        present += tables.contains(table) ? 1 : 0;
    if (!ok) {
        m_lastError = query.lastError().text();
    } else if (present == 0) {
        ok = CreateSeededDatabase(db, &m_lastError, SchemaDialect::PostgreSql);
    } else if (present < needed.size()) {
        for (const QString& table : needed) {
            if (!tables.contains(table)) {
                m_lastError = QString("The database has no table %1.").arg(table);
                break;
            }
        }
        ok = false;
    }
    // A database made by an earlier version gains the newer columns and indexes
    // while the lock keeps the other workstations from doing the same at once.
    ok = ok && isUsable() && UpgradeSchema(*this, &m_lastError);
    if (ok)
        PreparePatientTable(*this);
    query.exec("SELECT pg_advisory_unlock(73150001)");
    return ok;
}

QStringList Database::ColumnNames(const QString& table)
{
    QStringList names;
    QSqlQuery query(Connection());
    const bool ok =
        m_server ? query.prepare("SELECT lower(column_name) FROM information_schema.columns "
                                 "WHERE table_schema = current_schema() AND table_name = ?")
                 : query.prepare(QString("PRAGMA table_info(\"%1\")").arg(table));
    if (m_server)
        query.addBindValue(table.toLower());
    if (!ok || !query.exec()) {
        // Never empty: an empty text would read as "no such table".
        m_lastError = query.lastError().text().trimmed();
        if (m_lastError.isEmpty())
            m_lastError = "The table list could not be read: the connection failed.";
        return names;
    }
    while (query.next())
        names << query.value(m_server ? 0 : 1).toString().toLower();
    return names;
}

// A usable database holds every table and column the program uses: a damaged
// one would otherwise run on with blank names and zero heights, and still take
// new tests.
bool Database::isUsable()
{
    static const std::pair<const char*, QStringList> kUsed[] = {
        {"UserInfo",
         {"ID", "ptID", "LastName", "FirstName", "Gender", "Birthdate", "Height", "Weight",
          "Nation", "Smoke", "Address", "Postalcode", "City", "Job", "UserPassWord",
          "PassWordFlag", "Standard"}},
        {"CaseInfo",
         {"ID", "DataName", "TestTime", "FVC", "PEF", "FEV1", "MVV", "VC", "Duration",
          "TestType"}},
        {"Race", {"ID", "Nation"}},
        {"Nation", {"nNation", "ParamName", "Multiply", "Additive"}},
        {"ParamName", {"ParamName"}},
        {"Predict",
         {"Type", "Gender", "Age_lower_limit", "Age_upper_limit", "FEV1/FVC", "Param_Constant",
          "Param_Hight", "Param_Age", "Param_Age_Age", "Param_Height_Height", "Param_Surface"}},
    };
    for (const auto& [table, columns] : kUsed) {
        m_lastError.clear();
        const QStringList present = ColumnNames(table);
        if (present.isEmpty()) {
            if (m_lastError.isEmpty())
                m_lastError = QString("The database has no table %1.").arg(table);
            return false;
        }
        for (const QString& column : columns) {
            if (!present.contains(column.toLower())) {
                m_lastError = QString("The table %1 has no column %2.").arg(table, column);
                return false;
            }
        }
    }
    return true;
}

void Database::loadDeclaredTypes()
{
    m_declaredTypes.clear();
    const QSqlDatabase db = Connection();
    if (m_server) {
        // The server's own names differ ("double precision", "text"): the
        // schema's names come first, the server's for columns added later.
        m_declaredTypes = SchemaDeclaredTypes();
        QSqlQuery query(db);
        query.exec("SELECT lower(column_name), data_type FROM information_schema.columns "
                   "WHERE table_schema = current_schema()");
        while (query.next()) {
            const QString type = query.value(1).toString();
            const QString declared = type == "double precision" ? "DOUBLE"
                                     : type == "real"           ? "FLOAT"
                                     : type == "boolean"        ? "BOOLEAN"
                                     : type == "date"           ? "DATE"
                                     : type.startsWith("timestamp") ? "DATETIME"
                                     : type.contains("int")     ? "INTEGER"
                                                                : "TEXT";
            if (!m_declaredTypes.contains(query.value(0).toString()))
                m_declaredTypes.insert(query.value(0).toString(), declared);
        }
        return;
    }
    for (const QString& table : db.tables()) {
        QSqlQuery query(db);
        if (!query.exec(QString("PRAGMA table_info(\"%1\")").arg(table)))
            continue;
        while (query.next())
            m_declaredTypes.insert(query.value(1).toString().toLower(),
                                   query.value(2).toString().toUpper());
    }
}

QString Database::DeclaredType(const QString& column) const
{
    return m_declaredTypes.value(column.toLower());
}

// A server connection that broke stays open to its callers: the next
// statement opens it again (Run).
bool Database::IsOpen() const
{
    return QSqlDatabase::contains(m_connectionName) && (m_server || Connection().isOpen());
}

void Database::Close()
{
    if (QSqlDatabase::contains(m_connectionName)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connectionName);
    }
    m_declaredTypes.clear();
    m_files.reset();
    m_watch.reset();
    m_openSame = nullptr;
    m_server = false;
    m_inTransaction = false;
}

QSqlDatabase Database::Connection() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

bool Database::Execute(const QString& sql, const QVariantList& values)
{
    if (!IsOpen()) {
        m_lastError = "The database is not open.";
        return false;
    }
    QSqlQuery query(Connection());
    return Run(query, sql, values);
}

bool Database::Run(QSqlQuery& query, const QString& sql, const QVariantList& values)
{
    m_conflict = false;
    if (m_server && !Connection().isOpen() && !reconnect()) {
        m_lastError = QString("The server %1 cannot be reached: %2").arg(m_serverName, m_lastError);
        return false;
    }
    if (runOnce(query, sql, values))
        return true;
    if (!connectionLost())
        return false;
    const bool inTransaction = m_inTransaction;
    const QString why = m_watch && m_watch->TakeFired()
                            ? QString("The server %1 did not answer within %2 s.")
                                  .arg(m_serverName)
                                  .arg(m_watch->Limit().count() / 1000)
                            : QString("The connection to the server %1 was lost: %2")
                                  .arg(m_serverName, m_lastError.trimmed());
    if (!reconnect() || inTransaction || !runOnce(query, sql, values)) {
        m_lastError = inTransaction ? why + " The change was not saved." : why;
        return false;
    }
    return true;
}

bool Database::runOnce(QSqlQuery& query, const QString& sql, const QVariantList& values)
{
    const StatementWatch::Guard watched(m_watch.get());
    // PostgreSQL prepares only queries and row changes: a statement without
    // values (a schema change among them) runs as it stands.
    const bool ran = values.isEmpty() ? query.exec(sql)
                                      : query.prepare(sql) && [&] {
                                            for (const QVariant& value : values)
                                                query.addBindValue(value);
                                            return query.exec();
                                        }();
    if (!ran)
        NoteError(query.lastError());
    return ran;
}

bool Database::connectionLost()
{
    if (!m_server)
        return false;
    const QVariant handle = Connection().driver()->handle();
    auto* connection = handle.isValid() ? *static_cast<PGconn* const*>(handle.data()) : nullptr;
    if (!connection || PQstatus(connection) != CONNECTION_OK)
        return true;
    // libpq may learn of a server's end only on the next exchange: outside a
    // transaction a probe asks (inside one, a failed statement also fails it).
    const QString code = m_lastErrorCode;
    if (code.startsWith("08") || code.startsWith("57P"))
        return true;
    if (m_inTransaction)
        return false;
    QSqlQuery probe(Connection());
    return !probe.exec("SELECT 1") || PQstatus(connection) != CONNECTION_OK;
}

// The same connection, opened again with what it was opened with: queries
// made on it stay usable, and the change notifications are asked for again.
bool Database::reconnect()
{
    QSqlDatabase db = Connection();
    const QStringList channels = db.driver()->subscribedToNotifications();
    db.close();
    m_inTransaction = false;
    if (!db.open()) {
        m_lastError = db.lastError().text().trimmed();
        return false;
    }
    for (const QString& channel : channels)
        db.driver()->subscribeToNotification(channel);
    return afterConnect();
}

// Each new server connection: its socket under the statement watch, and the
// server told to end a statement at the same limit itself.
bool Database::afterConnect()
{
    const QVariant handle = Connection().driver()->handle();
    auto* connection = handle.isValid() ? *static_cast<PGconn* const*>(handle.data()) : nullptr;
    m_watch->Watch(connection ? PQsocket(connection) : -1);
    QSqlQuery query(Connection());
    if (query.exec(QString("SET statement_timeout = %1").arg(m_watch->Limit().count())))
        return true;
    NoteError(query.lastError());
    return false;
}

// Every transaction here is for writing: taking the write lock at the start
// lets SQLite's busy wait apply, where a read that later turns into a write
// would fail at once with "database is locked" when another writer is busy.
// A server's rows are locked one at a time as they are written.
bool Database::BeginTransaction()
{
    m_afterCommit.clear();
    m_inTransaction = IsOpen() && Execute(m_server ? "BEGIN" : "BEGIN IMMEDIATE");
    return m_inTransaction;
}
bool Database::Commit()
{
    const bool committed = IsOpen() && Execute("COMMIT");
    m_inTransaction = m_inTransaction && !committed;
    if (committed) {
        const std::vector<std::function<void()>> actions = std::move(m_afterCommit);
        m_afterCommit.clear();
        for (const auto& action : actions)
            action();
    }
    return committed;
}
void Database::AfterCommit(std::function<void()> action)
{
    if (m_inTransaction)
        m_afterCommit.push_back(std::move(action));
    else
        action();
}
QString Database::Identity() const
{
    return m_server ? m_serverName : QFileInfo(Connection().databaseName()).absoluteFilePath();
}
// The failure that led here stays the last error, so callers can still tell a
// conflict worth another attempt from any other fault.
void Database::Rollback()
{
    if (!IsOpen())
        return;
    const QString error = m_lastError;
    const bool conflict = m_conflict;
    Execute("ROLLBACK");
    m_inTransaction = false;
    m_afterCommit.clear();
    m_lastError = error;
    m_conflict = conflict;
}

void Database::SetNotifier(Notifier n) { notifier() = std::move(n); }

void Database::Notify(const QString& text, const QString& caption)
{
    if (notifier())
        notifier()(text, caption);
    else
        QTextStream(stderr) << caption << ": " << text << '\n';
}
