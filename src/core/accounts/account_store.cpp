#include "core/accounts/account_store.h"

#include "core/accounts/audit_log.h"
#include "core/accounts/password_hash.h"
#include "core/records/database.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSqlQuery>

namespace {

QString utcNow(int addMinutes = 0)
{
    return QDateTime::currentDateTimeUtc()
        .addSecs(qint64(addMinutes) * 60)
        .toString("yyyy-MM-ddTHH:mm:ssZ");
}

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

bool AccountStore::AccountsOn()
{
    QSqlQuery q(m_db.Connection());
    return q.exec("SELECT COUNT(*) FROM Account") && q.next() && q.value(0).toInt() > 0;
}

std::vector<AccountInfo> AccountStore::List()
{
    std::vector<AccountInfo> accounts;
    QSqlQuery q(m_db.Connection());
    if (!q.exec("SELECT UserName, UserRole, FailedLogins, LockedUntil, CreatedAt FROM Account "
                "ORDER BY UserName"))
        return accounts;
    while (q.next())
        accounts.push_back({q.value(0).toString(), Role(q.value(1).toInt()), q.value(2).toInt(),
                            q.value(3).toString(), q.value(4).toString()});
    return accounts;
}

bool AccountStore::passwordUsable(const QString& password, QString* error) const
{
    if (password.size() < kMinPasswordLength)
        return fail(error,
                    QString("a password needs at least %1 characters").arg(kMinPasswordLength));
    return true;
}

bool AccountStore::Add(const Actor& by, const QString& name, Role role, const QString& password,
                       QString* error)
{
    static const QRegularExpression valid("^[A-Za-z0-9._@-]{1,40}$");
    if (!valid.match(name).hasMatch())
        return fail(error, "an account name is 1 to 40 letters, digits or . _ @ -: " + name);
    if (role == Role::None)
        return fail(error, "the role must be technician, physician or admin");
    if (!passwordUsable(password, error))
        return false;
    const bool first = !AccountsOn();
    if (first && role != Role::Admin)
        return fail(error, "the first account must be an administrator (--role admin)");
    if (!first) {
        const QString refusal = by.Refusal(Action::ManageAccounts);
        if (!refusal.isEmpty())
            return fail(error, refusal);
    }
    const QString hash = HashPassword(password);
    if (hash.isEmpty())
        return fail(error, "cannot hash the password");
    if (!m_db.Execute("INSERT INTO Account (UserName, UserRole, PassHash, FailedLogins, CreatedAt) "
                      "VALUES (?, ?, ?, 0, ?)",
                      {name, int(role), hash, utcNow()}))
        return fail(error, m_db.LastErrorWasConflict()
                               ? "there is an account " + name
                               : "cannot add the account: " + m_db.LastError());
    AuditLog audit(m_db);
    if (first && !audit.Protect(error))
        return false;
    // The first administrator adds itself: the trail starts with it.
    const Actor author = first ? Actor{name, role, by.workstation, true} : by;
    return audit.Append(author, "account-add", 0, "account " + name, QString(),
                        "role " + RoleName(role), error);
}

bool AccountStore::ResetPassword(const Actor& by, const QString& name, const QString& password,
                                 QString* error)
{
    const QString refusal = by.Refusal(Action::ManageAccounts);
    if (!refusal.isEmpty())
        return fail(error, refusal);
    if (!passwordUsable(password, error))
        return false;
    const QString hash = HashPassword(password);
    if (hash.isEmpty())
        return fail(error, "cannot hash the password");
    QSqlQuery q(m_db.Connection());
    q.prepare(
        "UPDATE Account SET PassHash = ?, FailedLogins = 0, LockedUntil = NULL WHERE UserName = ?");
    q.addBindValue(hash);
    q.addBindValue(name);
    if (!q.exec())
        return fail(error, "cannot set the password: " + q.lastError().text());
    if (q.numRowsAffected() != 1)
        return fail(error, "there is no account " + name);
    return AuditLog(m_db).Append(by, "account-password-reset", 0, "account " + name, QString(),
                                 QString(), error);
}

bool AccountStore::LogIn(const QString& name, const QString& password, const QString& workstation,
                         Actor& actor, QString* error)
{
    AuditLog audit(m_db);
    const Actor who{name, Role::None, workstation, true};
    QSqlQuery q(m_db.Connection());
    q.prepare(
        "SELECT UserRole, PassHash, FailedLogins, LockedUntil FROM Account WHERE UserName = ?");
    q.addBindValue(name);
    if (!q.exec())
        return fail(error, "cannot read the accounts: " + q.lastError().text());
    const bool known = q.next();
    const Role role = known ? Role(q.value(0).toInt()) : Role::None;
    const QString hash = known ? q.value(1).toString() : QString();
    const int failures = known ? q.value(2).toInt() : 0;
    const QString lockedUntil = known ? q.value(3).toString() : QString();
    q.finish();
    if (known && !lockedUntil.isEmpty() && lockedUntil > utcNow()) {
        audit.Append(who, "login-refused-locked", 0, "account " + name);
        return fail(
            error,
            QString("the account %1 is locked after %2 failed log-ins; try again after %3 UTC "
                    "or ask an administrator to reset its password")
                .arg(name)
                .arg(kMaxFailures)
                .arg(lockedUntil));
    }
    // An unknown name costs the same hashing as a known one: the time taken
    // does not tell which names exist.
    static const QString kNobody = HashPassword("no account has this password");
    if (!known)
        PasswordMatches(kNobody, password);
    if (!known || !PasswordMatches(hash, password)) {
        if (known) {
            const int now = failures + 1;
            m_db.Execute("UPDATE Account SET FailedLogins = ?, LockedUntil = ? WHERE UserName = ?",
                         {now % kMaxFailures,
                          now >= kMaxFailures ? QVariant(utcNow(kLockMinutes))
                                              : QVariant(QMetaType::fromType<QString>()),
                          name});
        }
        audit.Append(who, "login-failed", 0, "account " + name);
        return fail(error, "wrong user name or password");
    }
    m_db.Execute("UPDATE Account SET FailedLogins = 0, LockedUntil = NULL WHERE UserName = ?",
                 {name});
    actor = Actor{name, role, workstation, true};
    return audit.Append(actor, "login", 0, "account " + name, QString(), QString(), error);
}
