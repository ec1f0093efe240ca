#pragma once
// The reprocess commands of the reanalysis window: the reprocess button (a find batch over the
// loaded acquisition's stored frames, then the stored tracker), mass reprocessing of a
// selection with a borrowed training, "Reprocess Routes" (the tracker alone), and the z-stack
// image of one acquisition or of a selection. The batches run hidden; the window's timer polls
// their progress. One batch runs at a time; closing the window ends a running one.

#include "app/acquisition/batch_runner.h"
#include "app/acquisition/reprocess.h"
#include "app/widgets/handler_guard.h"
#include "platform/services.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTimer;

namespace results {
class StoredTrackerRun;
struct StoredTrackerParams;
struct StoredTrackResult;
} // namespace results

namespace ui {

class PictureBox;

// "Reprocess Routes", and the tracking that ends a reprocess, track in steps from the window's
// timer, so that the window answers between them however large the position file is.
inline constexpr int kRoutesStepMs = 50;
inline constexpr int kRoutesTickMs = 1;

// Shows a frame that the tracker found bad, with "#" and its number in green at the picture's
// top-left corner, before the operator is asked whether to mark it.
void ShowBadFrame(PictureBox* picture, const QString& file, std::int32_t frame);

struct ReprocessControls {
    QPushButton* cmd_reprocess = nullptr;
    QPushButton* cmd_prev = nullptr;
    QPushButton* cmd_next = nullptr;
    QPushButton* cmd_del = nullptr;
    QPushButton* cmd_exportbmp = nullptr;
    QPushButton* cmd_stopprocess = nullptr;
    QLineEdit* txt_nfile = nullptr;
    PictureBox* Picture_progress = nullptr;
    PictureBox* Picture1 = nullptr;
    QFrame* frame_messages = nullptr;
    QLabel* lbl_messages = nullptr;
    QListWidget* List_subproject = nullptr;
    QTimer* Timeracq = nullptr;
    QAction* mn_masstrainingload = nullptr;
    QAction* mn_masstrainingapply = nullptr;
    QAction* mn_reprocess = nullptr;
    QAction* mn_zstack = nullptr;
    QAction* mn_zseq = nullptr;
    QAction* mn_invariable = nullptr;
    QAction* mn_backfilter = nullptr;
    QRadioButton* trackingMode = nullptr; // `Opt_acq(0)`
    QLineEdit* txt_x1 = nullptr;
    QLineEdit* txt_x2 = nullptr;
    QLineEdit* txt_y1 = nullptr;
    QLineEdit* txt_y2 = nullptr;
    QLineEdit* txt_psize = nullptr;
    QLineEdit* txt_maxtravel = nullptr;
    // The device address of the loaded acquisition, for one without run data.
    QLineEdit* txt_ip1 = nullptr;
};

// What the commands ask of their window.
struct ReprocessHooks {
    std::function<QString()> acquisitionFolder;
    std::function<void(const QString&)> setAcquisitionFolder;
    std::function<bool()> processing;
    std::function<void(bool)> setProcessing;
    std::function<QString()> projectName;
    // The window's 18 training boxes from and to a folder; the writing gives what could not be
    // written, empty when it was.
    std::function<void(const QString&)> loadTraining;
    std::function<QString(const QString&)> writeTrainingFile;
    // Closes a pick list (TargetCount -1).
    std::function<void()> closePickList;
    // The Microbeam run over the loaded acquisition (the button in Microbeam mode).
    std::function<void()> startMicrobeamRun;
    // A replay of the loaded acquisition's trails is running.
    std::function<bool()> replayRunning;
};

class ReprocessController : public QObject {
    Q_OBJECT
public:
    ReprocessController(const ReprocessControls& controls, platform::Services services,
                        const Lifetime& window, ReprocessHooks hooks, QObject* parent);
    ~ReprocessController() override;

    // "Load Training to memory": the acquisition whose training a mass run borrows.
    const std::optional<acquisition::TrainingSource>& trainingSource() const { return m_source; }
    void setTrainingSource(const acquisition::TrainingSource& source) { m_source = source; }
    void forgetTrainingSource() { m_source.reset(); }

    // What the timer's poll is following: 0 nothing, 1 a find batch, 2 a z-stack batch,
    // 3 the steps of "Reprocess Routes", 4 the steps of the tracking that ends a reprocess.
    int batchMode() const { return m_mode; }
    acquisition::BatchRunner& runner() { return *m_runner; }
    // The last frame a batch recorded.
    std::int32_t batchProgress() const { return m_runner->status().frame; }

