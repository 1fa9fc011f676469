#include "gui/records/predict_mod_dlg.h"

#include "core/app/lang_text.h"
#include "gui/app/ui_text.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CPredictModDlg::CPredictModDlg(const QStringList& groups, const QStringList& parameters,
                               QWidget* parent)
    : QDialog(parent)
{
    setObjectName("CPredictModDlg");
    setWindowTitle(GetLangText("PredictDlg", 1235));
    m_group = new QComboBox(this);
    m_group->setObjectName("group");
    m_group->addItems(groups);
    m_parameter = new QComboBox(this);
    m_parameter->setObjectName("parameter");
    m_parameter->addItems(parameters);
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

void CPredictModDlg::SetValues(const QString& group, const QString& parameter,
                               const QString& factor, const QString& offset)
{
    m_group->setCurrentIndex(qMax(0, m_group->findText(group)));
    m_parameter->setCurrentIndex(qMax(0, m_parameter->findText(parameter)));
    m_factor->setText(factor);
    m_offset->setText(offset);
}

int CPredictModDlg::GroupIndex() const
{
    return m_group->currentIndex();
}
int CPredictModDlg::ParameterIndex() const
{
    return m_parameter->currentIndex();
}
QString CPredictModDlg::Factor() const
{
    return m_factor->text();
}
QString CPredictModDlg::Offset() const
{
    return m_offset->text();
}
