#include "gui/app/login_dialog.h"

#include "core/accounts/account_store.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

LoginDialog::LoginDialog(Database& db, QWidget* parent) : QDialog(parent), m_db(db)
{
    setWindowTitle(tr("Log in"));
    m_name = new QLineEdit(this);
    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    m_error = new QLabel(this);
    m_error->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow(tr("User:"), m_name);
    form->addRow(tr("Password:"), m_password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_error);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &LoginDialog::TryLogIn);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void LoginDialog::TryLogIn()
{
    QString error;
    if (AccountStore(m_db).LogIn(m_name->text().trimmed(), m_password->text(), WorkstationName(),
                                 m_actor, &error)) {
        accept();
        return;
    }
    m_password->clear();
    m_error->setText(error);
}

void LoginDialog::SetNote(const QString& note)
{
    m_error->setText(note);
}

QString LoginDialog::ErrorShown() const
{
    return m_error->text();
}
