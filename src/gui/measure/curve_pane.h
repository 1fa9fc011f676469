#pragma once
#include <QFrame>

// One curve pane of the patient list page (FVC, VC or MVV). Until the curve
// plots arrive it draws its frame, its title and how many tests of the day it
// holds; its details spot already leads to the results page.
class CCurvePane : public QFrame {
    Q_OBJECT
  public:
    CCurvePane(int testType, QWidget* parent = nullptr);

    int TestType() const { return m_testType; }
    void SetTestCount(int count);
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
    int TestCount() const { return m_testCount; }
    bool IsHighlighted() const { return m_highlighted; }

    // The details spot: FVC from 1/3 to 1/10 of the width measured from the
    // right edge and 1/30 to 1/7 of the height from the top; VC and MVV from
    // 1/5 to 1/20 of the width and 1/30 to 1/15 of the height.
    static QRect DetailsSpot(int testType, const QSize& size);

  signals:
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
