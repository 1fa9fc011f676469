#pragma once
#include "gui/app/dialog_hooks.h"

#include <QMainWindow>
#include <QPointer>
#include <QPrinter>

#include <functional>

class QAction;
class QPainter;
class QPrintPreviewWidget;

// The print preview of one report: a frame with its own toolbar around a
// preview of the report's drawing routine. While it is open the main window
// is hidden; closing it, however it closes, shows the main window again.
class PrintPreview : public QMainWindow {
    Q_OBJECT
  public:
    // Paints page `page` (1 first) into `pageRect` of the painter's device.
    using DrawPage = std::function<void(QPainter& painter, const QRectF& pageRect, int page)>;

    // Opens the preview at once (or, with `directPrint`, prints and closes).
    // `title` empty: the main window's caption and REPORT 1218.
    PrintPreview(DrawPage draw, QWidget* mainWindow, QWidget* restoreWindow, bool directPrint,
               int pageCount, const QString& title = QString());
    ~PrintPreview() override;

    // The file name the PDF export suggests (in the desktop folder).
    void SetPdfFileName(const QString& name) { m_pdfFileName = name; }
    // Told the report options of the print dialog before the pages are
    // printed, and the defaults again afterwards (the preview and the PDF
    // always show the whole day).
    void SetPrintChoicesHandler(std::function<void(const PrintChoices&)> apply)
    {
        m_applyChoices = std::move(apply);
    }

    // The diagnosis dialog of the toolbar: true when it ended with OK (the preview is redrawn).
    void SetDiagnose(std::function<bool(QWidget* parent)> diagnose);

    int PageCount() const { return m_pageCount; }
    int CurrentPage() const;
    bool TwoPages() const;
    double ZoomFactor() const;
    QAction* Action(const QString& name) const;
    QPrinter& Printer() { return m_printer; }

    // The preview that is open now, null when none.
    static PrintPreview* Current();
    // The caption: the main window's caption + " " + REPORT 1218, or " " + REPORT 1219.
    static QString DefaultTitle(const QWidget* mainWindow);
    // The toolbar's labels: Chinese when LANGUAGE is exactly "Chinese".
    static QStringList ToolbarLabels(const QString& language);

    // The commands of the toolbar.
    void OnPrint();
    void OnNextPage();
    void OnPrevPage();
    void OnTogglePages();
    void OnZoomIn();
    void OnZoomOut();
    void OnPdf();
    void OnDiagnose();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void paintAll(QPrinter* printer);
    void refreshButtons();
    QAction* addCommand(const QString& text, const char* name, void (PrintPreview::*slot)());

    DrawPage m_draw;
    QPointer<QWidget> m_mainWindow;
    QPointer<QWidget> m_restoreWindow;
    bool m_directPrint;
    int m_pageCount;
    QPrinter m_printer;
    QPrintPreviewWidget* m_preview = nullptr;
    std::function<bool(QWidget*)> m_diagnose;
    std::function<void(const PrintChoices&)> m_applyChoices;
    QString m_pdfFileName;
    QList<QAction*> m_actions;
};
