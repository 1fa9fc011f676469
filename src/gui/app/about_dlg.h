#pragma once
#include <QDialog>

// The About box: the product picture and "TAV 3.1.1 Version " with an OK button.
class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    static QString VersionText() { return QStringLiteral("TAV 3.1.1 Version "); }
};
