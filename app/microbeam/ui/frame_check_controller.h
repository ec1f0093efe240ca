#pragma once
// The frame check of the Microbeam window ("Filtrar Archivos con errores", stopped by "stop"):
// every frame of the folder is shown and sampled in five boxes around the analysis area; a
// frame whose box brightness differs by more than 6 % from that box's mean over the folder is
// bad. The rows go to verificador.txt in the program folder, and the bad frames can be marked
// by renaming them.

#include "app/microbeam/frame_check.h"
#include "app/widgets/handler_guard.h"
#include "platform/services.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class QLineEdit;
class QPushButton;

namespace ui {

class PictureBox;

struct FrameCheckControls {
    QPushButton* cmd_filtrar = nullptr;
    QPushButton* cmd_stop = nullptr;
    QLineEdit* txt_file = nullptr;
    QLineEdit* txt_current = nullptr;
    QLineEdit* txt_x1 = nullptr;
    QLineEdit* txt_x2 = nullptr;
    QLineEdit* txt_y1 = nullptr;
    QLineEdit* txt_y2 = nullptr;
    PictureBox* Picture1 = nullptr;
};

struct FrameCheckHooks {
    // The window's ShowImage: false when the frame could not be shown.
    std::function<bool(const QString&)> showImage;
    // Before the sampling: the window's frame size as LOAD sets it, so that every frame is
    // painted whole over the 1600 x 1200 coordinates.
    std::function<void()> prepareFrameSize;
};

class FrameCheckController : public QObject {
    Q_OBJECT
public:
    FrameCheckController(const FrameCheckControls& controls, platform::Services services,
                         const Lifetime& owner, FrameCheckHooks hooks, QObject* parent);
    ~FrameCheckController() override;

    bool FrameCheckRunning() const { return m_running; }
    void resetForLoad();
    void stopForClose();

    // `cmd_filtrar`: CheckFrameFolder.
    void CheckFrameFolder();
    // `cmd_stop`: clears FrameCheckRunning.
    void cmdStopClick();

    // The mean gray of the picture over the 101 x 101 points around (x, y), in the picture's
    // 1600 x 1200 coordinates; a point outside the picture counts as white.
    static std::int16_t MeanGrayAt(const PictureBox& picture, std::int16_t x, std::int16_t y);

private:
    FrameCheckControls m_c;
    platform::Services m_services;
    Lifetime m_life;
    FrameCheckHooks m_hooks;
    microbeam::FrameCheck m_check;
    bool m_running = false;
};

} // namespace ui
