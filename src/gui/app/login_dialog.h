#pragma once
// The log-in shown at start-up once accounts are on: the name and password
// go to the core's AccountStore, which checks, locks and audits.
#include "core/accounts/actor.h"

#include <QDialog>

class Database;
class QLabel;
class QLineEdit;

class LoginDialog : public QDialog {
    Q_OBJECT
  public:
    explicit LoginDialog(Database& db, QWidget* parent = nullptr);
    // The account logged in (after Accepted).
    const Actor& LoggedIn() const { return m_actor; }
    // Tries the name and password typed (the OK button).
    void TryLogIn();

    QLineEdit* NameEdit() const { return m_name; }
    QLineEdit* PasswordEdit() const { return m_password; }
    QString ErrorShown() const;
    // A line above the fields: why the log-in is asked for.
    void SetNote(const QString& note);

  private:
    Database& m_db;
    Actor m_actor;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_password = nullptr;
    QLabel* m_error = nullptr;
};
