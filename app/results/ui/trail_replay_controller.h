#pragma once
// "Plot Results" of the reanalysis window: the trail plot of the loaded acquisition on
// Picture1 (frame by frame, over the frame images or a white background with the analysis
// area), then the replay of its trails file with the four result labels, the progress bar, the
// movement drawing on Picture2 and its picture sequence in the acquisition's `bmp` folder, and
// at the end the speed chart on Picture3. "Export .BMP" saves the plot with the project and
// acquisition printed on it as `bmp_out.bmp` and opens it.
//
// Both steps run on the window's thread and pause between frames through the Clock, so that a
// second click on the button, STOP or closing the window ends them at the next frame.

#include "app/widgets/handler_guard.h"
#include "platform/services.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace ui {

class PictureBox;

// The fixed pauses between frames: the plot's and the replay's.
inline constexpr int kPlotFramePauseMs = 1;
inline constexpr int kReplayFramePauseMs = 1;
// Pixel size of the caption that the picture export prints on the plot.
inline constexpr int kExportCaptionPixels = 40;

struct TrailReplayControls {
    QPushButton* cmd_wormtrails = nullptr;
    QPushButton* cmd_exportbmp = nullptr;
    QLabel* lbl_particle = nullptr;
    QLabel* lbl_distance = nullptr;
    QLabel* lbl_turnings = nullptr;
    QLabel* lbl_speed = nullptr;
    QLabel* label_frame = nullptr;
    QLabel* Label_rotation = nullptr;
    QLineEdit* txt_nfile = nullptr;
    QLineEdit* txt_ip1 = nullptr;    // device address: names the frame images
    QLineEdit* txt_filepj = nullptr; // project and acquisition: the export's caption
    QLineEdit* txt_x1 = nullptr;
    QLineEdit* txt_x2 = nullptr;
    QLineEdit* txt_y1 = nullptr;
    QLineEdit* txt_y2 = nullptr;
    QLineEdit* txt_psize = nullptr;
    PictureBox* Picture1 = nullptr;         // the plot
    PictureBox* Picture2 = nullptr;         // the replay's movement drawing
    PictureBox* Picture3 = nullptr;         // the speed chart
    PictureBox* Picture_progress = nullptr; // the progress bar
    QTimer* Timeracq = nullptr;             // the batch poll, off while results are shown
    QAction* mn_idmark = nullptr;
    QAction* chk_bmp = nullptr;
    QAction* chk_white = nullptr;
};

// What the commands ask of their window.
struct TrailReplayHooks {
    std::function<QString()> acquisitionFolder;
    std::function<bool()> processing;
    std::function<void(bool)> setProcessing;
    std::function<bool()> singleAnimal;
    // The window's training boxes from a folder's training.dat.
    std::function<void(const QString&)> loadTraining;
    // A frame image into Picture1 (it replaces the picture); false when it could not be shown.
    std::function<bool(const QString&)> showImage;
    // The analysis area drawn over Picture1 as it is.
    std::function<void()> drawPlateOutline;
    // Ends a batch of the window that is running, with its poll (the results take the window).
    std::function<void()> endBatch;
};

class TrailReplayController : public QObject {
    Q_OBJECT
public:
    TrailReplayController(const TrailReplayControls& controls, platform::Services services,
                          const Lifetime& window, TrailReplayHooks hooks, QObject* parent);
    ~TrailReplayController() override;

    // How a plot ended.
    enum class PlotEnd { Done, Stopped, Failed, Closed };

    // `cmd_wormtrails`: plot and replay, or, while one of them runs, stop it.
    void cmdWormTrailsClick();
    // The plot of the loaded acquisition's trails on Picture1.
    PlotEnd PlotWormTrails();
    // The replay of the loaded acquisition's trails file.
    void ReplayTrails();
    // `cmd_exportbmp`: the plot saved as bmp_out.bmp and opened.
    void cmdExportBmpClick();

    // Another acquisition is loaded: the figures, the chart and the movement drawing of an
    // earlier plot go with the export of it, as they belong to no acquisition now shown.
    void clearResults();

    // True while the plot or the replay runs.
    bool running() const { return m_life.running("PlotResults"); }

private:
    void setLabelsToDash();
    void drawProgress(std::int32_t frame);
    // Saves a picture box's image as a Windows bitmap; the error text, empty on success.
    static std::string saveBitmap(const PictureBox* picture, const std::string& path);
    void failReplay(const QString& message);

    TrailReplayControls m_c;
    platform::Services m_services;
    Lifetime m_life;
    TrailReplayHooks m_hooks;
};

} // namespace ui
