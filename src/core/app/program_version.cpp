#include "core/app/program_version.h"

QString ProgramVersion() { return QStringLiteral(TAV_VERSION); }
