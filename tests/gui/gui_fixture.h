#pragma once
// A program folder with a seeded data.mdb, the message box answered by the
// test, helpers to drive pages and modal dialogs the way a user would, and a
// patient whose tests are stored the way the test writer stores them.
#include "support/stored_tests.h"
#include "support/temp_home.h"

#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/records/recordset.h"
#include "gui/app/main_window.h"
#include "gui/app/show_message.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>

struct ShownMessage {
    QString text;
    QString caption;
    int type = 0;
};

class GuiTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The demo device, answering at once unless a test asks for a person's pace.
    void useDemoDevice();
    // Runs the event loop until `done` holds (or a generous bound passes).
    static bool waitFor(const std::function<bool()>& done, int boundMs = 60000);
    // Runs `action` on the next modal dialog once it is shown (a dialog's exec()
    // only returns when the action closes it).
    static void whenModal(std::function<void(QWidget*)> action);
    // Presses `button` in `parent` and runs `steps` in the modal dialog it opens;
    // a dialog the steps leave open is cancelled.
    static void inModal(QWidget* parent, const char* button, std::function<void(QWidget*)> steps);
    // Clicks the patient list's row, as the user does.
    void selectPatientRow(int row);

    // Opens the main window as start-up does (shown, not run modally).
    MainWindow& openShell();
    // The main window with the registered patient and a day current, as selecting them does.
    MainWindow& openWith(const QString& day, int testType);
    QWidget* current() const { return shell->CurrentPage(); }
    template <class W> W* page() const { return qobject_cast<W*>(shell->CurrentPage()); }

    template <class W = QPushButton> static W* child(QWidget* parent, const QString& name)
    {
        W* w = parent->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    // Clicks the push button `name` inside `parent`, as the user does.
    static void press(QWidget* parent, const char* name)
    {
        if (QPushButton* button = child(parent, name))
            QTest::mouseClick(button, Qt::LeftButton);
    }
    // The same on the main window.
    void click(const char* name) { press(shell.get(), name); }

    // The texts of the messages shown so far, in order.
    QStringList shownTexts() const;
    int count(const QString& sql, const QVariantList& values = {});

    // Adds a patient through the records core; returns its ID.
    int addPatient(const QString& name, int birthYear = 1980, int nation = 10);
    // Registers the patient of the report tests (a woman of 168 cm born 1976).
    void registerPatient();
    // Stores a test of `patientId` as the test writer does; returns its file name.
    QString storeFvc(const QString& time, float fvc, float fev1, float pef, float fef25 = 6.0f,
                     bool acceptable = true);
    QString storeVc(const QString& time, float vc);
    QString storeMvv(const QString& time, float mvv);

    TempHome home;
    Database db;
    std::unique_ptr<MainWindow> shell;
    std::vector<ShownMessage> messages;
    std::deque<int> answers;
    bool demoDevice = false;
    int patientId = 0;
};
