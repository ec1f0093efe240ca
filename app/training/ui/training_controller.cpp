#include "app/training/ui/training_controller.h"

#include "app/device/names.h"
#include "app/device/training_boxes.h"
#include "app/training/target_picking.h"
#include "app/training/training_test.h"
#include "app/training/ui/plate_controller.h"
#include "app/widgets/box_values.h"
#include "app/widgets/picture_box.h"
#include "formats/numbers.h"
#include "formats/save_file.h"
#include "formats/training_file.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <vector>

namespace ui {

namespace {
constexpr int kRed = colourValue(255, 0, 0);
} // namespace

TrainingController::TrainingController(const TrainingControls& controls, PlateController& plate,
                                       platform::Services services, const Lifetime& window,
                                       TrainingHooks hooks, QObject* parent)
    : QObject(parent), m_c(controls), m_plate(plate), m_services(std::move(services)),
      m_life(Lifetime::childOf(window)), m_hooks(std::move(hooks)) {
    connect(m_c.Picture1, &PictureBox::mousePressed, this,
            [this](double x, double y, Qt::MouseButton button) {
                StorePointerPosition(x, y);
                // Only a click of the left button picks; every press moves the pointer.
                if (button == Qt::LeftButton)
                    PickTrainingTarget();
            });
    connect(m_c.cmd_clear, &QPushButton::clicked, this, &TrainingController::cmdClearClick);
    connect(m_c.cmd_detect, &QPushButton::clicked, this, &TrainingController::cmdDetectClick);
}

void TrainingController::StorePointerPosition(double x, double y) {
    m_pointerX = static_cast<int>(formats::roundHalfEven(x));
    m_pointerY = static_cast<int>(formats::roundHalfEven(y));
}

void TrainingController::PickTrainingTarget() {
    training::PickList& picks = m_plate.pickedTargets();
    const training::PickCircle circle =
        training::pickCircle(m_c.txt_x1->text().toStdString(), m_c.txt_x2->text().toStdString(),
                             m_c.txt_y1->text().toStdString(), m_c.txt_y2->text().toStdString(),
                             m_c.txt_npix->text().toStdString());
    if (training::pickTrainingTarget(picks, m_hooks.pageState(), circle, m_pointerX, m_pointerY) !=
        training::PickOutcome::Accepted)
        return;
    const double half = circle.halfBox;
    PictureBox* pic = m_c.Picture1;
    pic->box(m_pointerX - half, m_pointerY - half, m_pointerX + half, m_pointerY + half, kRed);
    const double b = 2.0 * half;
    pic->printText(m_pointerX - b - 5, m_pointerY - b - 5,
                   fromStd(training::pickNumberText(picks.count)), kRed, 20);
    pic->update();
}

void TrainingController::cmdClearClick() {
    HandlerGuard guard(m_life, "cmdClearClick");
    if (!guard.entered())
        return;
    if (m_plate.TargetCount() == -1) {
        if (!m_services.dialogs->question(QStringLiteral("Start New training?"),
                                          platform::QuestionButtons::YesNoCancel) ||
            !guard.alive())
            return;
        m_services.dialogs->message(QStringLiteral("Click 5 to 10 representative worms"));
        if (!guard.alive())
            return;
        m_plate.setTargetCount(0);
        m_c.lbl_last_training->setText(QStringLiteral("[ Now ]"));
        m_c.cmd_detect->setText(QStringLiteral("APPLY"));
        m_c.cmd_clear->setText(QStringLiteral("Cancel"));
        m_plate.DrawPlateOverlay(); // the marks of an earlier pick list go
        if (m_c.cmd_focus)
            m_c.cmd_focus->setEnabled(false);
        return;
    }
    m_plate.setTargetCount(-1);
    m_c.cmd_detect->setText(QStringLiteral("TEST TRAINING"));
    m_c.cmd_clear->setText(QStringLiteral("New"));
    m_plate.DrawPlateOverlay();
    if (m_c.cmd_focus)
        m_c.cmd_focus->setEnabled(true);
}

void TrainingController::cmdDetectClick() {
    switch (training::detectAction(m_plate.TargetCount())) {
    case training::DetectAction::Measure:
        MeasureTargets();
        return;
    case training::DetectAction::Test:
        TestTraining();
        return;
    case training::DetectAction::AskForMore:
        m_services.dialogs->message(QString::fromLatin1(training::kMoreTargetsMessage));
        return;
    }
}

void TrainingController::MeasureTargets() {
    HandlerGuard guard(m_life, "MeasureTargets");
    if (!guard.entered())
        return;
    // Measured on the plain preview in frame pixels, whatever the window's size: the marks of an
    // earlier click never enter the measurement.
    if (!m_hooks.showPreview()) {
        m_services.dialogs->message(QStringLiteral("No preview to measure: take a preview first"));
        return;
    }
    PictureBox* pic = m_c.Picture1;
    const QImage& image = pic->image();
    std::vector<std::uint8_t> gray(static_cast<std::size_t>(image.width()) * image.height());
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            gray[static_cast<std::size_t>(y) * image.width() + x] = static_cast<std::uint8_t>(
                device::GrayFromColor(fromQColor(image.pixelColor(x, y))));
    const training::MeasurementResult result =
        training::measureTargets({image.width(), image.height(), gray}, m_plate.pickedTargets(),
                                 m_c.txt_npix->text().toStdString(), m_hooks.window);
    if (!result.ok) {
        m_services.dialogs->message(fromStd(result.message));
        return;
    }
    // The descriptor first: when it cannot be written nothing else changes.
    const QString descriptor =
        QDir(m_services.programFolder)
            .filePath(QString::fromLatin1(training::descriptorFileName(m_hooks.window)));
    const std::string error =
        formats::saveFileAtomic(descriptor.toStdString(), result.descriptorText);
    if (!error.empty()) {
        m_services.dialogs->message(fromStd(error));
        return;
    }
    const training::LimitTexts& t = result.texts;
    m_c.txt_pixmin->setText(fromStd(t.pixMin));
    m_c.txt_pixmax->setText(fromStd(t.pixMax));
    m_c.txt_umbralmin->setText(fromStd(t.contrastMin));
    m_c.txt_umbralmax->setText(fromStd(t.contrastMax));
    m_c.txt_lenmin->setText(fromStd(t.lenMin));
    m_c.txt_umbral_analisis->setText(fromStd(t.rangeMin));
    m_c.txt_lenmax->setText(fromStd(t.lenMax));
    m_c.txt_maxtravel->setText(fromStd(t.maxTravel));
    const QDate today = m_services.clock->now().date();
    m_c.lbl_last_training->setText(
        fromStd(training::lastTrainingCaption(today.year(), today.month(), today.day())));
    if (!m_hooks.writeTrainingFile()) {
        m_services.dialogs->message(
            QStringLiteral("The training could not be saved in the program folder."));
        if (!guard.alive())
            return;
    }
    for (const training::MarkPoint& p : result.darkPoints)
        pic->pset(p.x, p.y, kRed);
    for (const training::PickMark& m : result.marks) {
        pic->box(m.left, m.top, m.right, m.bottom, kRed);
        pic->printText(m.textX, m.textY, fromStd(m.text), kRed, 20);
    }
    pic->update();
    m_c.cmd_clear->setText(QStringLiteral("OK"));
    if (!result.skippedNote.empty())
        m_services.dialogs->message(fromStd(result.skippedNote));
}

namespace {
constexpr int kBlue = colourValue(0, 0, 255);

QStringList qtArguments(const std::vector<std::string>& arguments) {
    QStringList out;
    for (const std::string& a : arguments)
        out << QString::fromStdString(a);
    return out;
}
} // namespace

void TrainingController::TestTraining() {
    HandlerGuard guard(m_life, "TestTraining");
    if (!guard.entered())
        return;
    if (m_hooks.reloadFirstFrame && !m_hooks.reloadFirstFrame())
        return;
    if (!guard.alive())
        return;
    const std::string program = m_services.programFolder.toStdString();
    const std::string base = training::previewBase(program);
    if (!QFileInfo::exists(QString::fromStdString(base + ".jpg")))
        return; // no preview: nothing to test, nothing said
    // The test reads what the finder writes beside the preview: a folder where the finder
    // writes elsewhere (into the parent's files) is refused.
    const std::string refusal =
        training::testFolderRefusal(program, training::finderOutputFolder(base + ".pgm"));
    if (!refusal.empty()) {
        m_services.dialogs->message(fromStd(refusal));
        return;
    }
    if (formats::ReadTrainingOptions(program).empty()) {
        m_services.dialogs->message(QString::fromLatin1(training::kPreTrainingMissingMessage));
        return;
    }
    // A box the finder would read as another number is named before anything is saved.
    if (const QString refused = device::trainingBoxesRefusal(
            device::trainingBoxTexts(m_c.Picture1->window()));
        !refused.isEmpty()) {
        m_services.dialogs->message(refused);
        return;
    }
    // The test runs on the boxes as the operator sees them: they are saved first, so that the
    // training file and the boxes never disagree without a word.
    if (!m_hooks.writeTrainingFile()) {
        if (guard.alive())
            m_services.dialogs->message(
                QStringLiteral("The training could not be saved in the program folder."));
        return;
    }
    if (!guard.alive())
        return;
    std::string optionsError;
    const std::string options = formats::ReadTrainingOptions(program, &optionsError);
    if (options.empty()) {
        m_services.dialogs->message(QString::fromLatin1(training::kPreTrainingMissingMessage));
        return;
    }
    // A value the finder would refuse is named by its box before anything is started.
    const QString refused = device::trainingRefusal(fromStd(options));
    if (!refused.isEmpty()) {
        m_services.dialogs->message(refused);
        return;
    }
    // Nothing of an earlier test may be read or drawn: its conversion and both finder files go,
    // and its marks with them (the preview is drawn again under the plate outline).
    const QDir dir(m_services.programFolder);
    for (const char* name : {"preview.pgm", "xy_worms.bin", "xy_image.bin"})
        QFile::remove(dir.filePath(QString::fromLatin1(name)));
    m_plate.DrawPlateOverlay();
    const training::ProgramCommand dravel = training::testDravelCommand(program, base);
    const training::ProgramCommand sirrex =
        training::testSirrexCommand(program, base, options, m_hooks.roundShape(), m_hooks.window);
    for (const training::ProgramCommand* command : {&dravel, &sirrex}) {
        const QString name = QFileInfo(QString::fromStdString(command->program)).fileName();
        const auto pid = m_services.launcher->start(
            QString::fromStdString(command->program), qtArguments(command->arguments),
            m_services.programFolder, platform::WindowStyle::Hidden);
        if (!pid) {
            m_services.dialogs->message(name + QStringLiteral(" could not be started"));
            return;
        }
        // Each program is waited for, events running meanwhile, in steps short beside the
        // program's own time so that its end is seen at once.
        for (int waited = 0; waited < kTestProgramMs && m_services.launcher->isRunning(*pid);
             waited += kTestPollMs) {
            m_services.clock->pause(kTestPollMs);
            if (!guard.alive()) {
                m_services.launcher->stop(*pid);
                return;
            }
        }
        if (m_services.launcher->isRunning(*pid)) {
            m_services.launcher->stop(*pid);
            m_services.dialogs->message(name +
                                        QStringLiteral(" did not finish the preview in time"));
            return;
        }
        // How it failed, in its own words (the first line of its error output).
        const auto end = m_services.launcher->programEnd(*pid);
        if (end && end->status != 0) {
            m_services.dialogs->message(
                name + QStringLiteral(" failed on the preview (status ") +
                QString::number(end->status) + QStringLiteral(")") +
                (end->errorLine.isEmpty() ? QString() : QStringLiteral(": ") + end->errorLine));
            return;
        }
    }
    const auto positions = training::readTestPositionsFile(
        dir.filePath(QStringLiteral("xy_worms.bin")).toStdString(), m_hooks.window);
    if (!positions)
        return;
    PictureBox* pic = m_c.Picture1;
    const int size = training::measureBoxSide(m_c.txt_npix->text().toStdString());
    for (const training::TestMark& mark :
         training::testMarks(*positions, size, m_hooks.window, m_hooks.roundShape())) {
        if (mark.kind == training::TestMark::Kind::Square)
            pic->box(mark.left, mark.top, mark.left + mark.size, mark.top + mark.size, kBlue);
        for (const training::MarkLine& l : mark.lines)
            pic->markLine(l.x1, l.y1, l.x2, l.y2, kBlue);
        if (mark.numbered)
            pic->printText(mark.textX, mark.textY, fromStd(mark.text), kBlue, 16);
    }
    pic->update();
}

} // namespace ui