    // Ends a running batch and its poll (a stop, or the window closes), or a Routes run without
    // writing its trails; a reprocess that is cut short puts the previous results back and
    // says so.
    void stopBatch();
    // "Plot Results" takes the window's timer: a reprocess stops as with stopBatch(); a z-stack
    // goes on unseen, and its image is opened when it is done.
    void replayTakesThePoll();

    // What runs on the loaded acquisition now that a change of acquisition would pull the files
    // from under ("A reprocess is running", "A replay is running"); empty when nothing runs.
    QString busyWith() const;
    // Says why a command cannot start now, and true; false when it may. With `action` (a change
    // of the loaded acquisition: "loading another acquisition"), while busyWith() names
    // something; without, a new batch while one runs or holds the program folder.
    bool refuseWhileBusy(const QString& action = {});
    // Says that a logger still records one of `folders` (its frames are not all there yet),
    // and true; false when none is being recorded.
    bool refuseWhileRecorded(const QStringList& folders);
    // The frame-stepping buttons, off while a reprocess of the loaded acquisition runs.
    void setFrameStepping(bool enabled);

    void ToggleReprocess();
    void StartAcquisitionReprocess();
    void PollBatchProgress();
    void RememberTrainingSource();
    void ApplyTrainingToSelection();
    void ReprocessRoutes();
    void ExportZStack();
    void ExportZStackSequence();

private:
    QStringList selectedItems() const;
    QString windowAddress() const;
    QString projectFolder() const;
    void prepareProgressBar();
    void drawProgress(std::int32_t frame);
    void setMessage(const QString& text);
    // The stored tracker over a folder and its drawing; interactive: asks about bad frames.
    // True when it tracked every frame and wrote the trails.
    bool track(const QString& folder, bool interactive);
    results::StoredTrackerParams trackerParams() const;
    // Asks about a bad frame (showing it on Picture1) while `guard`'s window is there.
    std::function<bool(const std::string&, std::int32_t)> confirmBadFrame(const HandlerGuard& guard);
    // A tracking in steps from the timer (mode 3, "Reprocess Routes", asking about bad frames;
    // mode 4, the end of a reprocess): the bad-frame pass now, the tracking by StepRoutes.
    void startTracking(const QString& folder, int mode);
    // The drawing, the status note and the message boxes of a finished tracking.
    void showTrackResult(const results::StoredTrackResult& result, const HandlerGuard& guard);
    // One step of a tracking (timer tick); at its end the result and "end of routes
    // processing", or, ending a reprocess, the attempt's end and "Done!".
    void StepRoutes();
    // Ending a reprocess: true while the first copy of its positions file is still being made
    // (its progress shown in the message frame); endFirstCopyWait() hides that again.
    bool waitingForFirstCopy();
    void endFirstCopyWait();
    acquisition::BatchHooks batchHooks(const HandlerGuard& guard);
    void reportOutcomes(const std::vector<acquisition::AcquisitionOutcome>& outcomes);
    // The reprocess of the loaded acquisition did not finish: the previous results go back.
    void reprocessUnfinished(const QString& why);
    void followUnseenZStack();
    // The frame of a command over a selection: the status shown and the list locked before,
    // the failures reported and the window idle again after.
    bool beginSelectionRun(const QString& text, const HandlerGuard& guard);
    void endSelectionRun(const std::vector<acquisition::AcquisitionOutcome>& outcomes,
                         const HandlerGuard& guard);

    ReprocessControls m_c;
    platform::Services m_services;
    Lifetime m_life;
    ReprocessHooks m_hooks;
    // Shared with a command that waits on it, which may outlive the window.
    std::shared_ptr<acquisition::BatchRunner> m_runner;
    QTimer* m_unseenZStack = nullptr; // follows a z-stack while the replay has the timer

    std::optional<acquisition::TrainingSource> m_source;
    int m_mode = 0;
    QString m_deviceAddress; // of the acquisition a find batch works on
    QString m_batchFolder;   // the acquisition the running batch works on
    std::unique_ptr<results::StoredTrackerRun> m_routes; // the tracking in steps (modes 3, 4)
    bool m_copyShown = false; // the message frame shows the wait for the first copy
    QString m_routesPrevious; // the trails "Reprocess Routes" replaces, until it ends
};

} // namespace ui
