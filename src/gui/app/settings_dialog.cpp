#include "gui/app/settings_dialog.h"

#include "core/app/app_paths.h"
#include "core/app/lang_text.h"
#include "core/app/settings_choice.h"
#include "core/app/system_settings.h"
#include "gui/app/dialog_hooks.h"
#include "gui/app/hospital_links_dialog.h"
#include "gui/app/workbench.h"
#include "gui/app/show_message.h"
#include "gui/records/nation_groups_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
QString text(int id)
{
    return GetLangText("SETTING", id);
}

QString demoDeviceText()
{
    return text(2340);
}

QGroupBox* group(const QString& title, QWidget* parent, const char* name)
{
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(name);
    return box;
}
} // namespace

SettingsDialog::SettingsDialog(Workbench& bench, QWidget* parent)
    : QDialog(parent), m_bench(bench), m_db(bench.Db())
{
    setObjectName("SettingsDialog");
    setWindowTitle(text(126));
    const SettingsChoice current = CurrentSettingsChoice();

    auto* languageBox = group(text(127), this, "group1069");
    m_language = new QComboBox(languageBox);
    m_language->setObjectName("language");
    const QStringList names = LanguageNames(AppPaths::LanguageFolder());
    m_language->addItems(names);
    m_language->setCurrentIndex(LanguageIndex(names, current.language));
    (new QVBoxLayout(languageBox))->addWidget(m_language);

    auto* linkBox = group(text(150), this, "group1073");
    m_usb = new QRadioButton("USB", linkBox);
    m_usb->setObjectName("usb");
    m_bluetooth = new QRadioButton(text(199), linkBox);
    m_bluetooth->setObjectName("bluetooth");
    m_deviceName = new QPushButton(text(1243), linkBox);
    m_deviceName->setObjectName("deviceName");
    m_deviceName->setMinimumWidth(m_deviceName->sizeHint().width());
    m_demo = new QCheckBox(demoDeviceText(), linkBox);
    m_demo->setObjectName("demoDevice");
    m_demo->setChecked(current.simulator != 0);
    auto* linkLayout = new QGridLayout(linkBox);
    linkLayout->addWidget(m_usb, 0, 0);
    linkLayout->addWidget(m_bluetooth, 0, 1);
    linkLayout->addWidget(m_deviceName, 0, 2);
    linkLayout->addWidget(m_demo, 1, 0, 1, 3);
    (current.communication == 1 ? m_usb : m_bluetooth)->setChecked(true);
    m_deviceName->setEnabled(current.communication != 1);
    connect(m_bluetooth, &QRadioButton::toggled, m_deviceName, &QPushButton::setEnabled);

    auto* predictedBox = group(text(170), this, "group1074");
    m_area = new QRadioButton(text(171), predictedBox);
    m_area->setObjectName("area");
    m_point = new QRadioButton(text(172), predictedBox);
    m_point->setObjectName("point");
    auto* modify = new QPushButton(text(1246), predictedBox);
    modify->setObjectName("modifyPredicted");
    (current.predicted == 1 ? m_point : m_area)->setChecked(true);
    auto* predictedLayout = new QHBoxLayout(predictedBox);
    predictedLayout->addWidget(m_area);
    predictedLayout->addWidget(m_point);
    predictedLayout->addWidget(modify);

    auto* hospitalBox = group(text(187), this, "group1075");
    m_hospital = new QLineEdit(current.hospital, hospitalBox);
    m_hospital->setObjectName("hospital");
    m_hospital->setMaxLength(kHospitalLength);
    m_hospital->setStyleSheet("QLineEdit { background: white; }");
    auto* links = new QPushButton(GetLangText("EXCHANGE", 2730), hospitalBox);
    links->setObjectName("hospitalLinks");
    links->setAutoDefault(false);
    auto* hospitalLayout = new QVBoxLayout(hospitalBox);
    hospitalLayout->addWidget(m_hospital);
    hospitalLayout->addWidget(links);
    connect(links, &QPushButton::clicked, this, [this] { HospitalLinksDialog(this).exec(); });

    auto* btpsBox = group("BTPS", this, "group1070");
    m_btps = new QComboBox(btpsBox);
    m_btps->setObjectName("btps");
    m_btps->addItems({text(300), text(301)});
    m_btps->setCurrentIndex(current.btps);
    (new QVBoxLayout(btpsBox))->addWidget(m_btps);

    auto* waitBox = group(text(1335), this, "group1071");
    m_wait = new QComboBox(waitBox);
    m_wait->setObjectName("wait");
    m_wait->addItems({text(300), text(301)});
    m_wait->setCurrentIndex(current.wait);
    (new QVBoxLayout(waitBox))->addWidget(m_wait);

    auto* lockBox = group(GetLangText("CLINICAL", 2920), this, "lockBox");
    m_lockMinutes = new QSpinBox(lockBox);
    m_lockMinutes->setObjectName("lockMinutes");
    m_lockMinutes->setRange(0, kMaxLockMinutes);
    m_lockMinutes->setValue(current.lockMinutes);
    (new QVBoxLayout(lockBox))->addWidget(m_lockMinutes);

    auto* ok = new QPushButton(text(132), this);
    ok->setObjectName("ok");
    auto* restore = new QPushButton(text(148), this);
    restore->setObjectName("default");
    auto* cancel = new QPushButton(text(133), this);
    cancel->setObjectName("cancel");
    for (QPushButton* b : {ok, restore, cancel})
        b->setAutoDefault(false);

    auto* grid = new QGridLayout;
    grid->addWidget(languageBox, 0, 0);
    grid->addWidget(hospitalBox, 0, 1);
    grid->addWidget(linkBox, 1, 0, 1, 2);
    grid->addWidget(predictedBox, 2, 0, 1, 2);
    grid->addWidget(btpsBox, 3, 0);
    grid->addWidget(waitBox, 3, 1);
    grid->addWidget(lockBox, 4, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(restore);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &SettingsDialog::onOk);
    connect(restore, &QPushButton::clicked, this, &SettingsDialog::onDefault);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_deviceName, &QPushButton::clicked, this, &SettingsDialog::onDeviceName);
    connect(modify, &QPushButton::clicked, this, &SettingsDialog::onModifyPredicted);
}

