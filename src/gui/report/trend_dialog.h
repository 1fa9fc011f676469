#pragma once
#include "core/report/trend_series.h"

#include <QDialog>

#include <vector>

class TrendChartView;
class Database;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QScrollBar;

// The trend dialog: one parameter of a patient over all tests of a type,
// oldest first, against the predicted value; colours, zoom, sliders, point
// selection and the trend report through the print preview.
class TrendDialog : public QDialog {
    Q_OBJECT
  public:
    TrendDialog(Database& db, int patientId, QWidget* parent = nullptr, int testType = kTestFvc);

    // The colour keys of the seven colour buttons, in their order.
    static QStringList ColorKeys();
    // Sets the seven colours to their defaults and writes every key.
    static void ResetColors();

    int Parameter() const { return m_parameter; }
    void SelectParameter(int parameter);
    TrendChartView* Chart() const { return m_chart; }
    int TestCount() const { return int(m_tests.size()); }

  private:
    Database& m_db;
    void onListChanged();
    void onColor(int index);
    void onResetColors();
    void onPrint();
    void zoom(double fx, double fy);
    void syncSliders();
    void onPointSelected(int index);

    int m_patientId;
    int m_testType;
    int m_parameter = kTrendFvc;
    std::vector<TrendTest> m_tests;
    TrendChartView* m_chart = nullptr;  // 1000
    QListWidget* m_list = nullptr;       // 1119, hidden
    QButtonGroup* m_radios = nullptr;    // 1139-1144
    QLabel* m_value = nullptr;           // the selected point's label
    QCheckBox* m_zScores = nullptr;      // z-scores in place of the values
    QScrollBar* m_horizontal = nullptr;  // 1011
    QScrollBar* m_vertical = nullptr;    // 1014
};
