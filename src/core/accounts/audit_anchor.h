#pragma once
// The newest audit rows this workstation wrote, per records database, kept
// outside the database in the program folder's AuditAnchor file (a line per
// row: the database's identity, Seq, RowHash; the last kKept of each
// database). The chain cannot show that its newest rows were removed; a
// trail that ends before the anchor, or holds other rows there, can.
#include <QString>

#include <vector>

class Database;

struct AuditMark {
    qint64 seq = 0; // 0: this workstation wrote no row to the database yet
    QString hash;
};

class AuditAnchor {
  public:
    // The anchor file of the program folder; none (nothing kept) when the
    // program folder is not set.
    explicit AuditAnchor(const Database& db);
    AuditAnchor(QString file, QString database);

    static constexpr int kKept = 32;

    // Oldest first.
    std::vector<AuditMark> Marks() const;
    // Adds `mark` when it is later than every row the anchor names.
    bool Advance(const AuditMark& mark, QString* error = nullptr);

  private:
    QString m_file;
    QString m_database;
};
