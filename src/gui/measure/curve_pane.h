#pragma once
// One curve pane of the patient list page (FVC, VC or MVV): the day's stored
// curves of one test type drawn by the curve plot control, a title, and a
// details spot that turns the cursor into a hand and leads to the results
// page of that type.
#include "gui/measure/curve_plot_widget.h"

class Database;
struct DayResult;

class CurvePane : public CurvePlotWidget {
    Q_OBJECT
  public:
    CurvePane(int testType, QWidget* parent = nullptr);

    // The stored plot kind of a test type: FVC 0 (flow-volume), VC 3, MVV 1.
    static int KindOf(int testType);

    int TestType() const { return m_testType; }
    // The number of the day's tests (the CaseInfo rows); the spot needs at least one.
    void SetTestCount(int count);
    int TestCount() const { return m_testCount; }
    // Reads the day's test files of this type and shows their curves, the
    // best test in the wave colour. `predicted` (FVC) must outlive the pane's next load.
    void LoadDay(Database& db, int patientId, const QString& day,
                 const ManeuverResult* predicted = nullptr, bool singleLoop = false);
    // The same from a day already loaded (the three panes of a day share one load).
    void ShowDay(const DayResult& day, const ManeuverResult* predicted = nullptr, bool singleLoop = false);

    // The results page's panes ("V-L", "V-T") show a title of their own and no details spot.
    void SetTitle(const QString& title)
    {
        m_title = title;
        update();
    }
    void SetDetailsSpotEnabled(bool on)
    {
        m_spotEnabled = on;
        update();
    }
    bool IsHighlighted() const { return m_highlighted; }

    // The details spot: FVC from 1/3 to 1/10 of the width measured from the
    // right edge and 1/30 to 1/7 of the height from the top; VC and MVV from
    // 1/5 to 1/20 of the width and 1/30 to 1/15 of the height.
    static QRect DetailsSpot(int testType, const QSize& size);

  Q_SIGNALS:
    // The left button was released over the highlighted spot.
    void detailsClicked(int testType);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void setHighlighted(bool on);

    int m_testType;
    int m_testCount = 0;
    QString m_title;
    bool m_spotEnabled = true;
    bool m_highlighted = false;
};
