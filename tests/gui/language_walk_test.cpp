// One language at a time: every page and dialog is opened in English and in
// Chinese with the shipped language files, and every text a user can see is
// read off the widgets. An English screen holds no Chinese character; a
// Chinese screen holds no English word beyond units, parameter names and the
// few names every clinic writes in Latin letters.
#include "gui_fixture.h"

#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/device/device_manager.h"
#include "core/records/diagnosis.h"
#include "core/session/measurement_parts.h"
#include "gui/app/about_dialog.h"
#include "gui/app/message_dialog.h"
#include "gui/app/settings_dialog.h"
#include "gui/device/device_hooks.h"
#include "gui/measure/calibration_dialog.h"
#include "gui/records/diagnosis_dialog.h"
#include "gui/records/diagnosis_phrases_dialog.h"
#include "gui/records/nation_groups_dialog.h"
#include "gui/records/patient_editor.h"
#include "gui/report/print_preview.h"
#include "gui/report/report_hooks.h"
#include "gui/report/trend_dialog.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTableView>
#include <QTextDocument>
#include <QToolBar>

#include <set>

namespace {

// Latin words a Chinese clinician's screen may show: parameter names, units,
// device and file words, and the names of the reference equations.
const std::set<QString>& allowedLatinWords()
{
    static const std::set<QString> words = {
        "FVC",   "FEV",   "FEV1",  "FEV6",    "FEV3", "PEF", "VC",   "MVV",  "FEF",
        "FEF25", "FEF50", "FEF75", "FEF2575", "FET",  "ELA", "EVOL", "FIVC", "FIV1",
        "PIF",   "IC",    "ERV",   "IRV",     "EVC",  "IVC", "TV",   "VE",   "RR",
        "tI",    "tE",    "ttot",  "MV",      "BTPS", "ml",  "ML",   "min",  "Times",
        "kg",    "cm",    "ID",    "PDF",     "USB",  "COM", "TAV",  "ERS",  "Knudson",
        "USA",   "Pre",   "Best",  "VT",      "Year", "mdb", "dt",   "Hz",   "OK",
        "GLI",   "LLN",   "Global", "ATS", "PRISm", "BEV",
        // key names, the language files' own names, Roman numerals of diagnoses,
        // and the About box's fixed version line
        "Ctrl",  "Chinese", "English", "II", "Version",
    };
    return words;
}

bool isChineseChar(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 0x3000 && u <= 0x303F) || (u >= 0x3400 && u <= 0x9FFF) ||
           (u >= 0xFF00 && u <= 0xFFEF);
}

QString plain(const QString& text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    QTextDocument doc;
    doc.setHtml(text);
    return doc.toPlainText();
}

// Every text of the visible widgets of `root` (and of `root` itself), each
// prefixed by where it was found.
QStringList visibleTexts(QWidget* root)
{
    QStringList texts;
    auto add = [&texts](const QObject* where, const QString& text) {
        if (!text.trimmed().isEmpty())
            texts << where->metaObject()->className() + QString("/") + where->objectName() + ": " +
                         plain(text);
    };
    add(root, root->windowTitle());
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        if (w != root && !w->isVisibleTo(root))
            continue;
        add(w, w->toolTip());
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            add(w, b->text());
        if (auto* l = qobject_cast<QLabel*>(w))
            add(w, l->text());
        if (auto* g = qobject_cast<QGroupBox*>(w))
            add(w, g->title());
        if (auto* e = qobject_cast<QLineEdit*>(w))
            add(w, e->placeholderText());
        if (auto* c = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < c->count(); ++i)
                add(w, c->itemText(i));
        if (auto* bar = qobject_cast<QToolBar*>(w))
            for (QAction* a : bar->actions())
                add(w, a->text());
        if (auto* view = qobject_cast<QAbstractItemView*>(w)) {
            QAbstractItemModel* model = view->model();
            if (!model)
                continue;
            auto* table = qobject_cast<QTableView*>(w);
            for (int c = 0; c < model->columnCount(); ++c) {
                if (table && table->isColumnHidden(c))
                    continue;
                add(w, model->headerData(c, Qt::Horizontal).toString());
                for (int r = 0; r < qMin(model->rowCount(), 60); ++r)
                    add(w, model->index(r, c).data().toString());
            }
        }
    }
    return texts;
}

// The texts that belong to the other language.
QStringList foreignTexts(const QStringList& texts, bool chinese)
{
    static const QRegularExpression word("[A-Za-z]{2,}[0-9]*");
    QStringList foreign;
    for (const QString& text : texts) {
        const QString shown = text.mid(text.indexOf(": ") + 2);
        if (!chinese) {
            if (std::any_of(shown.begin(), shown.end(), isChineseChar))
                foreign << text;
            continue;
        }
        for (auto it = word.globalMatch(shown); it.hasNext();) {
            const QString w = it.next().captured();
            if (!allowedLatinWords().count(w)) {
                foreign << text + "  [" + w + "]";
                break;
            }
        }
    }
    return foreign;
}

