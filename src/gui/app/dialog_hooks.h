#pragma once
#include <QColor>
#include <QString>

#include <functional>

class QPrinter;
class QWidget;
class Workbench;

// What the print dialog offers beyond the printer's own settings.
struct PrintChoices {
    bool bestLoopOnly = false; // the report draws only the best loop of each type
};

// Dialogs that other parts of the program provide (calibration, trend curves,
// report preview, communication setup, the device's version). The pages call
// them through here, so each arrives without the pages changing; an empty
// function means the dialog is not available in this build.
struct DialogHooks {
    std::function<void(Workbench* bench, QWidget* parent)> calibration;
    std::function<void(QWidget* parent, int patientId)> trend;
    std::function<void(Workbench* bench, QWidget* parent, int patientId, const QString& day)> printReport;
    std::function<void(QWidget* parent)> commSetup;
    // Connects on a worker, asks the device for its version text and closes;
    // `done` is called on the interface thread (answered false when the
    // device did not answer or the link is busy with a test).
    using VersionAnswer = std::function<void(bool answered, const QString& version)>;
    std::function<void(VersionAnswer done)> deviceVersion;

    // The standard dialogs, answered by tests instead of a user; an empty
    // function shows the real one. The file name is empty when cancelled.
    std::function<QString(QWidget* parent, const QString& suggested)> savePdfName;
    std::function<bool(QWidget* parent, QPrinter& printer)> printDialog;
    // Answers the report options of an accepted print dialog (tests only).
    std::function<void(PrintChoices& choices)> printChoices;
    std::function<bool(QWidget* parent, QColor& color)> pickColor;
    // Opens a finished document in the system's viewer.
    std::function<bool(const QString& path)> openDocument;
};

DialogHooks& Hooks();

// Tells the user that a dialog is missing from this build (instead of doing nothing).
void ShowNotAvailable(QWidget* parent);

// The standard dialogs through the hooks above.
QString AskPdfFileName(QWidget* parent, const QString& suggested);
// With `choices`, the dialog has a tab of report options that fills them.
bool RunPrintDialog(QWidget* parent, QPrinter& printer, PrintChoices* choices = nullptr);
bool PickColor(QWidget* parent, QColor& color);
bool OpenDocument(const QString& path);
