#pragma once
// The --fault, --seed and --drift options of the commands that run the virtual
// spirometer (`tavctl test`, `tavctl devsim`, `tavctl calibrate`).
#include "core/device/virtual_spirometer.h"

#include <QString>
#include <QStringList>

// Usage text of the two options.
extern const char kFaultUsage[];

// Takes every --fault KIND (drop:N, drop-end, lost:N, noise:P, pause:MS[@N], split:N) and
// --seed S from `args` into `faults`; `any` tells whether a fault was given.
// False with the reason in `error` for an unknown or malformed one.
bool TakeFaultOptions(QStringList& args, SimFaults& faults, bool& any, QString& error);

// Takes --drift P (percent the virtual turbine reads off, -50..50) from
// `args`; `given` tells whether it was there. False with the reason in `error`.
bool TakeDriftOption(QStringList& args, double& drift, bool& given, QString& error);
