#pragma once
#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

// The program's own modal message box. Button sets: 0 OK; 1 OK and Cancel;
// 4 Yes and No with the focus on Yes. exec() returns the id of the button
// pressed: 1 OK, 2 Cancel, 6 Yes, 7 No.
class MessageDialog : public QDialog {
    Q_OBJECT
  public:
    enum Answer { kOk = 1, kCancel = 2, kYes = 6, kNo = 7 };
    enum ButtonSet { kOkOnly = 0, kOkCancel = 1, kYesNo = 4 };

    MessageDialog(const QString& text, const QString& caption, int type, QWidget* parent = nullptr);

    QString Text() const;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void layoutButtons();
    QPushButton* addButton(const QString& text, int answer);

    QLabel* m_text = nullptr;
    QList<QPushButton*> m_buttons;
    int m_escapeAnswer = kOk;
};
