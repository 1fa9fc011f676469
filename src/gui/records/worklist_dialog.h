#pragma once
// Today's orders of the hospital's Modality Worklist (asked on a worker).
// "Take" stores the order's patient by the identity rules of GDT requests
// (core/hospital) and closes with its ID; a refusal is shown and nobody changes.
#include <QDialog>

#include <vector>

class Database;
class QLabel;
class QTableWidget;
struct WorklistOrder;

class WorklistDialog : public QDialog {
    Q_OBJECT
  public:
    explicit WorklistDialog(Database& db, QWidget* parent = nullptr);
    ~WorklistDialog() override;

    void Refresh();
    bool TakeSelected();
    int TakenPatient() const { return m_taken; }

  private:
    Database& m_db;
    QTableWidget* m_table = nullptr;
    QLabel* m_status = nullptr;
    std::vector<WorklistOrder> m_orders;
    int m_taken = 0;
};
