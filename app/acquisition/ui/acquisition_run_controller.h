#pragma once
// The run side of the acquisition window: the start button, the start and the end of a live
// run, the live pipeline tick (converter, finder, live tracker), the cycle scheduler, the cycle
// checks and the Wi-Fi autoconnect option, and the live views (frame with tracks, trail map,
// result labels, speed chart, progress bar). It works on the window's controls and connects
// to them itself.

#include "app/results/live_labels.h"
#include "app/results/live_tracker.h"
#include "platform/services.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <optional>

namespace ui {

class FrmFrontend;

class AcquisitionRunController : public QObject {
    Q_OBJECT
public:
    AcquisitionRunController(FrmFrontend* window, platform::Services services);
    ~AcquisitionRunController() override;

    // True while a live run is on.
    bool acquisitionRunning() const { return m_running; }
    // Ends a live run or a whole cycle series: logger stopped, automatic lamp off when it was
    // switched on, the run's converted frames deleted, the window idle again.
    void stopAcquisitionRun();

    // ---- Handlers (connected to the controls; public for tests) ----------------------------
    void cmdPlayClick();
    // Starts one run named `name` (typed name, or a cycle's run name). False when nothing was
    // started (refused, or the device did not answer).
    bool StartAcquisitionRun(const QString& name);
    // Ends one run of a cycle series; the series stays armed for the scheduler.
    void EndCycleRun();
    void LiveProcessingTick();
    void CycleSchedulerTick();
    void ToggleCycleMode();
    void AskAutoconnectNetwork();
    void CheckCyclePeriod();
    void CheckCycleCount();
    void CheckAcquisitionLapse();
    // `cmd_generate`: the report of the run folder shown in `lbl_path`.
    void GenerateReport();

    // ---- Run state (read by the window and by tests) ---------------------------------------
    struct CycleState {
        bool cycleMode = false;
        int cycleNumber = 0;
        QString baseName;
        QDateTime cycleStartTime;
    };
    struct LiveFrameCursor {
        QString runFolder;
        QDateTime runStart;
        std::int64_t runStartMs = 0; // monotonic clock at the run start
        std::int32_t jpgCursor = 0;
        std::int32_t pgmCursor = 0;
    };
    const CycleState& cycleState() const { return m_cycle; }
    const LiveFrameCursor& frameCursor() const { return m_cursor; }
    const results::LiveTrackerState& tracker() const { return m_tracker; }
    std::int32_t lastTimeMark() const { return m_tracker.lastTimeMark; }
    std::optional<std::int64_t> loggerPid() const { return m_loggerPid; }
    QString trainingOptions() const { return m_trainingOptions; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void bindControls();
    // Why a run cannot start (length, analysis area, plate size, training), or empty.
    QString runRefusal() const;
    // The live tracker's step: one block of the position file; its time mark or -1.
    std::int32_t TrackWormsLive();
    void showLabels(const results::LiveLabels& labels);
    void DrawHistogram(const results::SpeedHistogram& histogram);
    void prepareResultViews(double width, double height, double lapseMinutes);
    // Stops the logger and the helper programs of the run, the automatic lamp, and deletes the
    // run's converted frames (the common end of StopAcquisitionRun and EndCycleRun).
    void endRunProcesses();
    void finishHelper(std::optional<std::int64_t>& pid);
    void unlockCycleControls(bool unlocked);
    void reportStatus(const QString& text);
    bool helperRunning(std::optional<std::int64_t>& pid);
    bool isGone() const;
    QString deviceAddress() const;
    QString imgFolder() const;
    double numberIn(const QString& text) const;
    void showDuration();

    QPointer<FrmFrontend> m_window;
    platform::Services m_services;
    bool m_running = false;
    CycleState m_cycle;
    LiveFrameCursor m_cursor;
    QString m_trainingOptions;
    int m_acquisitionMode = 0;
    results::LiveTrackerState m_tracker;
    double m_rectX1 = 0.0;
    double m_rectY1 = 0.0;
    std::optional<std::int64_t> m_loggerPid;
    std::optional<std::int64_t> m_dravelPid;
    std::optional<std::int64_t> m_sirrexPid;
    bool m_autoconnectChecked = false;
    bool m_processingErrorShown = false;
    bool m_bound = false;
    std::uint64_t m_stopGeneration = 0; // raised by every stop

    // Guards of the handlers that can wait.
    bool m_tickBusy = false;
    bool m_cycleBusy = false;
    bool m_playBusy = false;
    bool m_playDeferred = false; // a press is waiting for the busy handler to return
    bool m_startBusy = false;
    bool m_stopBusy = false;
};

} // namespace ui
