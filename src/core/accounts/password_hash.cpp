#include "core/accounts/password_hash.h"

#include <QByteArray>

#include <sodium.h>

namespace {
bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}
} // namespace

QString HashPassword(const QString& password)
{
    if (!sodiumReady())
        return QString();
    const QByteArray bytes = password.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    // The interactive limits: a log-in stays well under a second on a workstation.
    if (crypto_pwhash_str_alg(
            hash, bytes.constData(), static_cast<unsigned long long>(bytes.size()),
            crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE,
            crypto_pwhash_ALG_ARGON2ID13) != 0)
        return QString();
    return QString::fromLatin1(hash);
}

bool PasswordMatches(const QString& hash, const QString& password)
{
    if (!sodiumReady() || hash.isEmpty())
        return false;
    const QByteArray stored = hash.toLatin1();
    const QByteArray bytes = password.toUtf8();
    return crypto_pwhash_str_verify(stored.constData(), bytes.constData(),
                                    static_cast<unsigned long long>(bytes.size())) == 0;
}
