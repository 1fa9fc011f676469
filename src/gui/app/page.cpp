#include "gui/app/page.h"

#include "gui/app/workbench.h"

CPage::CPage(Workbench* shell, int templateId)
    : QWidget(shell->Window()), m_shell(shell), m_template(templateId)
{
    setObjectName(QString("page%1").arg(templateId));
}
