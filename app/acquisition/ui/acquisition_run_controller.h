#pragma once
// The acquisition page of a window: the start button, the start and the end of a live run, the
// live tick (the pipeline of converter and finder, the live tracker), the cycle scheduler, the
// cycle checks and the Wi-Fi autoconnect option, and the live views (frame with tracks, trail
// map, result labels, speed chart, progress bar). It receives the controls it works on and
// what it needs of its window, and connects to the controls itself.

#include "app/acquisition/live_pipeline.h"
#include "app/results/live_labels.h"
#include "app/results/live_tracker.h"
#include "app/widgets/control_factory.h"
#include "app/widgets/handler_guard.h"
#include "platform/services.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace device {
class DeviceClient;
}

namespace ui {

class ClickableLabel;
class PictureBox;

struct RunControls {
    // The acquisition page.
    QLineEdit* txtlapse = nullptr;
    QCheckBox* chk_stimulus = nullptr;
    QCheckBox* chk_cycle = nullptr;
    QFrame* shape_cycle = nullptr;
    QLineEdit* txt_ncycle = nullptr;
    QLabel* lbl_everycycle = nullptr;
    QLineEdit* txt_mcycle = nullptr;
    QLabel* lbl_mcycle = nullptr;
    QCheckBox* chk_onlyimg = nullptr;
    QLabel* lbl_stimated = nullptr;
    ClickableLabel* lbl_back2 = nullptr;
    QPushButton* cmdPlay = nullptr;
    QTimer* Timeracq = nullptr;
    QTimer* Timer_cycle = nullptr;
    QAction* mn_autoconnect = nullptr;
    QAction* mn_invariable = nullptr;
    // What a run reads from the set-up page.
    QLineEdit* txt_ip1 = nullptr;
    QLineEdit* txt_project = nullptr;
    QRadioButton* trackingMode = nullptr; // `Opt_acq(0)`
    QLineEdit* txt_x1 = nullptr;
    QLineEdit* txt_x2 = nullptr;
    QLineEdit* txt_y1 = nullptr;
    QLineEdit* txt_y2 = nullptr;
    QLineEdit* txt_psize = nullptr;
    QLineEdit* txt_maxtravel = nullptr;
    // The live views.
    QFrame* frame_messages = nullptr;
    QLabel* lbl_messages = nullptr;
    PictureBox* Picture1 = nullptr;
    PictureBox* Picture_post = nullptr;
    PictureBox* Picture_progress = nullptr;
    QLabel* lbl_time = nullptr;
    QLabel* label_frame = nullptr;
    QGroupBox* frame_results = nullptr;
    QGroupBox* Frame_report = nullptr;
    QPushButton* cmdreport = nullptr;
    QLabel* lbl_particle = nullptr;
    QLabel* lbl_distance = nullptr;
    QLabel* lbl_speed = nullptr;
    PictureBox* Picture3 = nullptr;
};

// What a run asks of its window.
struct RunHooks {
    // The lamp value of the window's light level.
    std::function<int()> lampValue;
    // Shows a frame in the picture (false when it could not be shown).
    std::function<bool(const QString&)> showImage;
    // Saves the device address and the configuration into the program folder.
    std::function<void()> saveSettings;
    // Connects to the device again before a cycle's run (the window's set-up, mode 2).
    std::function<int(int)> connectDevice;
};

// The acquisition page `frm_acquire` of the acquisition window, built into the window's
// controls of the same names (`c`) over the client area; hidden.
template <class C> void makeAcquisitionPage(C& c, QWidget* client) {
    c.frm_acquire =
        makeGroup(client, "frm_acquire", QStringLiteral("Acquisition"), QRect(643, 86, 284, 297));
    QWidget* a = c.frm_acquire;
    c.frame_acquisition = makeGroup(a, "frame_acquisition", QString(), QRect(28, 30, 227, 134));
    QWidget* q = c.frame_acquisition;
    c.Label_acqlapse =
        makeLabel(q, "Label_acqlapse", QStringLiteral("Time"), QRect(23, 40, 34, 20));
    c.txtlapse = makeEdit(q, "txtlapse", QStringLiteral("5"), QRect(57, 40, 40, 22));
    c.Label_minutes =
        makeLabel(q, "Label_minutes", QStringLiteral("minutes"), QRect(98, 40, 45, 20));
    c.chk_stimulus =
        makeCheck(q, "chk_stimulus", QStringLiteral("Light Stimulus"), QRect(136, 13, 79, 20));
    c.shape_cycle = makeShape(q, "shape_cycle", QRect(11, 74, 204, 47));
    c.chk_cycle = makeCheck(q, "chk_cycle", QStringLiteral("cycle"), QRect(23, 87, 91, 20));
    c.txt_ncycle = makeEdit(q, "txt_ncycle", QStringLiteral("12"), QRect(125, 40, 34, 22));
    c.lbl_everycycle =
        makeLabel(q, "lbl_everycycle", QStringLiteral("times"), QRect(159, 40, 45, 20));
    c.txt_mcycle = makeEdit(q, "txt_mcycle", QStringLiteral("30"), QRect(102, 87, 34, 22));
    c.lbl_mcycle = makeLabel(q, "lbl_mcycle", QStringLiteral("min"), QRect(136, 87, 23, 20));
    c.chk_onlyimg = makeCheck(q, "chk_onlyimg", QStringLiteral("RToff"), QRect(159, 87, 45, 20));
    c.chk_onlyimg->setToolTip(QStringLiteral("only image recording. Without RT processing"));
    c.chk_onlyimg->hide();
    c.lbl_stimated =
        makeLabel(a, "lbl_stimated", QStringLiteral("estimated total reading time = ##m"),
                  QRect(0, 166, 284, 20));
    c.lbl_stimated->setAlignment(Qt::AlignCenter); // spans the frame; its text stays inside
    c.lbl_back2 = makeClickable(a, "lbl_back2", QStringLiteral("< Back"), QRect(28, 252, 114, 20));
    c.cmdPlay = makeButton(a, "cmdPlay", QStringLiteral("Start"), QRect(142, 238, 114, 45));
    c.frm_acquire->hide();
}

class AcquisitionRunController : public QObject {
    Q_OBJECT
public:
    AcquisitionRunController(const RunControls& controls,
                             std::shared_ptr<device::DeviceClient> client,
                             platform::Services services, const Lifetime& window, RunHooks hooks,
                             QObject* parent);
    ~AcquisitionRunController() override;

