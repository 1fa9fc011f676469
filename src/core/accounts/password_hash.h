#pragma once
// Account passwords as libsodium's Argon2id strings ("$argon2id$..."): the
// only form in which a password is ever stored.
#include <QString>

// Empty when libsodium cannot start or runs out of memory.
QString HashPassword(const QString& password);
bool PasswordMatches(const QString& hash, const QString& password);
