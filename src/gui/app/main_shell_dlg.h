#pragma once
#include <QDialog>
#include <QPointer>

#include "gui/app/page.h"
#include "gui/app/workbench.h"

// The main window: one maximised dialog that shows one page at a time and
// keeps the state the pages share.
class CMainShellDlg : public QDialog, public Workbench {
    Q_OBJECT
  public:
    // `db` is the open database start-up built; it outlives the window.
    explicit CMainShellDlg(Database& db, QWidget* parent = nullptr);
    ~CMainShellDlg() override;

    QWidget* Window() override { return this; }
    int ShowPage(int templateId) override;
    CPage* CurrentPage() const override { return m_page; }
    void ApplyTexts() override;
    void EndShell() override;
    void RecordsChanged(int patientId) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    bool handleKey(QWidget* target, QKeyEvent* key);
    CPage* createPage(int templateId);
    void refreshSharedRecords();

    QPointer<CPage> m_page;
};
