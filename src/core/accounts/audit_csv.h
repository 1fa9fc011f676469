#pragma once
// The audit trail as a CSV table (UTF-8, comma, every field quoted), for the
// administrators' viewer.
#include "core/accounts/audit_entry.h"

#include <QByteArray>

#include <vector>

QByteArray AuditCsv(const std::vector<AuditEntry>& entries);
