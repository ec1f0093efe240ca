#include "app/results/ui/trail_replay_controller.h"

#include "app/results/trail_plot.h"
#include "app/results/trail_replay.h"
#include "app/results/ui/result_views.h"
#include "app/widgets/box_values.h"
#include "app/widgets/picture_box.h"
#include "formats/save_file.h"
#include "formats/text_lines.h"
#include "formats/training_file.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

namespace ui {

namespace {

constexpr int kWhite = colourValue(255, 255, 255);
constexpr int kProgressGray = colourValue(128, 128, 128);
// The progress bar runs over the frames of a stored acquisition.
constexpr double kProgressFrames = 300.0;

// The trails of frames 1 .. f kept apart from the picture, so that a frame draws only its own
// steps and not every step since frame 1 again.
class TrailLayer {
public:
    explicit TrailLayer(const PictureBox* picture)
        : m_picture(picture), m_image(picture->backingSize(), QImage::Format_ARGB32_Premultiplied) {
        m_image.fill(Qt::transparent);
    }
    // Adds the steps of frames up to f that are not in the layer yet.
    void extendTo(const results::TrailPlot& plot, std::int32_t f) {
        if (f <= m_frame)
            return;
        const auto all = plot.strokesUpTo(f);
        const auto drawn = plot.strokesUpTo(m_frame).size();
        QPainter painter(&m_image);
        for (const results::PlotStroke& s : all.subspan(drawn)) {
            painter.setPen(QPen(toQColor(s.color), m_picture->drawWidth()));
            painter.drawLine(m_picture->toBacking(s.x1, s.y1), m_picture->toBacking(s.x2, s.y2));
        }
        m_frame = f;
    }
    void drawOver(PictureBox* picture) const {
        QPainter painter(&picture->image());
        painter.drawImage(0, 0, m_image);
        picture->update();
    }

private:
    const PictureBox* m_picture;
    QImage m_image;
    std::int32_t m_frame = 0;
};

} // namespace

TrailReplayController::TrailReplayController(const TrailReplayControls& controls,
                                             platform::Services services, const Lifetime& window,
                                             TrailReplayHooks hooks, QObject* parent)
    : QObject(parent), m_c(controls), m_services(std::move(services)),
      m_life(Lifetime::childOf(window)), m_hooks(std::move(hooks)) {
    connect(m_c.cmd_wormtrails, &QPushButton::clicked, this,
            &TrailReplayController::cmdWormTrailsClick);
    connect(m_c.cmd_exportbmp, &QPushButton::clicked, this,
            &TrailReplayController::cmdExportBmpClick);
}

TrailReplayController::~TrailReplayController() {
    m_life.end();
}

void TrailReplayController::setLabelsToDash() {
    for (QLabel* label : {m_c.lbl_speed, m_c.lbl_distance, m_c.lbl_turnings, m_c.lbl_particle})
        label->setText(QStringLiteral("-"));
}

void TrailReplayController::clearResults() {
    for (QLabel* label : {m_c.lbl_speed, m_c.lbl_distance, m_c.lbl_turnings, m_c.lbl_particle})
        label->clear();
    for (PictureBox* picture : {m_c.Picture2, m_c.Picture3}) {
        picture->clearPicture();
        picture->setBackColor(kWhite);
        picture->cls();
    }
    m_c.cmd_exportbmp->hide();
}

void TrailReplayController::drawProgress(std::int32_t frame) {
    m_c.Picture_progress->box(0.0, 0.0, frame, 10.0, kProgressGray, true);
}

void TrailReplayController::cmdWormTrailsClick() {
    // The batch poll goes off; a batch that it followed ends with it rather than run on unseen.
    if (m_hooks.endBatch)
        m_hooks.endBatch();
    m_c.Timeracq->stop();
    HandlerGuard guard(m_life, "PlotResults");
    // A click while the plot or the replay runs ends it at its next frame.
    if (!guard.entered() || m_hooks.processing()) {
        m_hooks.setProcessing(false);
        return;
    }
    setLabelsToDash();
    m_c.cmd_exportbmp->show();
    const PlotEnd plot = PlotWormTrails();
    if (plot != PlotEnd::Done || !guard.alive())
        return;
    m_c.cmd_wormtrails->setText(QStringLiteral("Calculating Results"));
    PictureBox* p2 = m_c.Picture2;
    p2->setScale(0.0, 0.0, 1600.0, 1200.0);
    p2->clearPicture();
    p2->cls();
    ReplayTrails();
    if (!guard.alive())
        return;
    m_c.cmd_wormtrails->setText(QStringLiteral("Plot Results"));
}

TrailReplayController::PlotEnd TrailReplayController::PlotWormTrails() {
    HandlerGuard guard(m_life);
    const bool idMarks = m_c.mn_idmark->isChecked();
    const bool white = m_c.chk_white->isChecked();
    PictureBox* p1 = m_c.Picture1;
    if (white) {
        p1->clearPicture();
        p1->setBackColor(kWhite);
        p1->setScale(0.0, 0.0, 1600.0, 1200.0);
        p1->cls();
        m_hooks.drawPlateOutline();
        p1->keepAsPicture(); // what every frame starts from
        p1->show();
    }
    m_c.Picture_progress->setScale(0.0, 0.0, kProgressFrames, 10.0);
    m_c.Picture_progress->cls();
    m_c.Picture_progress->show();
    m_hooks.setProcessing(true);
    m_c.label_frame->setText(QStringLiteral("1"));

    const std::string folder = m_hooks.acquisitionFolder().toStdString();
    const results::TrailPlot plot = results::loadTrailPlot(folder, m_hooks.singleAnimal());
    if (!plot.ok) {
        // The flag is cleared, so that the next command starts at once.
        m_hooks.setProcessing(false);
        m_services.dialogs->message(fromStd(plot.message));
        return guard.alive() ? PlotEnd::Failed : PlotEnd::Closed;
    }
    results::PlotOptions options;
    options.acqFolder = folder;
    options.deviceAddress = m_c.txt_ip1->text().toStdString();
    options.whiteBackground = white;
    options.idMarks = idMarks;
    TrailLayer layer(p1);
    for (const std::int32_t f : plot.frames) {
        drawProgress(f);
        const results::PlotFrame frame = results::plotFrame(plot, f, options);
        if (frame.drawn) {
            if (frame.showImage)
                m_hooks.showImage(fromStd(frame.imagePath));
            else
                p1->cls();
            if (!guard.alive())
                return PlotEnd::Closed;
            layer.extendTo(plot, f);
            layer.drawOver(p1);
            for (const results::PlotLabel& label : frame.labels)
                p1->printText(label.x, label.y, fromStd(label.text), label.color);
        }
        m_services.clock->pause(kPlotFramePauseMs);
        if (!guard.alive())
            return PlotEnd::Closed;
        if (!m_hooks.processing())
            return PlotEnd::Stopped;
    }
    m_c.Label_rotation->setText(QStringLiteral("Rotation Index"));
    return PlotEnd::Done;
}

void TrailReplayController::failReplay(const QString& message) {
    m_hooks.setProcessing(false);
    m_services.dialogs->message(message);
}

void TrailReplayController::ReplayTrails() {
    HandlerGuard guard(m_life);
    PictureBox* progress = m_c.Picture_progress;
    progress->setScale(0.0, 0.0, kProgressFrames, 10.0);
    progress->cls();
    progress->show();
    m_hooks.setProcessing(true);

    const QString folder = m_hooks.acquisitionFolder();
    const std::string folderText = folder.toStdString();
    if (folder.isEmpty() || !formats::fileExists(formats::trainingPath(folderText))) {
        failReplay(QString::fromLatin1(results::kTrainingNotFoundMessage));
        return;
    }
    const QString bmpFolder =
        QDir(folder).filePath(QString::fromLatin1(results::kReplayBitmapFolder));
    if (m_c.chk_bmp->isChecked())
        QDir().mkpath(bmpFolder);
    m_hooks.loadTraining(folder);
    if (!guard.alive())
        return;
    results::ReplaySetup setup =
        results::prepareReplay(folderText,
                               {m_c.txt_x1->text().toStdString(), m_c.txt_x2->text().toStdString(),
                                m_c.txt_y1->text().toStdString(), m_c.txt_y2->text().toStdString(),
                                m_c.txt_psize->text().toStdString()},
                               m_hooks.singleAnimal());
    if (setup.plateSizeReplaced)
        m_c.txt_psize->setText(QStringLiteral("35"));
    if (!setup.ok) {
        failReplay(fromStd(setup.message));
        return;
    }
    m_c.label_frame->setText(QStringLiteral("1"));

    results::TrailReplay replay(std::move(setup.trailsText), setup.settings);
    PictureBox* p2 = m_c.Picture2;
    while (replay.status() == results::TrailReplay::Status::Running && m_hooks.processing()) {
        const results::ReplayFrame frame = replay.next();
        if (frame.summary) {
            drawProgress(frame.frame);
            m_c.lbl_particle->setText(fromStd(frame.particleText));
            m_c.lbl_particle->repaint();
            if (frame.distanceText) {
                m_c.lbl_distance->setText(fromStd(*frame.distanceText));
                m_c.lbl_turnings->setText(fromStd(*frame.turningsText));
                m_c.lbl_speed->setText(fromStd(*frame.speedText));
            }
        }
        m_c.txt_nfile->setText(QString::number(frame.frame));
        m_c.txt_nfile->repaint();
        // The option is read at every frame: ticking it during a replay takes effect at once.
        if (frame.hasMovement() && m_c.chk_bmp->isChecked()) {
            for (const results::PlotStroke& s : frame.moves)
                p2->line(s.x1, s.y1, s.x2, s.y2, s.color);
            QDir().mkpath(bmpFolder);
            const std::string path = results::replayBitmapPath(folderText, frame.frame);
            if (const std::string error = saveBitmap(p2, path); !error.empty()) {
                failReplay(QString::fromLatin1(results::kReplayErrorMessage) +
                           QStringLiteral("\n") + fromStd(error));
                return;
            }
        }
        if (replay.status() == results::TrailReplay::Status::Failed)
            break;
        m_services.clock->pause(kReplayFramePauseMs);
        if (!guard.alive())
            return;
    }
    if (replay.status() == results::TrailReplay::Status::Failed) {
        failReplay(fromStd(replay.error() + "\n" + replay.detail()));
        return;
    }
    DrawHistogram(m_c.Picture3, replay.histogram());
    m_hooks.setProcessing(false);
}

std::string TrailReplayController::saveBitmap(const PictureBox* picture, const std::string& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!picture->image().save(&buffer, "BMP"))
        return "the picture " + path + " could not be made";
    const std::string error =
        formats::saveFileAtomic(path, std::string_view(bytes.constData(), bytes.size()));
    return error.empty() ? error : "the picture could not be written: " + error;
}

void TrailReplayController::cmdExportBmpClick() {
    HandlerGuard guard(m_life);
    const QString folder = m_hooks.acquisitionFolder();
    if (folder.isEmpty())
        return;
    const results::PictureExport exported = results::pictureExportFor(
        folder.toStdString(), m_c.txt_filepj->text().toStdString(), m_c.chk_white->isChecked());
    PictureBox* p1 = m_c.Picture1;
    p1->printText(0.0, 0.0, fromStd(exported.caption), exported.textColor, kExportCaptionPixels);
    if (const std::string error = saveBitmap(p1, exported.path); !error.empty()) {
        m_services.dialogs->message(fromStd(error));
        return;
    }
    m_services.clock->pause(100);
    if (!guard.alive())
        return;
    // The picture is saved either way; an opener that does not start, or fails, says so.
    m_services.launcher->openPath(
        fromStd(exported.path), [dialogs = m_services.dialogs, path = fromStd(exported.path)] {
            dialogs->message(QStringLiteral("Picture written to ") + path +
                             QStringLiteral(", but it could not be opened"));
        });
}

} // namespace ui
