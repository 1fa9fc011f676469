#pragma once
#include "core/app/program_version.h"

#include <QDialog>

// The About box: the product picture and "TAV <version> Version " with an OK button.
class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(QWidget* parent = nullptr);
    static QString VersionText() { return "TAV " + ProgramVersion() + " Version "; }
};
