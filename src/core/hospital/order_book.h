#pragma once
// The worklist orders taken here: which patient an accession number belongs
// to and for which day, so that the day's results carry it (ORC/OBR of HL7,
// Accession Number of DICOM). Kept in Hospital/orders.json, written durably.
#include <QString>

#include <vector>

struct TakenOrder {
    int patientId = 0;
    QString accession;
    QString day;       // the scheduled date "YYYY-MM-DD" (the day taken when the order has none)
    QString procedure; // requested procedure, as the worklist describes it
    QString takenAt;   // ISO date-time
};

class OrderBook {
  public:
    explicit OrderBook(const QString& file);

    std::vector<TakenOrder> Read() const;
    // Adds the order; one taken again replaces its earlier entry.
    bool Record(const TakenOrder& order, QString* error = nullptr) const;
    // The accession of the last order taken for the patient and day; "" for none.
    QString AccessionFor(int patientId, const QString& day) const;

    static OrderBook InProgramFolder();

  private:
    QString m_file;
};
