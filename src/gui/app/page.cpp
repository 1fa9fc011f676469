#include "gui/app/page.h"

#include "gui/app/main_shell_dlg.h"

CPage::CPage(CMainShellDlg* shell, int templateId)
    : QWidget(shell), m_shell(shell), m_template(templateId)
{
    setObjectName(QString("page%1").arg(templateId));
}
