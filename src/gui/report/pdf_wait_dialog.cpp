#include "gui/report/pdf_wait_dialog.h"

#include "core/app/lang_text.h"

#include <QFileInfo>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

PdfWaitDialog::PdfWaitDialog(const QString& path, std::function<bool()> write,
                                   QWidget* parent)
    : QDialog(parent), m_path(path), m_write(std::move(write))
{
    setObjectName("pdfWait");
    setWindowTitle(GetLangText("PrintPDFWaitDlg", 1217));
    m_text = new QLabel(WaitText(0), this);
    m_text->setObjectName("waitText");
    m_text->setMinimumWidth(220);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    m_timer = new QTimer(this);
    m_timer->setInterval(kWaitMs);
    connect(m_timer, &QTimer::timeout, this, &PdfWaitDialog::tick);
}

PdfWaitDialog::~PdfWaitDialog()
{
    // A writer still running (the wait gave up) is waited for: it uses our path.
    if (m_worker.joinable())
        m_worker.join();
}

QString PdfWaitDialog::WaitText(int waits)
{
    return GetLangText("PrintPDFWaitDlg", 1216) + QString(waits % 6, QChar('.'));
}

void PdfWaitDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_worker.joinable() || m_timer->isActive())
        return;
    m_worker = std::thread([this] {
        if (m_write)
            m_write();
        m_finished = 1;
    });
    m_timer->start();
}

// Unlike a sleeping loop, the timer keeps the window painted and answering.
void PdfWaitDialog::tick()
{
    const bool finished = m_finished.load() != 0;
    if (finished && QFileInfo::exists(m_path)) {
        m_timer->stop();
        m_worker.join();
        accept();
        return;
    }
    if (finished || m_waits >= kMaxWaits) {
        m_timer->stop();
        reject();
        return;
    }
    ++m_waits;
    m_text->setText(WaitText(m_waits));
}