    // True while a live run is on.
    bool acquisitionRunning() const { return m_running; }
    // True while the end of a run (Stop, the end of a run or of a cycle's run) is under way,
    // waiting on the device, the logger or the helpers.
    bool stopping() const { return m_life.running("stop"); }
    // Ends a live run or a whole cycle series: logger stopped, automatic lamp off when it was
    // switched on, the run's converted frames deleted, the window idle again.
    void stopAcquisitionRun();
    // While a run or a cycle series is on, asks "Stop Acquisition?" and on Yes stops it wholly
    // (as Stop does). True when nothing is on (any more); false when the operator keeps the run
    // or the window went meanwhile.
    bool askToStopRun();
    // The operator left the page: a start that waits (on the device, on a pause) ends there,
    // sending, making and starting nothing more.
    void abandonWaits();

    // ---- Handlers (connected to the controls; public for tests) ----------------------------
    void cmdPlayClick();
    // Starts one run named `name` (typed name, or a cycle's run name). False when nothing was
    // started (refused, or the device did not answer).
    bool StartAcquisitionRun(const QString& name);
    // Ends one run of a cycle series; the series stays armed for the scheduler.
    void EndCycleRun();
    void LiveProcessingTick();
    // The cycle series (acquisition_cycles.cpp).
    void CycleSchedulerTick();
    void ToggleCycleMode();
    void AskAutoconnectNetwork();
    void CheckCyclePeriod();
    void CheckCycleCount();
    void CheckAcquisitionLapse();

