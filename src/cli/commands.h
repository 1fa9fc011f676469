#pragma once
#include <QStringList>

class CliContext;

// One function per tavctl command; `args` holds what follows the command name.
int CmdDemoSeed(CliContext& context, QStringList& args);
int CmdSettings(CliContext& context, QStringList& args);
int CmdText(CliContext& context, QStringList& args);
int CmdDevsim(CliContext& context, QStringList& args);
int CmdAnalyze(CliContext& context, QStringList& args);
int CmdPatient(CliContext& context, QStringList& args);
int CmdPredicted(CliContext& context, QStringList& args);
int CmdReport(CliContext& context, QStringList& args);
int CmdTest(CliContext& context, QStringList& args);
int CmdReplay(CliContext& context, QStringList& args);
int CmdCalibrate(CliContext& context, QStringList& args);
int CmdCalibrationLog(CliContext& context, QStringList& args);
int CmdDb(CliContext& context, QStringList& args);
int CmdReference(CliContext& context, QStringList& args);
int CmdInterpret(CliContext& context, QStringList& args);
int CmdSession(CliContext& context, QStringList& args);
// session relabel | session edit, else CmdSession.
int CmdSessionCommands(CliContext& context, QStringList& args);
int CmdExport(CliContext& context, QStringList& args);
int CmdImport(CliContext& context, QStringList& args);
int CmdGdt(CliContext& context, QStringList& args);
// The hospital links: hl7 export|send, dicom export|send|echo, worklist [take], outbox [list|retry].
int CmdHl7(CliContext& context, QStringList& args);
int CmdDicom(CliContext& context, QStringList& args);
int CmdWorklist(CliContext& context, QStringList& args);
int CmdOutbox(CliContext& context, QStringList& args);
// Accounts, the audit trail, the sign-off of a day.
int CmdUser(CliContext& context, QStringList& args);
int CmdAudit(CliContext& context, QStringList& args);
int CmdSign(CliContext& context, QStringList& args);
int CmdAmend(CliContext& context, QStringList& args);
// A physician's review: a blow's verdict overridden, the day's diagnosis.
int CmdGrade(CliContext& context, QStringList& args);
int CmdDiagnosis(CliContext& context, QStringList& args);
