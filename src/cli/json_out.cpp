#include "json_out.h"

#include <QTextStream>

void PrintJson(const QJsonDocument& document)
{
    QTextStream(stdout) << QString::fromUtf8(document.toJson(QJsonDocument::Compact)) << '\n';
}

void PrintJson(const QJsonObject& object) { PrintJson(QJsonDocument(object)); }
