#pragma once
#include <QDialog>
#include <QStringList>

class QComboBox;
class QLineEdit;

// Edits one correction: group, parameter, factor ("乘") and offset ("加").
class CPredictModDlg : public QDialog {
    Q_OBJECT
  public:
    CPredictModDlg(const QStringList& groups, const QStringList& parameters,
                   QWidget* parent = nullptr);

    // Preselects both lists and fills both fields.
    void SetValues(const QString& group, const QString& parameter, const QString& factor,
                   const QString& offset);

    int GroupIndex() const;     // position in the group list
    int ParameterIndex() const; // position in the parameter list
    QString Factor() const;
    QString Offset() const;

  private:
    QComboBox* m_group = nullptr;
    QComboBox* m_parameter = nullptr;
    QLineEdit* m_factor = nullptr;
    QLineEdit* m_offset = nullptr;
};
