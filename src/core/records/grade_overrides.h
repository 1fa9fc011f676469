#pragma once
// A physician's review of stored blows (table GradeOverride): whether a blow
// counts as acceptable, and optionally the grade of its test type, with the
// reason, who and when. The accounts layer writes them; the day-result model
// applies them beside the automatic verdict.
#include <QString>

#include <optional>
#include <vector>

class Database;

struct GradeOverride {
    QString dataName; // the blow's file, "<n>.dt"
    int session = 0;
    int maneuver = 0;
    bool acceptable = false;
    std::optional<char> grade; // 'A'..'F', the grade of the blow's test type
    QString reason;
    QString user;
    QString at; // "yyyy-MM-dd HH:mm" local time
};

// The reviews of patient `id`'s day ("YYYY-MM-DD"), in file order.
std::vector<GradeOverride> LoadGradeOverrides(Database& db, int id, const QString& day);

// Replaces the review of the blow inside the caller's transaction.
bool SaveGradeOverride(Database& db, int id, const QString& day, const GradeOverride& review);

// The stored blow of session `session`, manoeuvre `maneuver` on the day: its
// file and test type (0 FVC, 1 VC, 2 MVV); false when there is none.
bool FindStoredBlow(Database& db, int id, const QString& day, int session, int maneuver,
                    QString& dataName, int& testType);
