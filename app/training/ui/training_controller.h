#pragma once
// The training workbench of a window: the pick list (`cmd_clear` opens and ends it, clicks on the
// preview pick organisms inside the plate circle, at most ten, each marked with a red box and
// its number) and `cmd_detect`, which measures five to ten picks ("APPLY") into the detector
// limits, the descriptor file and the training file, or runs the window's training test.

#include "app/training/target_measurement.h"
#include "app/widgets/handler_guard.h"
#include "platform/services.h"

#include <QObject>
#include <QString>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {

class PictureBox;
class PlateController;

struct TrainingControls {
    PictureBox* Picture1 = nullptr;
    QPushButton* cmd_detect = nullptr;
    QPushButton* cmd_clear = nullptr;
    QPushButton* cmd_focus = nullptr; // the acquisition window's; null in the other
    QLabel* lbl_last_training = nullptr;
    QLineEdit* txt_npix = nullptr;
    QLineEdit* txt_x1 = nullptr;
    QLineEdit* txt_x2 = nullptr;
    QLineEdit* txt_y1 = nullptr;
    QLineEdit* txt_y2 = nullptr;
    // The boxes the measurement writes.
    QLineEdit* txt_pixmin = nullptr;
    QLineEdit* txt_pixmax = nullptr;
    QLineEdit* txt_umbralmin = nullptr;
    QLineEdit* txt_umbralmax = nullptr;
    QLineEdit* txt_lenmin = nullptr;
    QLineEdit* txt_umbral_analisis = nullptr;
    QLineEdit* txt_lenmax = nullptr;
    QLineEdit* txt_maxtravel = nullptr;
};

// What the workbench asks of its window.
struct TrainingHooks {
    training::TrainingWindow window = training::TrainingWindow::Acquisition;
    std::function<int()> pageState;
    // Shows the plain preview the picks are measured on (false when there is none).
    std::function<bool()> showPreview;
    // Writes the program folder's training file from the boxes.
    std::function<bool()> writeTrainingFile;
    // Before a training test: the reanalysis window puts frame 0 of its acquisition in place
    // of the preview (empty: the preview as it is).
    std::function<bool()> reloadFirstFrame;
    // "Round Shape Organism" of the window.
    std::function<bool()> roundShape;
};

class TrainingController : public QObject {
    Q_OBJECT
public:
    TrainingController(const TrainingControls& controls, PlateController& plate,
                       platform::Services services, const Lifetime& window, TrainingHooks hooks,
                       QObject* parent);

    // The last pointer position over the picture, in frame pixels.
    void StorePointerPosition(double x, double y);
    void PickTrainingTarget();
    void cmdClearClick();
    void cmdDetectClick();
    // "APPLY": five to ten picks measured into the limits, the descriptor and training files.
    void MeasureTargets();
    // "TEST TRAINING": Dravel and Sirrex once on the program folder's preview with the training
    // of the boxes (written into the program folder's training.dat first), and the detections
    // drawn. A value the finder would refuse is named by its box; a program that fails is named
    // with the first line of its error output. Each program is waited for (at most
    // kTestProgramMs); the previous test's conversion, files and marks are removed first, so
    // nothing stale is drawn. A program folder whose name ends in "img" is refused: the finder would
    // write into its parent.
    void TestTraining();
    static constexpr int kTestProgramMs = 15000;
    static constexpr int kTestPollMs = 1;

private:
    TrainingControls m_c;
    PlateController& m_plate;
    platform::Services m_services;
    Lifetime m_life;
    TrainingHooks m_hooks;
    int m_pointerX = 0;
    int m_pointerY = 0;
};

} // namespace ui
