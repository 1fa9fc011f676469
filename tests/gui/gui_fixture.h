#pragma once
// A program folder with a seeded data.mdb, the message box answered by the
// test, and helpers to drive modal dialogs the way a user would.
#include "support/temp_home.h"

#include "core/records/database.h"
#include "core/records/recordset.h"
#include "gui/app/main_window.h"
#include "gui/app/show_message.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

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
    void SetUp() override
    {
        ASSERT_TRUE(db.Open(home.path("data.mdb")))
            << db.LastError().toStdString();
        SetMessageHook([this](const QString& text, const QString& caption, int type) {
            messages.push_back({text, caption, type});
            if (!answers.empty()) {
                const int answer = answers.front();
                answers.pop_front();
                return answer;
            }
            return type == 4 ? 6 : 1;
        });
    }

    void TearDown() override
    {
        shell.reset();
        if (demoDevice)
            stopDemoDevice();
        SetMessageHook({});
        db.Close();
    }

    // The demo device, answering at once unless a test asks for a person's pace.
    void useDemoDevice();
    void stopDemoDevice();
    // Runs the event loop until `done` holds (or a generous bound passes).
    static bool waitFor(const std::function<bool()>& done, int boundMs = 60000);
    // Clicks the patient list's row, as the user does.
    void selectPatientRow(int row);

    // Opens the main window as start-up does (shown, not run modally).
    MainWindow& openShell()
    {
        shell = std::make_unique<MainWindow>(db);
        shell->show();
        QApplication::processEvents();
        return *shell;
    }

    template <class W> W* page() const { return qobject_cast<W*>(shell->CurrentPage()); }

    // Runs `action` on the next modal dialog once it is shown (a dialog's exec()
    // only returns when the action closes it).
    static void whenModal(std::function<void(QWidget*)> action)
    {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        auto poll = std::make_shared<std::function<void()>>();
        *poll = [action, timer, poll] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal->isVisible()) {
                action(modal);
                return;
            }
            if (timer->elapsed() < 5000)
                QTimer::singleShot(10, *poll);
        };
        QTimer::singleShot(0, *poll);
    }

    // Clicks the push button `name` inside `parent`, as the user does.
    static void press(QWidget* parent, const char* name)
    {
        auto* button = parent->findChild<QPushButton*>(name);
        ASSERT_NE(button, nullptr) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    // The same on the main window.
    void click(const char* name) { press(shell.get(), name); }

    // The texts of the messages shown so far, in order.
    QStringList shownTexts() const
    {
        QStringList texts;
        for (const ShownMessage& m : messages)
            texts << m.text;
        return texts;
    }

    int count(const QString& sql, const QVariantList& values = {})
    {
        Recordset rs(db);
        rs.Open(sql, values);
        return rs.GetRecordCount();
    }

    // Adds a patient through the records core; returns its ID.
    int addPatient(const QString& name, int birthYear = 1980, int nation = 10);
    // Adds a CaseInfo row (and an empty test file) for the patient.
    void addTest(int id, const QString& dataName, const QString& testTime, int testType);

    TempHome home;
    Database db;
    std::unique_ptr<MainWindow> shell;
    std::vector<ShownMessage> messages;
    std::deque<int> answers;
    bool demoDevice = false;
};
