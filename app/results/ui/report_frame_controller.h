#pragma once
// The report frame of both windows. In the acquisition window "Report" opens it over the results
// frame with the block length and the run folder, "Generate" writes the report of the
// acquisition shown in `lbl_path` and closes the frame, "Cancel" closes it. In the reanalysis
// window the frame stays in the results frame and "Report..." writes the report of the loaded
// acquisition, its trails numbered by id when "Enable ID-Marks" is checked. Either report is
// opened in the desktop's opener once written.

#include "app/widgets/handler_guard.h"
#include "platform/services.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {

// The frame's controls; a window leaves out (nullptr) what it does not have.
struct ReportFrameControls {
    QGroupBox* Frame_report = nullptr;
    QComboBox* combo_bin = nullptr;
    QLineEdit* txt_spacer = nullptr;
    QLabel* lbl_path = nullptr;              // acquisition window
    QPushButton* cmd_generate = nullptr;     // acquisition window
    QPushButton* cmd_cancelreport = nullptr; // acquisition window
    QPushButton* cmdreport = nullptr;        // acquisition window
    // The analysis area and plate size the report converts pixels with.
    QLineEdit* txt_x1 = nullptr;
    QLineEdit* txt_x2 = nullptr;
    QLineEdit* txt_y1 = nullptr;
    QLineEdit* txt_y2 = nullptr;
    QLineEdit* txt_psize = nullptr;
    QPushButton* cmd_report_calc = nullptr; // reanalysis window
    QAction* mn_idmark = nullptr;           // reanalysis window: checked, trails listed by id
};

// What the report frame asks of its window.
struct ReportFrameHooks {
    // The block length offered when the frame opens (the run length of the acquisition page).
    std::function<QString()> blockText;
    // The acquisition folder whose trails are reported: the run folder of the acquisition
    // window, the loaded acquisition of the reanalysis window.
    std::function<QString()> acquisitionFolder;
};

class ReportFrameController : public QObject {
    Q_OBJECT
public:
    ReportFrameController(const ReportFrameControls& controls, platform::Services services,
                          const Lifetime& window, ReportFrameHooks hooks, QObject* parent);

    // The block lengths offered: "5" and "1", "5" chosen.
    void resetBlockChoices();

    void cmdReportClick();
    void cmdCancelReportClick();
    // `cmd_generate`: the report of the acquisition folder shown in `lbl_path`; the frame closes.
    void GenerateReport();
    // `cmd_report_calc`: the report of the window's acquisition; the frame stays.
    void cmdReportCalcClick();

private:
    // Reads the frame's boxes, writes the report of `folder` and opens it; a failure is shown
    // in a message box.
    void writeReport(const QString& folder, std::int32_t trailNumbering);

    ReportFrameControls m_c;
    platform::Services m_services;
    Lifetime m_life;
    ReportFrameHooks m_hooks;
};

} // namespace ui
