#include "app/microbeam/ui/microbeam_run_controller.h"

#include "app/widgets/picture_box.h"

#include <QCheckBox>
#include <QColor>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

namespace ui {

namespace {

const QString kFileZeroMissing = QStringLiteral("File 0 not found");

// The backing-image rectangle of a box from (x, y) to (x + size, y + size) in user units.
QRectF userBox(const PictureBox& picture, double x, double y, double size) {
    return QRectF(picture.toBacking(x, y), picture.toBacking(x + size, y + size)).normalized();
}

} // namespace

MicrobeamRunController::MicrobeamRunController(Window window, const MicrobeamRunControls& controls,
                                               platform::Services services, const Lifetime& owner,
                                               MicrobeamRunHooks hooks, QObject* parent)
    : QObject(parent), m_window(window), m_c(controls), m_services(std::move(services)),
      m_life(Lifetime::childOf(owner)), m_hooks(std::move(hooks)), m_loop(m_services) {
    connect(m_c.Timer2, &QTimer::timeout, this, &MicrobeamRunController::MicrobeamRunStep);
    if (m_window == Window::Microbeam)
        connect(m_c.runButton, &QPushButton::clicked, this,
                &MicrobeamRunController::cmdProcessClick);
}

MicrobeamRunController::~MicrobeamRunController() {
    m_life.end();
}

bool MicrobeamRunController::running() const {
    return m_hooks.processing ? m_hooks.processing() : m_running;
}

void MicrobeamRunController::setRunning(bool on) {
    if (m_hooks.setProcessing)
        m_hooks.setProcessing(on);
    else
        m_running = on;
}

void MicrobeamRunController::status(const QString& text) {
    if (m_hooks.status)
        m_hooks.status(text);
}

void MicrobeamRunController::resetForLoad() {
    m_loop.clearRing();
    setRunning(false);
}

void MicrobeamRunController::stopForClose() {
    // Handlers of the run that wait stop when they resume.
    m_life.renew();
    m_c.Timer2->stop();
    m_loop.stop();
    if (m_window == Window::Microbeam)
        setRunning(false);
}

void MicrobeamRunController::endRun(const QString& caption) {
    setRunning(false);
    m_c.Timer2->stop();
    m_loop.stop();
    m_c.runButton->setText(caption);
}

void MicrobeamRunController::cmdProcessClick() {
    if (running()) {
        endRun(QStringLiteral("Process"));
        return;
    }
    StartMicrobeamRun();
}

void MicrobeamRunController::StartMicrobeamRun() {
    HandlerGuard guard(m_life, "StartMicrobeamRun");
    if (!guard.entered())
        return;
    microbeam::FrameLoopSetup setup;
    setup.folder = m_c.txt_file->text();
    if (m_window == Window::Reanalysis) {
        setup.acquisitionFolder =
            m_hooks.acquisitionFolder ? m_hooks.acquisitionFolder() : QString();
        setup.deviceAddress = m_c.txt_ip1 ? m_c.txt_ip1->text() : QString();
        if (setup.acquisitionFolder.isEmpty()) {
            // Nothing to run over; the window stays idle.
            m_services.dialogs->message(QStringLiteral("Load an acquisition first"));
            return;
        }
    } else {
        setup.micro = m_c.chk_micro && m_c.chk_micro->isChecked();
    }

    setRunning(true);
    m_c.txt_activity->setText(QStringLiteral("0"));
    m_failedBlocks = 0;
    status(QString());
    const microbeam::FrameLoop::StartResult start = m_loop.start(setup);
    if (!start.started) {
        // Without frame 0 the run flag stays on and the timer off: the next press of the run
        // button is a stop. Any other refusal leaves the window idle.
        if (start.message != kFileZeroMissing)
            setRunning(false);
        m_services.dialogs->message(start.message);
        return;
    }
    if (!guard.alive())
        return;
    const microbeam::FrameSize size = m_loop.frameSize();
    if (m_hooks.setFrameSize)
        m_hooks.setFrameSize(QSize(size.width, size.height));
    // The picture takes the reduced raster; frame 0 is shown by the first tick, which reads it.
    ShowFrameString(*m_c.Picture1, {}, size);
    m_c.counter->setText(QStringLiteral("0"));
    m_c.counter->repaint();
    m_c.Timer2->start();
    m_c.runButton->setText(QStringLiteral("STOP"));
}

void MicrobeamRunController::MicrobeamRunStep() {
    HandlerGuard guard(m_life, "MicrobeamRunStep");
    if (!guard.entered())
        return;
    if (!running()) {
        // The reanalysis window's timer goes off; the Microbeam window's keeps ticking idle.
        if (m_window == Window::Reanalysis)
            m_c.Timer2->stop();
        m_loop.stop();
        return;
    }
    // A start that found no frame 0 left the flag on with nothing to run.
    if (!m_loop.running())
        return;

    microbeam::FrameLoop::TickInput input;
    input.counter = microbeam::boxNumber(m_c.counter->text());
    input.lastFrame = microbeam::boxNumber(m_c.txt_max->text());
    input.activity = microbeam::boxNumber(m_c.txt_activity->text());
    const microbeam::FrameLoop::TickResult tick = m_loop.tick(input);
    if (!tick.frameDone && !tick.ended)
        return; // the frame is still being converted

    const microbeam::FrameSize size = m_loop.frameSize();
    if (tick.stored)
        ShowFrameString(*m_c.Picture1, tick.pixels, size);
    if (tick.frameDone) {
        m_c.counter->setText(QString::number(tick.counter));
        m_c.txt_activity->setText(QString::number(tick.activity));
    }
    if (tick.blockDone) {
        if (tick.block.failed) {
            // A failed block adds 0, like a block without activity; the operator is told which.
            ++m_failedBlocks;
            status(QStringLiteral("Block of frames %1 to %2 not measured: %3")
                       .arg(tick.frame - 9)
                       .arg(tick.frame)
                       .arg(QString::fromStdString(tick.block.reason)));
        } else {
            status(QStringLiteral("Block of frames %1 to %2: activity %3")
                       .arg(tick.frame - 9)
                       .arg(tick.frame)
                       .arg(tick.block.activity));
        }
        DrawActivityMask(*m_c.Picture1, m_loop.mask(), size);
    }
    if (tick.ended) {
        endRun(QStringLiteral("Process"));
        if (!tick.error.isEmpty())
            m_services.dialogs->message(tick.error);
        return;
    }
    m_c.Timer2->start();
}

void MicrobeamRunController::ShowFrameString(PictureBox& picture,
                                             const microbeam::FramePixels& pixels,
                                             microbeam::FrameSize size) {
    if (size.width <= 0 || size.height <= 0)
        return;
    picture.setScale(0.0, 0.0, size.width, size.height);
    picture.clearPicture();
    picture.cls();
    // A frame that could not be shown before left the box hidden; the run's frames show again.
    picture.show();
    {
        QPainter painter(&picture.image());
        int x = 0;
        int y = 0;
        for (const std::uint8_t gray : pixels) {
            if (y >= size.height)
                break;
            painter.fillRect(userBox(picture, x, y, 1.0), QColor(gray, gray, gray));
            if (++x >= size.width) {
                x = 0;
                ++y;
            }
        }
    }
    picture.update();
}

void MicrobeamRunController::DrawActivityMask(PictureBox& picture,
                                              const microbeam::ActivityMask& mask,
                                              microbeam::FrameSize size) {
    {
        QPainter painter(&picture.image());
        const QColor red = toQColor(colourValue(255, 0, 0));
        for (const microbeam::MaskMark& mark : microbeam::maskMarks(mask, size))
            painter.fillRect(userBox(picture, mark.x, mark.y, 2.0), red);
    }
    picture.update();
}

} // namespace ui
