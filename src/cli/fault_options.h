#pragma once
// The --fault and --seed options of the commands that run the virtual
// spirometer (`tavctl test`, `tavctl devsim`).
#include "core/device/virtual_spirometer.h"

#include <QString>
#include <QStringList>

// Usage text of the two options.
extern const char kFaultUsage[];

// Takes every --fault KIND (drop:N, drop-end, lost:N, noise:P, pause:MS[@N], split:N) and
// --seed S from `args` into `faults`; `any` tells whether a fault was given.
// False with the reason in `error` for an unknown or malformed one.
bool TakeFaultOptions(QStringList& args, SimFaults& faults, bool& any, QString& error);
