#pragma once
#include <QStringList>

class CliContext;

// One function per tavctl command; `args` holds what follows the command name.
int CmdDemoSeed(CliContext& context, QStringList& args);
int CmdSettings(CliContext& context, QStringList& args);
int CmdText(CliContext& context, QStringList& args);
int CmdAnalyze(CliContext& context, QStringList& args);
