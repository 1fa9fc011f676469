#include "gui/records/correction_dialog.h"

#include "core/app/lang_text.h"
#include "gui/app/ui_text.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CorrectionDialog::CorrectionDialog(const QVector<NationGroup>& groups,
                               const QStringList& parameters, QWidget* parent)
    : QDialog(parent)
{
    setObjectName("CorrectionDialog");
    setWindowTitle(GetLangText("PredictDlg", 1235));
    m_group = new QComboBox(this);
    m_group->setObjectName("group");
    for (const NationGroup& group : groups)
        m_group->addItem(group.Name, group.ID);
    m_parameter = new QComboBox(this);
    m_parameter->setObjectName("parameter");
    for (int p = 0; p < parameters.size(); ++p)
        m_parameter->addItem(parameters[p], p + 1);
    m_factor = new QLineEdit(this);
    m_factor->setObjectName("factor");
    m_offset = new QLineEdit(this);
    m_offset->setObjectName("offset");

    auto* form = new QFormLayout;
    form->addRow(GetLangText("PredictDlg", 1229), m_group);
    form->addRow(GetLangText("PredictDlg", 1230), m_parameter);
    form->addRow(GetLangText("PredictDlg", 1231), m_factor);
    form->addRow(GetLangText("PredictDlg", 1232), m_offset);
    auto* ok = new QPushButton(UiText("Modify", "修改"), this);
    ok->setObjectName("ok");
    auto* cancel = new QPushButton(GetLangText("OTHERDLG", 133), this);
    cancel->setObjectName("cancel");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

void CorrectionDialog::SetValues(int group, int parameter, const QString& factor,
                               const QString& offset)
{
    m_group->setCurrentIndex(m_group->findData(group));
    m_parameter->setCurrentIndex(m_parameter->findData(parameter));
    m_factor->setText(factor);
    m_offset->setText(offset);
}

int CorrectionDialog::Group() const
{
    return m_group->currentData().toInt();
}
int CorrectionDialog::Parameter() const
{
    return m_parameter->currentData().toInt();
}
QString CorrectionDialog::Factor() const
{
    return m_factor->text();
}
QString CorrectionDialog::Offset() const
{
    return m_offset->text();
}
