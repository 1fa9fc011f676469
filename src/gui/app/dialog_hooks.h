#pragma once
#include <QString>

#include <functional>

class QWidget;

// Dialogs that other parts of the program provide (calibration, trend curves,
// report preview, communication setup, the device's version). The pages call
// them through here, so each arrives without the pages changing; an empty
// function means the dialog is not available in this build.
struct DialogHooks {
    std::function<void(QWidget* parent)> calibration;
    std::function<void(QWidget* parent, int patientId)> trend;
    std::function<void(QWidget* parent, int patientId, const QString& day)> printReport;
    std::function<void(QWidget* parent)> commSetup;
    // Connects, asks the device for its version text and closes; false when it does not answer.
    std::function<bool(QString& version)> deviceVersion;
};

DialogHooks& Hooks();

// Tells the user that a dialog is missing from this build (instead of doing nothing).
void ShowNotAvailable(QWidget* parent);
