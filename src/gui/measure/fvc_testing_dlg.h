#pragma once
#include "app/page.h"

class QLabel;

// The live test page (template 211). This build shows which test of which
// patient is about to run; the live test itself comes with the device pages.
// Close returns to the patient list.
class CFVCTestingDlg : public CPage {
    Q_OBJECT
  public:
    explicit CFVCTestingDlg(CMainShellDlg* shell);

    void OnCancel() override;
    void ApplyTexts() override;

  private:
    QLabel* m_title = nullptr;
};
