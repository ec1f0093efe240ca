#include "app/microbeam/ui/frame_check_controller.h"

#include "app/device/names.h"
#include "app/widgets/picture_box.h"
#include "formats/numbers.h"

#include <QLineEdit>
#include <QPushButton>

namespace ui {

FrameCheckController::FrameCheckController(const FrameCheckControls& controls,
                                           platform::Services services, const Lifetime& owner,
                                           FrameCheckHooks hooks, QObject* parent)
    : QObject(parent), m_c(controls), m_services(std::move(services)),
      m_life(Lifetime::childOf(owner)), m_hooks(std::move(hooks)) {
    connect(m_c.cmd_filtrar, &QPushButton::clicked, this, &FrameCheckController::CheckFrameFolder);
    connect(m_c.cmd_stop, &QPushButton::clicked, this, &FrameCheckController::cmdStopClick);
}

FrameCheckController::~FrameCheckController() {
    m_life.end();
}

void FrameCheckController::resetForLoad() {
    m_running = false;
}

void FrameCheckController::stopForClose() {
    m_running = false;
    m_life.renew();
}

void FrameCheckController::cmdStopClick() {
    m_running = false;
}

void FrameCheckController::CheckFrameFolder() {}

std::int16_t FrameCheckController::MeanGrayAt(const PictureBox& picture, std::int16_t x,
                                              std::int16_t y) {
    std::int64_t sum = 0;
    for (int dy = -50; dy <= 50; ++dy)
        for (int dx = -50; dx <= 50; ++dx)
            sum += device::GrayFromColor(picture.point(x + dx, y + dy));
    return static_cast<std::int16_t>(formats::roundHalfEven(static_cast<double>(sum) / 10201.0));
}

} // namespace ui