    // ---- Page state ------------------------------------------------------------------------
    // `txtlapse` was edited since its last check.
    bool LapseChanged() const { return m_lapseChanged; }
    void setLapseChanged(bool changed) { m_lapseChanged = changed; }
    // Join a Wi-Fi network before each start and cycle, and its name.
    bool autoconnectOn() const { return m_autoconnectOn; }
    QString autoconnectNetwork() const { return m_autoconnectNetwork; }
    void setAutoconnect(bool on, const QString& network) {
        m_autoconnectOn = on;
        m_autoconnectNetwork = network;
    }
    static QString defaultNetworkName();
    // The folder of the current or last run (the report frame reports it).
    QString runFolder() const { return m_runFolder; }
    void setRunFolder(const QString& folder) { m_runFolder = folder; }
    // Time mark of the last frame the live tracker handled.
    std::int32_t lastTimeMark() const { return m_lastTimeMark; }
    void setLastTimeMark(std::int32_t mark) { m_lastTimeMark = mark; }

    // ---- Run state (read by tests) ---------------------------------------------------------
    struct CycleState {
        bool cycleMode = false;
        int cycleNumber = 0;
        QString baseName;
        QDateTime cycleStartTime;
    };
    const CycleState& cycleState() const { return m_cycle; }
    const acquisition::LiveFrameCursor& frameCursor() const { return m_pipeline.cursor(); }
    const results::LiveTrackerState& tracker() const { return m_tracker; }
    std::optional<std::int64_t> loggerPid() const { return m_pipeline.loggerPid(); }
    QString trainingOptions() const { return m_trainingOptions; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Why a run cannot start (length, analysis area, plate size, training), or empty.
    QString runRefusal() const;
    // Loggers started by this program (by any window) that still run.
    std::vector<std::int64_t> loggersRunning() const;
    // A logger fetches frames for the program folder: one this program started, or any
    // holding the folder's logger lock.
    bool loggerFetching() const;
    // Asks (No as the default) to stop the loggers of earlier runs that still run; true when
    // none runs (any more).
    bool endEarlierLoggers(const HandlerGuard& guard);
    // The live tracker's step: one block of the position file; its time mark or -1.
    std::int32_t TrackWormsLive(const HandlerGuard& guard);
    void prepareResultViews(double width, double height, double lapseMinutes);
    // Stops the logger and the helper programs of the run, the automatic lamp, and deletes the
    // run's converted frames (the common end of StopAcquisitionRun and EndCycleRun).
    void endRunProcesses();
    void unlockCycleControls(bool unlocked);
    // The status text over the picture; hidden again by the next action of the operator.
    void reportStatus(const QString& text);
    void clearStatus();
    // Stops the tick of a run whose frames cannot be processed, with the reason.
    void stopOnProcessingError(const QString& reason);
    QString deviceAddress() const;
    // The client for the requests of the handler that calls it: their wait is abandoned when
    // the run is stopped, the page left or the window closed meanwhile.
    device::DeviceClient waitingClient() const;
    void showDuration();

    RunControls m_c;
    std::shared_ptr<device::DeviceClient> m_client;
    platform::Services m_services;
    Lifetime m_life;
    RunHooks m_hooks;
    acquisition::LivePipeline m_pipeline;
    bool m_running = false;
    CycleState m_cycle;
    QString m_trainingOptions;
    QString m_runAddress; // the run's device: its frames' names, its requests and its end
    QString m_lampOffFailure; // why the automatic lamp stayed on at the last end, or empty
    int m_acquisitionMode = 0;
    results::LiveTrackerState m_tracker;
    double m_rectX1 = 0.0;
    double m_rectY1 = 0.0;
    bool m_autoconnectChecked = false;
    bool m_processingErrorShown = false;
    bool m_playDeferred = false; // a press is waiting for the busy handler to return
    QString m_stallShown;        // the stall status shown now, if any
    // The logger ended before the run length.
    bool m_loggerEndedEarly = false;

    bool m_lapseChanged = false;
    bool m_autoconnectOn = false;
    QString m_autoconnectNetwork;
    QString m_runFolder;
    std::int32_t m_lastTimeMark = 0;
};

} // namespace ui
