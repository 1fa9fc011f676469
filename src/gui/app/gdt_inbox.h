#pragma once
// Watches the GDT exchange folder while the patient list is shown: a request
// from the practice system selects (or creates) its patient and opens the live
// test page for the requested test; a refused request is reported, and so is
// (once) a request waiting for the database to come back. The file is read on
// a worker (a FIFO or a device under the request's name never holds up the
// window); only what it asks for comes back to the interface thread, which
// stores it.
#include <QObject>
#include <QTimer>

class Workbench;
class QThread;
struct GdtInboxFile;

class GdtInbox : public QObject {
    Q_OBJECT
  public:
    explicit GdtInbox(Workbench& shell, int intervalMs = 2000);
    ~GdtInbox() override;

    // Starts one look at the folder (the timer calls it) unless one is running
    // or the patient list is not shown; Looked tells how it ended.
    void Poll();

  signals:
    // After a look, on the interface thread: whether a request was taken.
    void Looked(bool taken);

  private:
    void finish(const GdtInboxFile& file);
    bool settle(const GdtInboxFile& file);
    bool onPatientList() const;
    void say(const QString& text, const QString& caption);

    Workbench& m_shell;
    QTimer m_timer;
    QThread* m_worker = nullptr;
    bool m_waiting = false; // the last look met a passing fault (already reported)
};
