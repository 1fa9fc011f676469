#include "cli_context.h"
#include "commands.h"
#include "json_out.h"

#include "core/app/lang_text.h"
#include "core/app/system_settings.h"

#include <QJsonArray>
#include <QJsonObject>

int CmdSettings(CliContext&, QStringList& args)
{
    if (!args.isEmpty())
        return CliContext::Fail("settings takes no arguments");
    const SystemSettings& s = Settings();
    QJsonObject json;
    json["WAIT"] = s.wait.load();
    json["BTPS"] = s.btps.load();
    json["COMMUNICATION"] = s.communication.load();
    json["PREDICTED"] = s.predicted;
    json["HOSPITAL"] = s.hospital;
    json["LANGUAGE"] = s.language;
    json["SPACE"] = s.space.load();
    json["TIMES"] = s.times.load();
    json["COMPORT"] = s.comPort;
    json["WAVECOLOR"] = static_cast<qint64>(s.waveColor);
    json["TRENDCOLOR1"] = static_cast<qint64>(s.trendColor1);
    json["TRENDBKCOLOR"] = static_cast<qint64>(s.trendBkColor);
    json["REFCOLOR"] = static_cast<qint64>(s.refColor);
    json["FEV1COLOR"] = static_cast<qint64>(s.fev1Color);
    json["FVCCOLOR"] = static_cast<qint64>(s.fvcColor);
    json["FEF50COLOR"] = static_cast<qint64>(s.fef50Color);
    json["FEF2575COLOR"] = static_cast<qint64>(s.fef2575Color);
    json["FEF75COLOR"] = static_cast<qint64>(s.fef75Color);
    json["TRENDCOLORS"] = QJsonArray{static_cast<qint64>(s.trendColors[0]),
                                     static_cast<qint64>(s.trendColors[1]),
                                     static_cast<qint64>(s.trendColors[2])};
    json["SIMULATOR"] = s.simulator.load();
    json["PORTNAME"] = s.portName;
    PrintJson(json);
    return 0;
}

int CmdText(CliContext&, QStringList& args)
{
    if (args.size() != 2)
        return CliContext::Fail("usage: tavctl text SECTION ID");
    bool ok = false;
    const int id = args[1].toInt(&ok);
    if (!ok)
        return CliContext::Fail("the text id must be a number: " + args[1]);
    CliContext::Print(GetLangText(args[0], id));
    return 0;
}
