#pragma once
// The live test page (template 211): one FVC, VC or MVV test with the
// spirometer attached. The page only shows what LiveTestSession does: it
// starts a test by itself 100 ms after opening, draws the live curves, shows
// every status text in the prompt line, hands the finished test to the writer
// and, once it is saved, turns to the results page of today.
#include "core/device/device_watch.h"
#include "core/records/session_records.h"
#include "core/session/blow_coach.h"
#include "core/session/device_change_handler.h"
#include "core/session/live_test_session.h"
#include "core/session/measurement_parts.h"
#include "gui/app/page.h"

class CurvePlotWidget;
class IncentiveWidget;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;
class QProgressBar;
class QPushButton;

class LiveTestPage : public Page {
    Q_OBJECT
  public:
    static constexpr int kAutoStartMs = 100;
    // How long the last blow's verdict stays in view before the results page.
    static constexpr int kVerdictHoldMs = 1500;
    // Children under this age get the animation by default.
    static constexpr int kIncentiveAge = 12;

    explicit LiveTestPage(Workbench* shell);
    ~LiveTestPage() override;

    // "Close" and the window's close: offers to keep the whole blows of a
    // running FVC session (as "End session"); otherwise stops the test
    // (nothing is saved), waits for the receive worker while the interface
    // stays alive, clears the store and the live points, closes the link, and
    // returns to the patient list. Refused while a save runs.
    void OnCancel() override;
    void ApplyTexts() override;
    // "Testing": the next test; ignored while one runs.
    void OnTesting();

    LiveTestSession& Session() { return m_session; }
    DeviceWatch& Watch() { return m_watch; }
    CurvePlotWidget* MainPlot() const { return m_mainPlot; }
    CurvePlotWidget* SecondPlot() const { return m_secondPlot; }
    QString Prompt() const;
    // FVC tests: the blow count and the word on the last blow.
    QString BlowText() const;
    // FVC tests: the last blow's verdict, its reasons, the repeatability so
    // far, the blows still worth doing and the grades so far.
    QString GradeText() const;
    // The coaching cue shown now, in the user's words.
    QString CueShown() const;
    // FVC tests: the animation for children, and its switch.
    IncentiveWidget* Incentive() const { return m_incentive; }
    QCheckBox* AnimationSwitch() const { return m_animate; }
    // FVC tests: the bronchodilator phase the session is stored in (0 pre, 1 post);
    // post from the start when the day already has a pre session.
    QComboBox* PhaseChoice() const { return m_phase; }
    // FVC tests: the bronchodilator given (post only) and the referring physician,
    // kept with the session when it is saved.
    QLineEdit* DrugEdit() const { return m_drug; }
    QLineEdit* DoseEdit() const { return m_dose; }
    QLineEdit* DoseTimeEdit() const { return m_doseTime; }
    QLineEdit* ReferrerEdit() const { return m_referrer; }
    bool IsClosed() const { return m_closed; }
    bool IsSaving() const { return m_saving; }

  Q_SIGNALS:
    void workerGone();

  private:
    void startTest();
    void afterStart(int result);
    void onDeviceFinished(int request);
    // A time-out, a lost device or the device's own stop: says so and offers
    // the whole blows.
    void onEndedEarly();
    // Saves on the session's worker; onSaved takes the result.
    void saveTest(int request);
    void onSaved();
    void setSaving(bool saving);
    void onTestSaved();
    void showMarks(int valid);
    void stopPlots();
    void shutDown(bool keepInterfaceAlive);
    void setPrompt(const QString& text);
    void showBlows();
    // Feeds the coach the pulses that came since and shows its cue.
    void coach();
    void showIncentive();
    void showPhaseDetails();
    // FVC: the session's referrer and bronchodilator as entered.
    SessionDetail sessionDetail() const;

    MeasurementParts& m_parts;
    LiveTestSession m_session;
    DeviceWatch m_watch;
    DeviceChangeHandler m_deviceChange;
    int m_testType = 0;
    bool m_workerAlive = false;
    bool m_closed = false;
    bool m_saving = false;
    QProgressBar* m_busy = nullptr; // runs while the test is saved
    QLabel* m_caption = nullptr;
    QLabel* m_prompt = nullptr;   // 1193
    QLabel* m_blows = nullptr;    // blow count and verdict of the last blow
    QLabel* m_grade = nullptr;    // acceptability of the last blow, grades so far
    QLabel* m_phaseLabel = nullptr;
    QComboBox* m_phase = nullptr; // pre or post bronchodilator
    QLabel* m_drugLabel = nullptr;
    QLineEdit* m_drug = nullptr;
    QLabel* m_doseLabel = nullptr;
    QLineEdit* m_dose = nullptr;
    QLabel* m_doseTimeLabel = nullptr;
    QLineEdit* m_doseTime = nullptr; // HH:MM today
    QLabel* m_referrerLabel = nullptr;
    QLineEdit* m_referrer = nullptr;
    int m_shownBlows = 0;
    std::unique_ptr<BlowCoach> m_coach; // of the test under way
    int m_coachedBlows = 0;
    QTimer* m_coachTimer = nullptr;
    QLabel* m_patient = nullptr;
    QLabel* m_cue = nullptr;        // the cue, large
    QLabel* m_expiration = nullptr; // FVC: expiration time
    QProgressBar* m_endBar = nullptr; // FVC: the way to an end criterion
    IncentiveWidget* m_incentive = nullptr;
    QCheckBox* m_animate = nullptr;
    QComboBox* m_animationKind = nullptr;
    QLabel* m_validMark = nullptr;   // 1202
    QLabel* m_invalidMark = nullptr; // 1203
    QPushButton* m_testing = nullptr; // 1117
    QPushButton* m_close = nullptr;   // 2
    QPushButton* m_endSession = nullptr; // FVC: ends the session, keeping the blows
    CurvePlotWidget* m_mainPlot = nullptr;   // 1164
    CurvePlotWidget* m_secondPlot = nullptr; // 1192, FVC tests only
};