class LanguageWalkTest : public GuiTest, public ::testing::WithParamInterface<QString> {
  protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        registerPatient();
        const QString source = qEnvironmentVariable("TAV_SOURCE_DIR") + "/data/Language/";
        for (const QString name : {"English.txt", "Chinese.txt"}) {
            QFile file(source + name);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << source.toStdString();
            home.write("Language/" + name, file.readAll());
        }
        Settings().language = GetParam();
        // A patient whose name is written the way the clinic's language writes it.
        ASSERT_TRUE(SavePatientName(db, patientId,
                                    chinese() ? QString::fromUtf8("王芳") : "Anna Berg", 0,
                                    QString()));
        storeFvc(kDay + " 09:00:00", 3.9f, 3.1f, 7.2f);
        storeFvc(kDay + " 09:03:00", 4.0f, 3.2f, 7.4f);
        storeFvc(kDay + " 09:06:00", 3.8f, 2.9f, 6.8f, 6.0f, false);
        storeVc(kDay + " 09:20:00", 4.1f);
        storeMvv(kDay + " 09:40:00", 121.0f);
        DiagnosisRecord diagnosis;
        diagnosis.Physician = chinese() ? QString::fromUtf8("李医生") : "Dr. Vance";
        diagnosis.Result = GetLangText("DIAGNOSE_RESULT", 1295);
        ASSERT_TRUE(
            SaveDiagnosis(DiagnosisFile(AppPaths::PatientCaseFolder(patientId), kDay), diagnosis));
    }

    bool chinese() const { return GetParam() == "Chinese"; }

    // Reads a window's texts and keeps those of the other language.
    void look(QWidget* window, const QString& name)
    {
        window->show();
        QApplication::processEvents();
        const QStringList texts = visibleTexts(window);
        EXPECT_FALSE(texts.isEmpty()) << name.toStdString();
        for (const QString& text : foreignTexts(texts, chinese()))
            found << name + " > " + text;
        // With TAV_SCREENSHOTS=<folder> set, keeps a PNG of the window there.
        const QString folder = qEnvironmentVariable("TAV_SCREENSHOTS");
        if (!folder.isEmpty() && QDir().mkpath(folder))
            window->grab().save(folder + "/" + GetParam().toLower() + "_" + name + ".png");
    }

    // Makes the dialog `Dialog` of `args`, reads it and closes it again.
    template <class Dialog, class... Args> void lookAt(const QString& name, Args&&... args)
    {
        Dialog dialog(std::forward<Args>(args)...);
        look(&dialog, name);
    }

    const QString kDay = "2026-11-30";
    QStringList found;
};

} // namespace

TEST_P(LanguageWalkTest, EveryPageAndDialogSpeaksOneLanguage)
{
    openShell();
    shell->resize(1280, 860);
    selectPatientRow(0);
    ASSERT_EQ(shell->CurrentPatientId(), patientId);
    look(shell.get(), "main_page");

    const char* const results[] = {"results_fvc", "results_vc", "results_mvv"};
    for (int type : {2, 1, 0}) { // FVC last: the live test page below is an FVC test
        shell->SetCurrentTestType(type);
        shell->ShowPage(MainWindow::kResultsPage);
        look(shell.get(), results[type]);
    }

    lookAt<SettingsDialog>("settings", *shell, shell.get());
    shell->SetSelectedPatientTag(shell->Patient().Name);
    lookAt<PatientEditor>("patient_editor", shell.get(), shell.get());
    lookAt<NationGroupsDialog>("nation_groups", *shell, shell.get());
    lookAt<DiagnosisDialog>("diagnosis", db, patientId, kDay, shell->Diagnosis(), shell.get());
    lookAt<DiagnosisPhrasesDialog>("diagnosis_phrases", shell.get());
    lookAt<CalibrationDialog>("calibration", LiveParts(), nullptr, Actor::Unchecked(), shell.get());
    lookAt<TrendDialog>("trend", db, patientId, shell.get());
    lookAt<AboutDialog>("about", shell.get());
    lookAt<MessageDialog>("message_box", GetLangText("MESSAGE", 1251), PromptCaption(), 4,
                          shell.get());
    PrintPreview* preview = OpenResultsReport(db, shell.get(), shell.get(), patientId, kDay);
    ASSERT_NE(preview, nullptr);
    look(preview, "print_preview");
    preview->close();

    // The live test page against the demo device, while it runs.
    useDemoDevice();
    shell->ShowPage(MainWindow::kLiveTestPage);
    look(shell.get(), "live_test");
    shell->CurrentPage()->OnCancel();
    Settings().simulator = 0;

    EXPECT_TRUE(found.isEmpty()) << GetParam().toStdString() << ":\n"
                                 << found.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Languages, LanguageWalkTest,
                         ::testing::Values(QString("English"), QString("Chinese")),
                         [](const auto& info) { return info.param.toStdString(); });

// The checker itself: a word of the other language is found, allowed words pass.
TEST(LanguageWalkChecker, FindsTheOtherScriptAndLetsUnitsPass)
{
    EXPECT_EQ(foreignTexts({QString::fromUtf8("QPushButton/x: FVC测试")}, false).size(), 1);
    EXPECT_TRUE(foreignTexts({"QLabel/x: 4.20 L/S"}, false).isEmpty());
    EXPECT_EQ(foreignTexts({"QPushButton/x: Exit"}, true).size(), 1);
    EXPECT_EQ(foreignTexts({QString::fromUtf8("QGroupBox/x: Best Value")}, true).size(), 1);
    EXPECT_TRUE(
        foreignTexts({QString::fromUtf8("QLabel/x: FEV1/FVC 80% 测试 L/min")}, true).isEmpty());
}
