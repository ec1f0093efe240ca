#pragma once
// The report frame of a window: "Report" opens it over the results frame with the block length
// and the separator, "Generate" writes the report of the acquisition shown in `lbl_path` and
// opens it in the desktop's opener, "Cancel" closes the frame.

#include "app/widgets/handler_guard.h"
#include "platform/services.h"

#include <QObject>
#include <QString>

#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {

struct ReportFrameControls {
    QGroupBox* Frame_report = nullptr;
    QComboBox* combo_bin = nullptr;
    QLineEdit* txt_spacer = nullptr;
    QLabel* lbl_path = nullptr;
    QPushButton* cmd_generate = nullptr;
    QPushButton* cmd_cancelreport = nullptr;
    QPushButton* cmdreport = nullptr;
    // The analysis area and plate size the report converts pixels with.
    QLineEdit* txt_x1 = nullptr;
    QLineEdit* txt_x2 = nullptr;
    QLineEdit* txt_y1 = nullptr;
    QLineEdit* txt_y2 = nullptr;
    QLineEdit* txt_psize = nullptr;
};

// What the report frame asks of its window.
struct ReportFrameHooks {
    // The block length offered when the frame opens (the run length of the acquisition page).
    std::function<QString()> blockText;
    // The acquisition folder whose trails are reported.
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
    // `cmd_generate`: the report of the acquisition folder shown in `lbl_path`.
    void GenerateReport();

private:
    ReportFrameControls m_c;
    platform::Services m_services;
    Lifetime m_life;
    ReportFrameHooks m_hooks;
};

} // namespace ui
