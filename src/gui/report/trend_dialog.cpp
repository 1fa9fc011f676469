#include "gui/report/trend_dialog.h"

#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "gui/app/dialog_hooks.h"
#include "gui/app/show_message.h"
#include "gui/report/print_preview.h"
#include "gui/report/trend_chart_view.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <memory>

namespace {
QColor fromColorRef(ColorRef c)
{
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}
ColorRef toColorRef(const QColor& c)
{
    return ColorRef(c.red()) | ColorRef(c.green()) << 8 | ColorRef(c.blue()) << 16;
}
// The settings field of each colour button, in the order of ColorKeys().
ColorRef& colorField(int index)
{
    SystemSettings& s = Settings();
    ColorRef* fields[] = {&s.trendBkColor, &s.fvcColor,     &s.fev1Color, &s.fef50Color,
                          &s.fef75Color,   &s.fef2575Color, &s.refColor};
    return *fields[index];
}
constexpr ColorRef kDefaultColors[] = {0xFFFFCC, 0xFF, 0xFF00FF, 0x2EA9C2,
                                       0xAF4144, 0x3399, 0x9E9152};
constexpr double kZoomStep = 1.5;
constexpr int kSliderStep = 20;

QPushButton* button(const QString& text, const char* name, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}
} // namespace

QStringList TrendDialog::ColorKeys()
{
    return {"TRENDBKCOLOR", "FVCCOLOR",     "FEV1COLOR", "FEF50COLOR",
            "FEF75COLOR",   "FEF2575COLOR", "REFCOLOR"};
}

void TrendDialog::ResetColors()
{
    const QStringList keys = ColorKeys();
    for (int i = 0; i < keys.size(); ++i) {
        colorField(i) = kDefaultColors[i];
        Settings().WriteInt(keys[i], int(kDefaultColors[i]));
    }
}

TrendDialog::TrendDialog(Database& db, int patientId, QWidget* parent, int testType)
    : QDialog(parent), m_db(db), m_patientId(patientId), m_testType(testType)
{
    setObjectName("trendDialog");
    setWindowTitle(GetLangText("TREND CURVE", 176));
    m_tests = LoadTrendTests(m_db, patientId, testType);

    m_chart = new TrendChartView(this);
    m_chart->setObjectName("chart");
    m_horizontal = new QScrollBar(Qt::Horizontal, this);
    m_horizontal->setObjectName("horizontalSlider");
    m_vertical = new QScrollBar(Qt::Vertical, this);
    m_vertical->setObjectName("verticalSlider");
    m_list = new QListWidget(this);
    m_list->setObjectName("parameterList");
    for (int p = 0; p < kTrendParameterCount; ++p)
        m_list->addItem(TrendParameterName(p));
    m_list->hide();

    // Radio buttons in the dialog's order: FVC, FEV1, FEF25, FEF75, FEF2575, PEF.
    m_radios = new QButtonGroup(this);
    auto* radios = new QVBoxLayout;
    for (int p : {kTrendFvc, kTrendFev1, kTrendFef25, kTrendFef75, kTrendFef2575, kTrendPef}) {
        auto* radio = new QRadioButton(TrendParameterName(p), this);
        radio->setObjectName("radio" + TrendParameterName(p));
        m_radios->addButton(radio, p);
        radios->addWidget(radio);
    }
    // Beside the values: their z-scores against the patient's GLI set.
    m_zScores = new QCheckBox(GetLangText("CLINICAL", 2586), this);
    m_zScores->setObjectName("zScores");
    radios->addWidget(m_zScores);
    m_value = new QLabel(this);
    m_value->setObjectName("value");
    radios->addWidget(m_value);
    radios->addStretch();

    auto* colors = new QGridLayout;
    colors->addWidget(new QLabel(GetLangText("TREND CURVE", 196), this), 0, 0, 1, 2);
    const QStringList colorLabels = {GetLangText("TREND CURVE", 2342), "FVC", "FEV1", "FEF50",
                                     "FEF75", "FEF2575", GetLangText("TREND CURVE", 2343)};
    for (int i = 0; i < colorLabels.size(); ++i) {
        QPushButton* b = button(colorLabels[i], ColorKeys()[i].toLatin1().constData(), this);
        colors->addWidget(b, 1 + i / 2, i % 2);
        connect(b, &QPushButton::clicked, this, [this, i] { onColor(i); });
    }
    QPushButton* reset = button(GetLangText("TREND CURVE", 2344), "resetColors", this);
    colors->addWidget(reset, 5, 0, 1, 2);

    QPushButton* zoomIn = button("+", "zoomIn", this);              // 1003
    QPushButton* zoomOut = button("-", "zoomOut", this);            // 1004
    QPushButton* wider = button("<->", "widen", this);               // 1005
    QPushButton* narrower = button(">-<", "narrow", this);           // 1006
    QPushButton* left = button("<", "left", this);                   // 1009
    QPushButton* right = button(">", "right", this);                 // 1013
    QPushButton* up = button("^", "up", this);                       // 1015
    QPushButton* down = button("v", "down", this);                   // 1016
    QPushButton* print = button(GetLangText("CASE", 117), "print", this); // 1146
    QPushButton* ok = button(GetLangText("TREND CURVE", 132), "ok", this); // 1145

    auto* chartGrid = new QGridLayout;
    chartGrid->addWidget(m_chart, 0, 0);
    chartGrid->addWidget(m_vertical, 0, 1);
    chartGrid->addWidget(m_horizontal, 1, 0);
    auto* view = new QHBoxLayout;
    for (QPushButton* b : {zoomIn, zoomOut, wider, narrower, left, right, up, down})
        view->addWidget(b);
    view->addStretch();
    view->addWidget(print);
    view->addWidget(ok);
    auto* side = new QVBoxLayout;
    side->addLayout(radios);
    side->addLayout(colors);
    auto* body = new QHBoxLayout;
    body->addLayout(chartGrid, 1);
    body->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(view);
    resize(900, 600);

    connect(m_radios, &QButtonGroup::idClicked, this, &TrendDialog::SelectParameter);
    connect(m_list, &QListWidget::currentRowChanged, this, &TrendDialog::onListChanged);
    connect(m_zScores, &QCheckBox::toggled, this, &TrendDialog::onListChanged);
    connect(reset, &QPushButton::clicked, this, &TrendDialog::onResetColors);
    connect(zoomIn, &QPushButton::clicked, this, [this] { zoom(kZoomStep, kZoomStep); });
    connect(zoomOut, &QPushButton::clicked, this, [this] { zoom(1 / kZoomStep, 1 / kZoomStep); });
    connect(wider, &QPushButton::clicked, this, [this] { zoom(kZoomStep, 1); });
    connect(narrower, &QPushButton::clicked, this, [this] { zoom(1 / kZoomStep, 1); });
    connect(left, &QPushButton::clicked, this,
            [this] { m_horizontal->triggerAction(QAbstractSlider::SliderSingleStepSub); });
    connect(right, &QPushButton::clicked, this,
            [this] { m_horizontal->triggerAction(QAbstractSlider::SliderSingleStepAdd); });
    connect(up, &QPushButton::clicked, this,
            [this] { m_vertical->triggerAction(QAbstractSlider::SliderSingleStepSub); });
    connect(down, &QPushButton::clicked, this,
            [this] { m_vertical->triggerAction(QAbstractSlider::SliderSingleStepAdd); });
    connect(m_horizontal, &QScrollBar::valueChanged, this,
            [this](int x) { m_chart->SetOffset(x, m_chart->OffsetY()); });
    connect(m_vertical, &QScrollBar::valueChanged, this,
            [this](int y) { m_chart->SetOffset(m_chart->OffsetX(), y); });
    connect(m_chart, &TrendChartView::pointSelected, this, &TrendDialog::onPointSelected);
    connect(print, &QPushButton::clicked, this, &TrendDialog::onPrint);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    m_horizontal->setSingleStep(kSliderStep);
    m_vertical->setSingleStep(kSliderStep);
    syncSliders();
    m_list->setCurrentRow(0);
    SelectParameter(kTrendFvc);
}

