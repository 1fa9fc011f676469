#pragma once
#include <QString>

// The built-in string table: the fallback text of every id, the same in every
// section; empty for an id without a built-in text.
QString BuiltinString(int id);
