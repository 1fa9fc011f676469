#pragma once
#include <QDialog>
#include <QPointer>

#include "core/accounts/idle_lock.h"
#include "gui/app/page.h"
#include "gui/app/workbench.h"

// The main window: one maximised dialog that shows one page at a time and
// keeps the state the pages share.
class MainWindow : public QDialog, public Workbench {
    Q_OBJECT
  public:
    // `db` is the open database start-up built; it outlives the window.
    explicit MainWindow(Database& db, QWidget* parent = nullptr);
    ~MainWindow() override;

    QWidget* Window() override { return this; }
    int ShowPage(int templateId) override;
    Page* CurrentPage() const override { return m_page; }
    void ApplyTexts() override;
    void EndShell() override;
    void RecordsChanged(int patientId) override;
    // Also starts the idle lock for the user (the settings' minutes).
    void SetUser(const Actor& user) override;
    // Locks the window after idle time; tests shorten it.
    IdleLock& Lock() { return m_idleLock; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    bool handleKey(QWidget* target, QKeyEvent* key);
    Page* createPage(int templateId);
    void refreshSharedRecords();
    // The modal log-in over the window until the user or an administrator
    // logs in; Cancel ends the program.
    void onIdleLocked();

    IdleLock m_idleLock;
    QPointer<Page> m_page;
};
