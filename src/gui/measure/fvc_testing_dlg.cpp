#include "fvc_testing_dlg.h"

#include "app/lang_text.h"
#include "app/main_shell_dlg.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const char* const kTestNames[] = {"FVC", "VC", "MVV"};
}

CFVCTestingDlg::CFVCTestingDlg(CMainShellDlg* shell) : CPage(shell, CMainShellDlg::kLiveTestPage)
{
    m_title = new QLabel(this);
    m_title->setObjectName("testTitle");
    m_title->setAlignment(Qt::AlignCenter);
    QFont font = m_title->font();
    font.setPointSize(font.pointSize() * 2);
    m_title->setFont(font);
    auto* close = new QPushButton(this);
    close->setObjectName("close");
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &CFVCTestingDlg::OnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(m_title);
    layout->addStretch();
    layout->addWidget(close, 0, Qt::AlignRight);
    ApplyTexts();
}

void CFVCTestingDlg::ApplyTexts()
{
    const int type = qBound(0, Shell()->CurrentTestType(), 2);
    m_title->setText(QString("%1 %2").arg(kTestNames[type], GetLangText("CASE", 1221)));
    if (auto* close = findChild<QPushButton*>("close"))
        close->setText(GetLangText("FVCTestingDlg", 1208));
}

void CFVCTestingDlg::OnCancel()
{
    Shell()->ShowPage(CMainShellDlg::kMainPage);
}
