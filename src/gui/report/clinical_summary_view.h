#pragma once
// The results page's clinical summary of the day: FEV1, FVC and FEV1/FVC of
// each phase against the patient's GLI set with the z-score bars, painted by
// the same core painter as the report.
#include "core/report/clinical_summary.h"

#include <QWidget>

class ClinicalSummaryView : public QWidget {
    Q_OBJECT
  public:
    explicit ClinicalSummaryView(QWidget* parent = nullptr);

    void SetSummary(const ClinicalSummary& summary);
    const ClinicalSummary& Summary() const { return m_summary; }
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    ClinicalSummary m_summary;
};
