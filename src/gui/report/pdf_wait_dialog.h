#pragma once
#include <QDialog>
#include <QString>

#include <atomic>
#include <functional>
#include <thread>

class QLabel;
class QTimer;

// "Please wait" while a PDF file is written: the writing runs on a worker
// thread, the dialog looks for the file every half second and adds a dot
// each time (0 to 5, then again). It ends with OK once the writing has
// finished and the file exists, with Cancel when the writing finished without
// a file or after 600 looks (300 seconds).
class PdfWaitDialog : public QDialog {
    Q_OBJECT
  public:
    PdfWaitDialog(const QString& path, std::function<bool()> write, QWidget* parent = nullptr);
    ~PdfWaitDialog() override;

    static constexpr int kMaxWaits = 600;
    static constexpr int kWaitMs = 500;
    // The text after `waits` looks: "Please wait" and waits % 6 dots.
    static QString WaitText(int waits);
    int Waits() const { return m_waits; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void tick();

    QString m_path;
    std::function<bool()> m_write;
    std::thread m_worker;
    std::atomic<int> m_finished{0};
    QLabel* m_text = nullptr;
    QTimer* m_timer = nullptr;
    int m_waits = 0;
};
