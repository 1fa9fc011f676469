#pragma once
#include "report/curve_plot.h"

#include <QWidget>

#include <memory>

// A pane of the results page: the day's stored curves of one kind and view,
// drawn by the one curve painter of the core.
class CStoredCurveView : public QWidget {
    Q_OBJECT
  public:
    explicit CStoredCurveView(QWidget* parent = nullptr);

    // Shows `tests` (the day's tests of one type, oldest first) as `kind` in `view`.
    void SetTests(int kind, CurveView view, std::shared_ptr<const DayTestList> tests);
    void SetOptions(const StoredPlotOptions& options);
    void SetTitle(const QString& title);

    int Kind() const { return m_plot.Kind(); }
    CurveView View() const { return m_plot.View(); }
    int CurveCount() const { return m_tests ? int(m_tests->size()) : 0; }
    const StoredPlotOptions& Options() const { return m_options; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    CurvePlot m_plot{kCurveFvcResult};
    std::shared_ptr<const DayTestList> m_tests;
    StoredPlotOptions m_options;
    QString m_title;
};
