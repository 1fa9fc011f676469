#pragma once
#include <QDialog>
#include <QStringList>

class QListWidget;

// The list of the 40 diagnosis phrases; several may be chosen.
class DiagnosisPhrasesDialog : public QDialog {
    Q_OBJECT
  public:
    explicit DiagnosisPhrasesDialog(QWidget* parent = nullptr);

    // The chosen phrases in list order.
    QStringList SelectedPhrases() const;

  private:
    QListWidget* m_list = nullptr;
};
