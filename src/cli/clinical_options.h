#pragma once
// Options shared by tavctl reference and interpret: the reference set, the
// person, and measured values given as NAME=VALUE.
#include "core/clinical/gli_equations.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <map>

struct ReferenceOptions {
    GliSet set = GliSet::GliGlobal2022;
    GliSubject subject;
    bool json = false;
};

// Takes --set --sex --age --height [--ethnic] [--json] out of `args`; false with `error` set.
bool TakeReferenceOptions(QStringList& args, ReferenceOptions& options, QString& error);

// Takes every "--name NAME=VALUE"; values keyed by parameter. FEV1/FVC is a fraction.
bool TakeMeasuredValues(QStringList& args, const QString& option,
                        std::map<GliParameter, double>& values, QString& error);

// A finite number, else null (JSON has no NaN).
QJsonValue JsonNumber(double value);

struct Interpretation;
struct BronchodilatorChange;
// The members of `tavctl interpret`, also used inside `tavctl session`.
QJsonObject InterpretationJson(const Interpretation& interpretation);
QJsonObject BronchodilatorChangeJson(const BronchodilatorChange& change);
