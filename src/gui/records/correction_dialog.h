#pragma once
#include "core/records/nation_groups.h"

#include <QDialog>
#include <QStringList>
#include <QVector>

class QComboBox;
class QLineEdit;

// Edits one correction: group, parameter, factor ("乘") and offset ("加").
// Groups are told apart by their keys, never by their names.
class CorrectionDialog : public QDialog {
    Q_OBJECT
  public:
    // Parameter p (0-based) of `parameters` is parameter number p + 1.
    CorrectionDialog(const QVector<NationGroup>& groups, const QStringList& parameters,
                   QWidget* parent = nullptr);

    // Preselects the group of key `group` and parameter number `parameter`, fills both fields.
    void SetValues(int group, int parameter, const QString& factor, const QString& offset);

    int Group() const;     // key (Race.ID) of the chosen group, 0 for none
    int Parameter() const; // number of the chosen parameter, 0 for none
    QString Factor() const;
    QString Offset() const;

  private:
    QComboBox* m_group = nullptr;
    QComboBox* m_parameter = nullptr;
    QLineEdit* m_factor = nullptr;
    QLineEdit* m_offset = nullptr;
};
