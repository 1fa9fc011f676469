#pragma once
#include <QString>

// The program's version, as the build states it (the project version in
// CMakeLists.txt): the About box, `tavctl --version` and the package carry it.
QString ProgramVersion();
