#include "gui/report/print_preview.h"

#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/report/pdf_export.h"
#include "gui/app/dialog_hooks.h"
#include "gui/app/show_message.h"
#include "gui/report/pdf_wait_dialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QStandardPaths>
#include <QStatusBar>
#include <QToolBar>

namespace {
QPointer<PrintPreview>& current()
{
    static QPointer<PrintPreview> frame;
    return frame;
}
constexpr double kZoomStep = 1.25;
constexpr double kMinZoom = 0.1;
constexpr double kMaxZoom = 8.0;
// The toolbar in the order of its commands: Print, Next, Prev, one/two pages
// (twice: the label for "show two" and for "show one"), Zoom In, Zoom Out,
// Close, PDF, Diagnose.
const char* const kEnglish[] = {"&Print...", "&Next Page", "Pre&v Page", "&Two Page",
                                "&One Page", "Zoom &In",   "Zoom &Out",  "&Close",
                                "PD&F",      "&Diagnose"};
const char* const kChinese[] = {"打印(&P)...", "下一页(&N)", "上一页(&V)", "两页(&T)",
                                "一页(&O)",    "放大(&I)",   "缩小(&O)",   "关闭(&C)",
                                "PDF(&F)",     "诊断(&D)"};
} // namespace

QStringList PrintPreview::ToolbarLabels(const QString& language)
{
    // Only the exact value selects the Chinese toolbar ("chinese" does not).
    const bool chinese = language == "Chinese";
    QStringList labels;
    for (int i = 0; i < 10; ++i)
        labels << QString::fromUtf8(chinese ? kChinese[i] : kEnglish[i]);
    return labels;
}

QString PrintPreview::DefaultTitle(const QWidget* mainWindow)
{
    const QString caption = mainWindow ? mainWindow->windowTitle() : QString();
    if (caption.isEmpty())
        return " " + GetLangText("REPORT", 1219);
    return caption + " " + GetLangText("REPORT", 1218);
}

PrintPreview* PrintPreview::Current()
{
    return current();
}

PrintPreview::PrintPreview(DrawPage draw, QWidget* mainWindow, QWidget* restoreWindow,
                       bool directPrint, int pageCount, const QString& title)
    : m_draw(std::move(draw)), m_mainWindow(mainWindow), m_restoreWindow(restoreWindow),
      m_directPrint(directPrint), m_pageCount(qMax(1, pageCount)),
      m_printer(QPrinter::HighResolution)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName("printPreview");
    setWindowTitle(title.isEmpty() ? DefaultTitle(mainWindow) : title);
    if (mainWindow)
        setWindowIcon(mainWindow->windowIcon());
    // Opened from a modal dialog (the trend curves) it must not be blocked by it.
    setWindowModality(Qt::ApplicationModal);
    m_printer.setPageSize(QPageSize(QPageSize::A4));
    m_printer.setDocName(windowTitle().trimmed());

    m_preview = new QPrintPreviewWidget(&m_printer, this);
    m_preview->setObjectName("preview");
    m_preview->setZoomMode(QPrintPreviewWidget::FitInView);
    connect(m_preview, &QPrintPreviewWidget::paintRequested, this, &PrintPreview::paintAll);
    connect(m_preview, &QPrintPreviewWidget::previewChanged, this, &PrintPreview::refreshButtons);
    setCentralWidget(m_preview);

    const QStringList labels = ToolbarLabels(Settings().language);
    auto* bar = addToolBar("preview");
    bar->setObjectName("previewToolbar");
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    addCommand(labels[0], "print", &PrintPreview::OnPrint);
    addCommand(labels[1], "nextPage", &PrintPreview::OnNextPage);
    addCommand(labels[2], "prevPage", &PrintPreview::OnPrevPage);
    addCommand(labels[3], "twoPages", &PrintPreview::OnTogglePages);
    addCommand(labels[5], "zoomIn", &PrintPreview::OnZoomIn);
    addCommand(labels[6], "zoomOut", &PrintPreview::OnZoomOut);
    QAction* close = addCommand(labels[7], "close", nullptr);
    connect(close, &QAction::triggered, this, &QWidget::close);
    addCommand(labels[8], "pdf", &PrintPreview::OnPdf);
    addCommand(labels[9], "diagnose", &PrintPreview::OnDiagnose);
    bar->addActions(m_actions);
    statusBar()->showMessage(QString());
    current() = this;

    if (m_directPrint) {
        OnPrint();
        return;
    }
    setGeometry(200, 200, 500, 500);
    showMaximized();
    if (m_mainWindow)
        m_mainWindow->hide();
    refreshButtons();
}

PrintPreview::~PrintPreview() = default;

QAction* PrintPreview::addCommand(const QString& text, const char* name,
                                void (PrintPreview::*slot)())
{
    auto* action = new QAction(text, this);
    action->setObjectName(name);
    if (slot)
        connect(action, &QAction::triggered, this, slot);
    m_actions << action;
    return action;
}

