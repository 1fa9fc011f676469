#pragma once
#include <QWidget>

class Workbench;

// One page of the main window (patient list, results, live test). The main
// window shows exactly one at a time and forwards the commands that belong
// to the page rather than to the window.
class Page : public QWidget {
    Q_OBJECT
  public:
    Page(Workbench* shell, int templateId);

    int Template() const { return m_template; }
    Workbench* Shell() const { return m_shell; }

    // The Cancel command (id 2): closing the main window sends it to the page.
    virtual void OnCancel() = 0;
    // Ctrl+Alt+C, forwarded by the main window.
    virtual void OnHotKey() {}
    // Looks every text up again (after a change of language).
    virtual void ApplyTexts() {}

  private:
    Workbench* m_shell;
    int m_template;
};
