#pragma once
// The program's accounts (table Account), in the records database so every
// workstation of a clinic server shares them. Accounts are off until the first
// account, an administrator, exists. Passwords are kept only as Argon2id
// hashes; five failed log-ins in a row lock an account for kLockMinutes.
// Every log-in, failure and account change is written to the audit trail.
#include "core/accounts/actor.h"

#include <QString>

#include <vector>

class Database;

struct AccountInfo {
    QString name;
    Role role = Role::None;
    int failedLogins = 0;
    QString lockedUntil; // UTC "yyyy-MM-ddTHH:mm:ssZ"; empty: not locked
    QString createdAt;
};

class AccountStore {
  public:
    static constexpr int kMaxFailures = 5;
    static constexpr int kLockMinutes = 15;
    static constexpr int kMinPasswordLength = 8;

    explicit AccountStore(Database& db) : m_db(db) {}

    bool AccountsOn();
    std::vector<AccountInfo> List();

    // Adds an account. With accounts off only an administrator may be added,
    // by anyone: it turns accounts on. Later accounts need `by` to be an
    // administrator. False with `error` set otherwise.
    bool Add(const Actor& by, const QString& name, Role role, const QString& password,
             QString* error);

    // Sets a new password and lifts a lock; for administrators.
    bool ResetPassword(const Actor& by, const QString& name, const QString& password,
                       QString* error);

    // Checks `password` for `name`. True fills `actor`; false says why in
    // `error` (the same words for an unknown name and a wrong password).
    bool LogIn(const QString& name, const QString& password, const QString& workstation,
               Actor& actor, QString* error);

  private:
    bool passwordUsable(const QString& password, QString* error) const;

    Database& m_db;
};
