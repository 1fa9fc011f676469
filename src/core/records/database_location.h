#pragma once
#include <QString>

// Where the records live: the data.mdb file of a single workstation, or a
// PostgreSQL database that several workstations share, named by a libpq
// connection URI ("postgresql://user@host:port/name?sslmode=require").
struct DatabaseLocation {
    bool server = false;
    QString file; // the SQLite file when not on a server

    QString host; // a name, an address, or a folder holding the server's socket
    int port = 5432;
    QString name;     // database name
    QString user;     // empty: the login name, as PostgreSQL clients do
    QString password; // only when the URI itself carries one; never stored by the program
    QString options;  // driver options: "sslmode=...;connect_timeout=...;keepalives=..."
    // Seconds a statement may take before the program gives up on the server
    // ("statement_timeout" in the URI; not a libpq option, the program keeps it).
    int statementTimeout = 30;

    // The URI without its password, for messages and logs.
    QString Display() const;
};

// True for "postgresql://..." and "postgres://...".
bool IsServerUri(const QString& text);

// A file path is taken as it stands. A server URI is taken apart; an unknown
// query key, a bad port or a missing database name is an error (false, `error` set).
bool ParseDatabaseLocation(const QString& text, DatabaseLocation& location, QString* error);

// What the program opens: `given` (tavctl --database) when not empty, else the
// DATABASE settings value, else `defaultFile` (data.mdb). A settings value that
// carries a password is refused: the settings file is no place for it.
bool ChooseDatabase(const QString& given, const QString& setting, const QString& defaultFile,
                    QString& target, QString* error);
