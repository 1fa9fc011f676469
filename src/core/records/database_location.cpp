#include "core/records/database_location.h"

#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

bool IsServerUri(const QString& text)
{
    const QString t = text.trimmed();
    return t.startsWith("postgresql://", Qt::CaseInsensitive) ||
           t.startsWith("postgres://", Qt::CaseInsensitive);
}

QString DatabaseLocation::Display() const
{
    if (!server)
        return file;
    QString text = "postgresql://";
    if (!user.isEmpty())
        text += user + '@';
    text += host.startsWith('/') ? QString() : host;
    text += QString(":%1/%2").arg(port).arg(name);
    if (host.startsWith('/'))
        text += "?host=" + host;
    return text;
}

bool ParseDatabaseLocation(const QString& text, DatabaseLocation& location, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    location = DatabaseLocation();
    if (!IsServerUri(text)) {
        location.file = text;
        return true;
    }
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid())
        return fail("Not a valid connection URI: " + url.errorString());
    location.server = true;
    location.host = url.host(QUrl::FullyDecoded);
    location.port = url.port(5432);
    location.user = url.userName(QUrl::FullyDecoded);
    location.password = url.password(QUrl::FullyDecoded);
    location.name = url.path(QUrl::FullyDecoded).mid(1);

    // The keys a clinic needs; others are refused rather than silently dropped.
    static const QStringList driverKeys = {
        "sslmode",          "sslrootcert",          "sslcert",    "sslkey",
        "sslcrl",           "connect_timeout",      "application_name",
        "target_session_attrs", "keepalives",       "keepalives_idle",
        "keepalives_interval",  "keepalives_count", "tcp_user_timeout"};
    QStringList options;
    const QUrlQuery query(url);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == "host") {
            location.host = value;
        } else if (key == "port") {
            bool ok = false;
            location.port = value.toInt(&ok);
            if (!ok)
                return fail("Not a port number: " + value);
        } else if (key == "dbname") {
            location.name = value;
        } else if (key == "user") {
            location.user = value;
        } else if (key == "password") {
            location.password = value;
        } else if (key == "statement_timeout") {
            bool ok = false;
            location.statementTimeout = value.toInt(&ok);
            if (!ok || location.statementTimeout < 1 || location.statementTimeout > 3600)
                return fail("statement_timeout is a number of seconds from 1 to 3600: " + value);
        } else if (driverKeys.contains(key)) {
            if (value.contains(';'))
                return fail("A connection option may not contain ';': " + key);
            options << key + '=' + value;
        } else {
            return fail("Unknown connection option: " + key);
        }
    }
    if (location.port <= 0 || location.port > 65535)
        return fail(QString("Not a port number: %1").arg(location.port));
    if (location.name.isEmpty())
        return fail("The connection URI names no database: " + text);
    // A server that cannot be reached, or stops answering, is told within
    // seconds rather than after the system's TCP time-outs (minutes to hours).
    const QString given = options.join(';');
    if (!given.contains("connect_timeout"))
        options << "connect_timeout=10";
    if (!given.contains("keepalives"))
        options << "keepalives=1" << "keepalives_idle=30" << "keepalives_interval=10"
                << "keepalives_count=3";
    if (!given.contains("tcp_user_timeout"))
        options << "tcp_user_timeout=30000";
    location.options = options.join(';');
    return true;
}

bool ChooseDatabase(const QString& given, const QString& setting, const QString& defaultFile,
                    QString& target, QString* error)
{
    if (!given.trimmed().isEmpty()) {
        DatabaseLocation location;
        // A command line is visible to every user of the computer (ps).
        if (ParseDatabaseLocation(given, location, nullptr) && !location.password.isEmpty()) {
            if (error)
                *error = "A password in --database is visible to every user of this computer; "
                         "keep it in the PostgreSQL password file (~/.pgpass or PGPASSFILE) or "
                         "type it when asked: " +
                         location.Display();
            return false;
        }
        target = given.trimmed();
        return true;
    }
    if (setting.trimmed().isEmpty()) {
        target = defaultFile;
        return true;
    }
    DatabaseLocation location;
    if (!ParseDatabaseLocation(setting, location, error))
        return false;
    if (!location.server) {
        if (error)
            *error = "The DATABASE setting is not a postgresql:// connection URI: " + setting;
        return false;
    }
    if (!location.password.isEmpty()) {
        if (error)
            *error = "The DATABASE setting must not hold a password; keep it in the PostgreSQL "
                     "password file (~/.pgpass) or PGPASSWORD.";
        return false;
    }
    target = setting.trimmed();
    return true;
}
