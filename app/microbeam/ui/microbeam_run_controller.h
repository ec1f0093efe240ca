#pragma once
// The Microbeam run of a window: one stored frame per 100 ms tick of the window's `Timer2`,
// converted at reduced scale, kept in a ring of ten and painted; after every ten frames the
// block activity is added to the shown total and the active pixels are painted red. The run
// stops after frame `txt_max`, or by its button. Two windows hold one each: the Microbeam
// window (button `cmd_process`, counter `txt_current`, frames of any folder) and the reanalysis
// window in its Microbeam mode (button `cmd_reprocess`, counter `txt_nfile`, frames of the
// loaded acquisition, run flag shared with the window's other long commands).

#include "app/microbeam/frame_loop.h"
#include "app/widgets/handler_guard.h"
#include "platform/services.h"

#include <QObject>
#include <QSize>
#include <QString>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace ui {

class PictureBox;

struct MicrobeamRunControls {
    QPushButton* runButton = nullptr; // cmd_process, or cmd_reprocess
    QLineEdit* counter = nullptr;     // txt_current, or txt_nfile
    QLineEdit* txt_max = nullptr;
    QLineEdit* txt_activity = nullptr;
    PictureBox* Picture1 = nullptr;
    QTimer* Timer2 = nullptr;
    QLineEdit* txt_file = nullptr;  // the frames' folder
    QCheckBox* chk_micro = nullptr; // Microbeam window only: 640 x 480 frames
    QLineEdit* txt_ip1 = nullptr;   // reanalysis window only: the device address
};

// What the run asks of its window.
struct MicrobeamRunHooks {
    // Reanalysis window: the run flag is the window's `Processing`, shared with its other long
    // commands. Left empty, the controller keeps its own flag.
    std::function<bool()> processing;
    std::function<void(bool)> setProcessing;
    // Reanalysis window: the loaded acquisition's folder.
    std::function<QString()> acquisitionFolder;
    // The window's frame size follows the reduced raster of the preview.
    std::function<void(QSize)> setFrameSize;
    // A line of status for the operator: why a block failed, or empty again after a block
    // that was computed (with or without activity).
    std::function<void(const QString&)> status;
};

class MicrobeamRunController : public QObject {
    Q_OBJECT
public:
    enum class Window { Microbeam, Reanalysis };

    MicrobeamRunController(Window window, const MicrobeamRunControls& controls,
                           platform::Services services, const Lifetime& owner,
                           MicrobeamRunHooks hooks, QObject* parent);
    ~MicrobeamRunController() override;

    // The run flag (`MicrobeamRunning`, or the window's `Processing`).
    bool running() const;

    // The window's load: the run flag cleared, the ring emptied.
    void resetForLoad();
    // The window closes: a run stops at once and nothing of it touches the window again.
    void stopForClose();

    // Microbeam window: the click of `cmd_process` (a start, or a stop while a run is on).
    void cmdProcessClick();
    // StartMicrobeamRun: reanalysis window: called by the reprocess button in Microbeam mode.
    void StartMicrobeamRun();
    // MicrobeamRunStep: the tick of `Timer2`.
    void MicrobeamRunStep();

    // The engine (ring, mask, frame size of the last run).
    const microbeam::FrameLoop& loop() const { return m_loop; }
    // Blocks of the current run that failed (their activity counted 0).
    int failedBlocks() const { return m_failedBlocks; }

    // ShowFrameString: a reduced frame on the picture's reduced raster (the picture cleared and
    // its coordinates made width x height first); one gray box per value, row by row.
    static void ShowFrameString(PictureBox& picture, const microbeam::FramePixels& pixels,
                                microbeam::FrameSize size);
    // DrawActivityMask: a 2 x 2 pure red box over every active pixel of the mask.
    static void DrawActivityMask(PictureBox& picture, const microbeam::ActivityMask& mask,
                                 microbeam::FrameSize size);

private:
    void setRunning(bool on);
    void endRun(const QString& caption);
    void status(const QString& text);

    Window m_window;
    MicrobeamRunControls m_c;
    platform::Services m_services;
    Lifetime m_life;
    MicrobeamRunHooks m_hooks;
    microbeam::FrameLoop m_loop;
    bool m_running = false;
    int m_failedBlocks = 0;
};

} // namespace ui
