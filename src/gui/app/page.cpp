#include "gui/app/page.h"

#include "gui/app/workbench.h"

Page::Page(Workbench* shell, int templateId)
    : QWidget(shell->Window()), m_shell(shell), m_template(templateId)
{
    setObjectName(QString("page%1").arg(templateId));
}