void SettingsDialog::onOk()
{
    SettingsChoice choice;
    choice.predicted = m_point->isChecked() ? 1 : 0;
    choice.communication = m_usb->isChecked() ? 1 : 0;
    choice.hospital = m_hospital->text();
    choice.language = m_language->currentText();
    choice.btps = qMax(0, m_btps->currentIndex());
    choice.wait = qMax(0, m_wait->currentIndex());
    choice.lockMinutes = m_lockMinutes->value();
    // A profile number chosen by hand in System.ini is kept while the box stays checked.
    const int simulator = Settings().simulator;
    choice.simulator = m_demo->isChecked() ? (simulator != 0 ? simulator : 1) : 0;
    QString error;
    QStringList changes;
    bool toWired = ApplySettingsChoice(choice, &error, &changes);
    if (!changes.isEmpty()) {
        if (!overwriteChanges(changes))
            return;
        toWired = ApplySettingsChoice(choice, &error, &changes, true);
    }
    if (toWired)
        m_bench.CloseBluetooth();
    m_bench.SetUser(m_bench.User()); // the idle lock takes the new minutes at once
    if (!error.isEmpty())
        ShowMessage("The settings are not saved: " + error, PromptCaption(), 0, this);
    accept();
}

bool SettingsDialog::overwriteChanges(const QStringList& changes)
{
    // Another program saved some of these keys since this one read them: the user chooses.
    if (ShowMessage(GetLangText("MESSAGE", 2932) + "\n" + changes.join('\n'), PromptCaption(), 4,
                    this) == 6)
        return true;
    Settings().Load(AppPaths::SettingsFile());
    reject(); // opened again, the dialog shows what is saved now
    return false;
}

void SettingsDialog::onDefault()
{
    QString error;
    QStringList changes;
    if (!RestoreDefaultSettings(&error, &changes) && !changes.isEmpty()) {
        if (!overwriteChanges(changes))
            return;
        RestoreDefaultSettings(&error, &changes, true);
    }
    if (!error.isEmpty())
        ShowMessage("The settings are not saved: " + error, PromptCaption(), 0, this);
    accept();
}

void SettingsDialog::onDeviceName()
{
    m_bench.CloseBluetooth();
    if (Hooks().commSetup)
        Hooks().commSetup(this);
    else
        ShowNotAvailable(this);
}

void SettingsDialog::onModifyPredicted()
{
    NationGroupsDialog dialog(m_bench, this);
    dialog.exec();
}

void SettingsDialog::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
    if (event->key() == Qt::Key_C && (event->modifiers() & ctrlAlt) == ctrlAlt) {
        showDeviceVersion();
        return;
    }
    QDialog::keyPressEvent(event);
}

void SettingsDialog::showDeviceVersion()
{
    bool answered = false;
    QString version;
    if (Hooks().deviceVersion) {
        // The query runs on a worker; the window stays live and the dialog
        // stays open (no test can take the link) until the answer comes.
        QProgressDialog wait(GetLangText("MESSAGE", 3118), QString(), 0, 0, this);
        wait.setWindowModality(Qt::WindowModal);
        wait.setMinimumDuration(0);
        QEventLoop loop;
        bool done = false;
        Hooks().deviceVersion([&](bool ok, const QString& text) {
            answered = ok;
            version = text;
            done = true;
            loop.quit();
        });
        if (!done) {
            wait.show();
            loop.exec();
        }
    }
    if (answered)
        ShowMessage(QString("Version: %1").arg(version), PromptCaption(), 0, this);
    else
        ShowMessage(QStringLiteral("No version"), ErrorCaption(), 0, this);
}
