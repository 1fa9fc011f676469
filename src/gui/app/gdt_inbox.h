#pragma once
// Watches the GDT exchange folder while the patient list is shown: a request
// from the practice system selects (or creates) its patient and opens the live
// test page for the requested test; a refused request is reported, and so is
// (once) a request waiting for the database to come back.
#include <QObject>
#include <QTimer>

class Workbench;

class CGdtInbox : public QObject {
    Q_OBJECT
  public:
    explicit CGdtInbox(Workbench& shell, int intervalMs = 2000);

    // One look at the folder (the timer calls it); true when a request was taken.
    bool Poll();

  private:
    Workbench& m_shell;
    QTimer m_timer;
    bool m_waiting = false; // the last look met a passing fault (already reported)
};
