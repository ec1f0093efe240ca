#include "app/microbeam/ui/frame_check_controller.h"

#include "app/device/names.h"
#include "app/microbeam/arena_limits.h"
#include "app/widgets/picture_box.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

namespace ui {

FrameCheckController::FrameCheckController(const FrameCheckControls& controls,
                                           platform::Services services, const Lifetime& owner,
                                           FrameCheckHooks hooks, QObject* parent)
    : QObject(parent), m_c(controls), m_services(std::move(services)),
      m_life(Lifetime::childOf(owner)), m_hooks(std::move(hooks)), m_check(m_services) {
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
    // A check that waits for events ends when it resumes: header only, nothing asked.
    m_running = false;
    m_life.renew();
    if (m_check.active())
        m_check.stop();
}

void FrameCheckController::cmdStopClick() {
    m_running = false;
}

void FrameCheckController::CheckFrameFolder() {
    HandlerGuard guard(m_life, "CheckFrameFolder");
    if (!guard.entered())
        return;
    microbeam::ArenaLimits limits;
    {
        const auto x1 = microbeam::limitValue(m_c.txt_x1->text().toStdString());
        const auto x2 = microbeam::limitValue(m_c.txt_x2->text().toStdString());
        const auto y1 = microbeam::limitValue(m_c.txt_y1->text().toStdString());
        const auto y2 = microbeam::limitValue(m_c.txt_y2->text().toStdString());
        if (!x1 || !x2 || !y1 || !y2) {
            m_services.dialogs->message(
                QStringLiteral("The X-Limits and Y-Limits must lie between -32768 and 32767"));
            return;
        }
        limits = {*x1, *x2, *y1, *y2};
    }
    const microbeam::FrameCheck::BeginResult begin = m_check.begin(m_c.txt_file->text(), limits);
    if (!begin.message.isEmpty())
        m_services.dialogs->message(begin.message);
    if (!begin.ok || !guard.alive()) {
        if (begin.ok && guard.ownerAlive())
            m_check.stop();
        return;
    }
    if (m_hooks.prepareFrameSize)
        m_hooks.prepareFrameSize();
    m_running = true;

    PictureBox* picture = m_c.Picture1;
    microbeam::GraySampler sampler;
    sampler.showFrame = m_hooks.showImage;
    sampler.meanGrayAt = [picture](std::int16_t x, std::int16_t y) {
        return MeanGrayAt(*picture, x, y);
    };
    while (m_running && !m_check.samplingDone()) {
        const microbeam::FrameCheck::StepResult step = m_check.step(sampler);
        if (!guard.alive())
            break;
        if (step.sampled) {
            m_c.txt_current->setText(QString::number(step.frame));
            m_c.txt_current->repaint();
        }
        if (step.frame % 5 == 0) {
            QCoreApplication::processEvents();
            if (!guard.alive())
                break;
        }
    }
    if (!guard.ownerAlive())
        return; // the controller went with its window
    if (!guard.alive() || !m_running) {
        // Stopped: verificador.txt keeps its header, nothing is asked.
        m_check.stop();
        return;
    }
    const microbeam::FrameCheck::FinishResult finish = m_check.finish();
    if (!finish.error.isEmpty()) {
        m_check.end();
        m_services.dialogs->message(finish.error);
        return;
    }
    if (!finish.note.isEmpty()) {
        m_services.dialogs->message(finish.note);
        if (!guard.alive()) {
            if (guard.ownerAlive())
                m_check.end();
            return;
        }
    }
    if (!finish.badFrames.empty()) {
        const bool rename =
            m_services.dialogs->question(finish.question, platform::QuestionButtons::YesNoCancel);
        if (!guard.alive()) {
            if (guard.ownerAlive())
                m_check.end();
            return;
        }
        if (rename)
            m_check.renameBadFrames([&guard] { return guard.alive(); });
        if (!guard.alive())
            return; // closed or stopped during the renames: the close ended the check
    }
    m_check.end();
}

std::int16_t FrameCheckController::MeanGrayAt(const PictureBox& picture, std::int16_t x,
                                              std::int16_t y) {
    return microbeam::meanGrayOfBox(x, y, [&picture](int px, int py) {
        return static_cast<int>(device::GrayFromColor(picture.point(px, py)));
    });
}

} // namespace ui