QAction* PrintPreview::Action(const QString& name) const
{
    for (QAction* action : m_actions)
        if (action->objectName() == name)
            return action;
    return nullptr;
}

void PrintPreview::SetDiagnose(std::function<bool(QWidget*)> diagnose)
{
    m_diagnose = std::move(diagnose);
    refreshButtons();
}

int PrintPreview::CurrentPage() const
{
    return m_preview->currentPage();
}
bool PrintPreview::TwoPages() const
{
    return m_preview->viewMode() == QPrintPreviewWidget::FacingPagesView;
}
double PrintPreview::ZoomFactor() const
{
    return m_preview->zoomFactor();
}

void PrintPreview::paintAll(QPrinter* printer)
{
    QPainter painter(printer);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF page(QPointF(0, 0),
                      printer->pageLayout().paintRectPixels(printer->resolution()).size());
    for (int i = 1; i <= m_pageCount; ++i) {
        if (i > 1)
            printer->newPage();
        painter.save();
        m_draw(painter, page, i);
        painter.restore();
    }
}

void PrintPreview::refreshButtons()
{
    const int step = TwoPages() ? 2 : 1;
    Action("nextPage")->setEnabled(CurrentPage() + step <= m_pageCount);
    Action("prevPage")->setEnabled(CurrentPage() > 1);
    Action("twoPages")->setEnabled(m_pageCount > 1);
    const QStringList labels = ToolbarLabels(Settings().language);
    Action("twoPages")->setText(TwoPages() ? labels[4] : labels[3]);
    Action("zoomIn")->setEnabled(ZoomFactor() * kZoomStep <= kMaxZoom);
    Action("zoomOut")->setEnabled(ZoomFactor() / kZoomStep >= kMinZoom);
    Action("diagnose")->setEnabled(bool(m_diagnose));
    statusBar()->showMessage(QString("%1 / %2").arg(CurrentPage()).arg(m_pageCount));
}

void PrintPreview::OnNextPage()
{
    m_preview->setCurrentPage(qMin(m_pageCount, CurrentPage() + (TwoPages() ? 2 : 1)));
    refreshButtons();
}

void PrintPreview::OnPrevPage()
{
    m_preview->setCurrentPage(qMax(1, CurrentPage() - (TwoPages() ? 2 : 1)));
    refreshButtons();
}

void PrintPreview::OnTogglePages()
{
    m_preview->setViewMode(TwoPages() ? QPrintPreviewWidget::SinglePageView
                                      : QPrintPreviewWidget::FacingPagesView);
    refreshButtons();
}

void PrintPreview::OnZoomIn()
{
    m_preview->setZoomFactor(qMin(kMaxZoom, ZoomFactor() * kZoomStep));
    refreshButtons();
}

void PrintPreview::OnZoomOut()
{
    m_preview->setZoomFactor(qMax(kMinZoom, ZoomFactor() / kZoomStep));
    refreshButtons();
}

void PrintPreview::OnPrint()
{
    if (m_directPrint)
        hide();
    PrintChoices choices;
    if (RunPrintDialog(this, m_printer, m_applyChoices ? &choices : nullptr)) {
        if (m_applyChoices)
            m_applyChoices(choices);
        m_preview->print();
        if (m_applyChoices)
            m_applyChoices(PrintChoices());
    }
    if (m_directPrint)
        close();
}

void PrintPreview::OnPdf()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    const QString suggested = folder + "/" +
                              (m_pdfFileName.isEmpty() ? windowTitle().trimmed() + ".pdf"
                                                       : m_pdfFileName);
    const QString path = AskPdfFileName(this, suggested);
    if (path.isEmpty())
        return;
    // An old file must never pass for the new one.
    if (QFile::exists(path) && !QFile::remove(path)) {
        ShowMessage(GetLangText("MESSAGE", 1215), ErrorCaption(), 0, this);
        return;
    }
    PdfPrinterSettings settings;
    settings.SetOutput(path);
    settings.title = windowTitle().trimmed();
    const DrawPage draw = m_draw;
    const int pages = m_pageCount;
    PdfWaitDialog wait(path, [settings, draw, pages] {
        return WritePdf(settings, pages, [&draw](QPainter& p, const QRectF& r, int page) {
            draw(p, r, page);
        });
    }, this);
    if (wait.exec() == QDialog::Accepted) {
        if (ShowMessage(GetLangText("MESSAGE", 1214), PromptCaption(), 4, this) == 6)
            OpenDocument(path);
    } else {
        ShowMessage(GetLangText("MESSAGE", 1215), ErrorCaption(), 0, this);
    }
}

void PrintPreview::OnDiagnose()
{
    if (m_diagnose && m_diagnose(this))
        m_preview->updatePreview();
}

void PrintPreview::closeEvent(QCloseEvent* event)
{
    // However the preview ends, the main window and the page come back.
    if (m_mainWindow)
        m_mainWindow->show();
    if (m_restoreWindow && m_restoreWindow->isHidden())
        m_restoreWindow->show();
    if (current() == this)
        current() = nullptr;
    event->accept();
}
