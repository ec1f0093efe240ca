#pragma once
// The report frame of both windows. In the acquisition window "Report" opens it over the results
// frame with the block length and the run folder, "Generate" writes the report of the
// acquisition shown in `lbl_path` and closes the frame, "Cancel" closes it. In the reanalysis
// window the frame stays in the results frame and "Report..." writes the report of the loaded
// acquisition, its trails numbered by id when "Enable ID-Marks" is checked. Either report is
// opened in the desktop's opener once written.

#include "app/widgets/control_factory.h"
#include "app/widgets/handler_guard.h"
#include "platform/services.h"

#include <QComboBox>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class QAction;
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

// The report frame of the acquisition window (over its results frame), built into the window's
// controls of the same names (`c`) over the client area; hidden.
template <class C> void makeAcquisitionReportFrame(C& c, QWidget* client) {
    c.Frame_report =
        makeGroup(client, "Frame_report", QStringLiteral("Report"), QRect(643, 389, 284, 286));
    c.Frame_report->setAutoFillBackground(true); // covers the results frame
    QWidget* f = c.Frame_report;
    c.Label_bin =
        makeLabel(f, "Label_bin", QStringLiteral("BIN_Size [min]"), QRect(10, 30, 120, 20));
    c.combo_bin = new QComboBox(f);
    c.combo_bin->setObjectName("combo_bin");
    c.combo_bin->setEditable(true);
    c.combo_bin->setGeometry(QRect(135, 28, 70, 24));
    c.combo_bin->addItem(QStringLiteral("5"));
    c.Label_spacer = makeLabel(f, "Label_spacer", QStringLiteral("spacer"), QRect(10, 62, 120, 20));
    c.txt_spacer = makeEdit(f, "txt_spacer", QStringLiteral(";"), QRect(135, 60, 40, 22));
    c.lbl_path = makeLabel(f, "lbl_path", QStringLiteral("my path"), QRect(10, 92, 264, 40));
    c.lbl_path->setWordWrap(true);
    c.cmd_generate =
        makeButton(f, "cmd_generate", QStringLiteral("Generate"), QRect(10, 140, 125, 32));
    c.cmd_cancelreport =
        makeButton(f, "cmd_cancelreport", QStringLiteral("Cancel"), QRect(145, 140, 125, 32));
    c.Frame_report->hide();
}

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
