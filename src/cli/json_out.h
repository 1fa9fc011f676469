#pragma once
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

// Prints a JSON document on stdout, compact, followed by a newline.
void PrintJson(const QJsonObject& object);
void PrintJson(const QJsonDocument& document);