void TrendDialog::SelectParameter(int parameter)
{
    if (parameter < 0 || parameter >= kTrendParameterCount)
        return;
    if (QAbstractButton* radio = m_radios->button(parameter))
        radio->setChecked(true);
    if (m_list->currentRow() != parameter)
        m_list->setCurrentRow(parameter); // recomputes through the list's change
    else
        onListChanged();
}

void TrendDialog::onListChanged()
{
    m_parameter = qMax(0, m_list->currentRow());
    // Only parameters with a GLI equation have z-scores.
    const bool zAvailable = HasTrendZScores(m_tests, m_parameter);
    m_zScores->setEnabled(zAvailable);
    const TrendSeries series =
        MakeTrendSeries(m_tests, m_parameter, zAvailable && m_zScores->isChecked());
    m_chart->SetSeries(series);
    m_value->setText(series.Empty() ? QString() : series.Label(int(series.points.size()) - 1));
}

void TrendDialog::onPointSelected(int index)
{
    m_value->setText(m_chart->Series().Label(index));
}

void TrendDialog::onColor(int index)
{
    QColor color = fromColorRef(colorField(index));
    if (!PickColor(this, color))
        return;
    // Written at once, so the choice survives whatever happens next.
    colorField(index) = toColorRef(color);
    Settings().WriteInt(ColorKeys()[index], int(colorField(index)));
    m_chart->update();
}

void TrendDialog::onResetColors()
{
    ResetColors();
    m_chart->update();
}

void TrendDialog::zoom(double fx, double fy)
{
    m_chart->SetZoom(m_chart->ZoomX() * fx, m_chart->ZoomY() * fy);
    syncSliders();
}

void TrendDialog::syncSliders()
{
    m_horizontal->setRange(0, m_chart->MaxOffsetX());
    m_horizontal->setPageStep(qMax(1, m_chart->width()));
    m_vertical->setRange(0, m_chart->MaxOffsetY());
    m_vertical->setPageStep(qMax(1, m_chart->height()));
    m_horizontal->setValue(m_chart->OffsetX());
    m_vertical->setValue(m_chart->OffsetY());
}

void TrendDialog::onPrint()
{
    PatientRecord patient;
    if (m_patientId <= 0 || !LoadPatient(m_db, m_patientId, patient)) {
        ShowMessage(GetLangText("MESSAGE", 1146), GetLangText("MESSAGE", 141), 0, this);
        return;
    }
    auto report = std::make_shared<TrendReport>();
    report->patientName = patient.Name;
    report->patientNumber = patient.PatientNumber;
    report->testType = m_testType;
    report->series = m_chart->Series();
    new PrintPreview([report](QPainter& painter, const QRectF& rect,
                            int) { PaintTrendPage(painter, rect, *report); },
                   parentWidget() ? parentWidget()->window() : nullptr, this, false, 1,
                   windowTitle() + " " + GetLangText("REPORT", 1218));
}
