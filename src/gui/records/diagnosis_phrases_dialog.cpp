#include "gui/records/diagnosis_phrases_dialog.h"

#include "core/app/lang_text.h"
#include "core/records/diagnosis.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

DiagnosisPhrasesDialog::DiagnosisPhrasesDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName("DiagnosisPhrasesDialog");
    setWindowTitle(GetLangText("SETTING", 1326));
    resize(420, 520);
    m_list = new QListWidget(this);
    m_list->setObjectName("phrases");
    m_list->setSelectionMode(QAbstractItemView::MultiSelection);
    m_list->addItems(DiagnosisPhrases());
    auto* ok = new QPushButton(GetLangText("RPTSETTING", 132), this);
    ok->setObjectName("ok");
    auto* cancel = new QPushButton(GetLangText("RPTSETTING", 133), this);
    cancel->setObjectName("cancel");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
}

QStringList DiagnosisPhrasesDialog::SelectedPhrases() const
{
    QStringList phrases;
    for (int row = 0; row < m_list->count(); ++row)
        if (m_list->item(row)->isSelected())
            phrases << m_list->item(row)->text();
    return phrases;
}
