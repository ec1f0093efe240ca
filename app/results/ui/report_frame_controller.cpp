#include "app/results/ui/report_frame_controller.h"

#include "app/results/report.h"
#include "app/widgets/box_values.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace ui {

ReportFrameController::ReportFrameController(const ReportFrameControls& controls,
                                             platform::Services services, const Lifetime& window,
                                             ReportFrameHooks hooks, QObject* parent)
    : QObject(parent), m_c(controls), m_services(std::move(services)),
      m_life(Lifetime::childOf(window)), m_hooks(std::move(hooks)) {
    if (m_c.cmdreport)
        connect(m_c.cmdreport, &QPushButton::clicked, this, &ReportFrameController::cmdReportClick);
    if (m_c.cmd_cancelreport)
        connect(m_c.cmd_cancelreport, &QPushButton::clicked, this,
                &ReportFrameController::cmdCancelReportClick);
    if (m_c.cmd_generate)
        connect(m_c.cmd_generate, &QPushButton::clicked, this,
                &ReportFrameController::GenerateReport);
    if (m_c.cmd_report_calc)
        connect(m_c.cmd_report_calc, &QPushButton::clicked, this,
                &ReportFrameController::cmdReportCalcClick);
}

void ReportFrameController::resetBlockChoices() {
    m_c.combo_bin->clear();
    m_c.combo_bin->addItem(QStringLiteral("5"));
    m_c.combo_bin->addItem(QStringLiteral("1"));
    m_c.combo_bin->setCurrentText(QStringLiteral("5"));
}

void ReportFrameController::cmdReportClick() {
    if (m_c.Frame_report->isHidden()) {
        if (m_hooks.blockText)
            m_c.combo_bin->setCurrentText(m_hooks.blockText());
        if (m_c.lbl_path)
            m_c.lbl_path->setText(m_hooks.acquisitionFolder());
        m_c.Frame_report->show();
        m_c.Frame_report->raise();
    } else {
        m_c.Frame_report->hide();
    }
}

void ReportFrameController::cmdCancelReportClick() {
    m_c.Frame_report->hide();
}

void ReportFrameController::GenerateReport() {
    HandlerGuard guard(m_life, "GenerateReport");
    if (!guard.entered())
        return;
    writeReport(m_c.lbl_path->text(), -1);
    if (!guard.alive())
        return;
    m_c.Frame_report->hide();
}

void ReportFrameController::cmdReportCalcClick() {
    HandlerGuard guard(m_life, "GenerateReport");
    if (!guard.entered())
        return;
    const bool byId = m_c.mn_idmark != nullptr && m_c.mn_idmark->isChecked();
    writeReport(m_hooks.acquisitionFolder(), byId ? 0 : -1);
}

void ReportFrameController::writeReport(const QString& folder, std::int32_t trailNumbering) {
    const results::ReportSettings settings = results::reportSettingsFromTexts(
        m_c.txt_x1->text().toStdString(), m_c.txt_x2->text().toStdString(),
        m_c.txt_y1->text().toStdString(), m_c.txt_y2->text().toStdString(),
        m_c.txt_psize->text().toStdString(), m_c.txt_spacer->text().toStdString(),
        m_c.combo_bin->currentText().toStdString());
    if (settings.plateSizeReplaced)
        m_c.txt_psize->setText(QStringLiteral("35"));
    if (settings.blockMinutesReplaced)
        m_c.combo_bin->setCurrentText(QStringLiteral("1"));
    if (!settings.ok) {
        m_services.dialogs->message(fromStd(settings.message));
        return;
    }
    results::AnalyzeTrailsParams params;
    params.acqFolder = folder.toStdString();
    params.blockMinutes = settings.blockMinutes;
    params.separator = settings.separator;
    params.pxPerMmX = settings.pxPerMmX;
    params.pxPerMmY = settings.pxPerMmY;
    params.trailNumbering = trailNumbering;
    params.plateSizeMm = settings.plateSizeMm;
    params.reportMode = results::kReportFile;
    params.programFolder = m_services.programFolder.toStdString();
    params.now = results::reportTimeFrom(m_services.clock->now());
    const results::AnalyzeTrailsResult result = results::AnalyzeTrails(params);
    if (!result.ok) {
        m_services.dialogs->message(fromStd(result.message));
        return;
    }
    const QString report = fromStd(result.reportPath);
    // Opening the file needs nothing of the window, so a window closed (even destroyed) while
    // events run still opens it: nothing of this object is used after them.
    const platform::Services services = m_services;
    QCoreApplication::processEvents();
    if (!QFileInfo::exists(report))
        return;
    // The report is written either way; an opener that does not start, or fails, says so.
    services.launcher->openPath(report, [dialogs = services.dialogs, report] {
        dialogs->message(QStringLiteral("Report written to ") + report +
                         QStringLiteral(", but it could not be opened"));
    });
}

} // namespace ui
