#pragma once
// The reanalysis window `frm_training` (caption "Plate Reanalysis"): a shell over the page
// controllers, like the acquisition window. It browses projects and acquisitions, loads an
// acquisition's first frame with its analysis area and training, steps through and repairs
// the first four frames, and holds the set-up frame (plate position and training boxes) and
// the results frame of the stored acquisition.

#include "app/widgets/handler_guard.h"
#include "app/widgets/window_names.h"
#include "app/windows/ui/window_shell.h"
#include "platform/services.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QTimer;

namespace device {
class DeviceClient;
}

namespace results {
struct CsvExportResult;
}

namespace ui {

class ClickableLabel;
class PictureBox;
class LightController;
class MicrobeamRunController;
class BrowseController;
class ReprocessController;
class TrainingController;
class PlateController;
class TrailReplayController;
class ReportFrameController;

class FrmTraining : public ShellWindow {
    Q_OBJECT
public:
    static constexpr const char* kWindowName = kReanalysisWindowName;

    explicit FrmTraining(const platform::Services& services, QWidget* parent = nullptr);
    ~FrmTraining() override;

    // Every control of the window; each widget's objectName is the name of its member.
    struct Controls {
        // Browser
        QLabel* lbl_ip = nullptr;
        QLineEdit* txt_filepj = nullptr;
        QPushButton* cmd_dir = nullptr;
        QPushButton* cmd_load = nullptr;
        QListWidget* List_project = nullptr;
        QListWidget* List_subproject = nullptr;
        QLineEdit* txt_file = nullptr;
        QLineEdit* txt_ip1 = nullptr;
        QFrame* Shape_device = nullptr;
        QFrame* frame_messages = nullptr;
        QLabel* lbl_messages = nullptr;
        QPushButton* cmd_stopprocess = nullptr;

        // Pictures and frame stepping
        PictureBox* Picture1 = nullptr;
        PictureBox* Picture2 = nullptr;
        QLabel* Image1 = nullptr;
        PictureBox* Picture_progress = nullptr;
        QLineEdit* txt_nfile = nullptr;
        QPushButton* cmd_exportbmp = nullptr;
        QPushButton* cmd_prev = nullptr;
        QPushButton* cmd_next = nullptr;
        QPushButton* cmd_del = nullptr;
        QGroupBox* frm_contrast = nullptr;
        QLabel* Label_light = nullptr;
        QPushButton* cmd_light_less = nullptr;
        QPushButton* cmd_light_more = nullptr;
        QPushButton* cmd_light_auto = nullptr;

        // Results frame
        QGroupBox* Frame_plotter = nullptr;
        QPushButton* cmd_wormtrails = nullptr;
        QLabel* lbl_results = nullptr;
        QFrame* Shape_particles = nullptr;
        QLabel* label_particles = nullptr;
        QLabel* lbl_particle = nullptr;
        QLabel* Label_speed = nullptr;
        QLabel* lbl_speed = nullptr;
        QLabel* Label_distance = nullptr;
        QLabel* lbl_distance = nullptr;
        QLabel* Label_rotation = nullptr;
        QLabel* lbl_turnings = nullptr;
        PictureBox* Picture3 = nullptr;
        QLabel* Label_histo = nullptr;
        QGroupBox* Frame_report = nullptr;
        QLabel* Label_bin = nullptr;
        QComboBox* combo_bin = nullptr;
        QLabel* Label_spacer = nullptr;
        QLineEdit* txt_spacer = nullptr;
        QPushButton* cmd_report_calc = nullptr;
        ClickableLabel* lbl_backinit = nullptr;
        ClickableLabel* lbl_reprocess = nullptr;

        // Set-up frame
        QGroupBox* frm_preview = nullptr;
        QLabel* lbl_mode = nullptr;
        std::array<QRadioButton*, 2> Opt_acq{};
        QGroupBox* frame_limits = nullptr;
        QPushButton* cmd_offset_down = nullptr;
        QPushButton* cmd_offset_left = nullptr;
        QPushButton* cmd_offset_right = nullptr;
        QPushButton* cmd_offset_up = nullptr;
        QLabel* lbl_diameter = nullptr;
        QScrollBar* HScroll_plate = nullptr;
        QLabel* lbl_psize = nullptr;
        QLineEdit* txt_psize = nullptr;
        QGroupBox* frame_micro = nullptr;
        QLabel* Label4 = nullptr;
        QLineEdit* txt_activity = nullptr;
        QLabel* Label5 = nullptr;
        QLineEdit* txt_max = nullptr;
        QGroupBox* frame_train = nullptr;
        QPushButton* cmd_detect = nullptr;
        QLabel* lbl_last_training = nullptr;
        QPushButton* cmd_clear = nullptr;
        QPushButton* cmd_mas = nullptr;
        QLabel* Label_boxs = nullptr;
        QLineEdit* txt_npix = nullptr;
        QGroupBox* frame_setupmas = nullptr;
        ClickableLabel* lbl_back = nullptr;
        QPushButton* cmd_reprocess = nullptr;
        QLabel* label_frame = nullptr;
        // Training parameters (in frame_setupmas, except txt_npix and txt_psize above)
        QLineEdit* txt_x1 = nullptr;
        QLineEdit* txt_x2 = nullptr;
        QLineEdit* txt_y1 = nullptr;
        QLineEdit* txt_y2 = nullptr;
        QLineEdit* txt_pixmin = nullptr;
        QLineEdit* txt_pixmax = nullptr;
        QLineEdit* txt_pixtol = nullptr;
        QLineEdit* txt_umbralmin = nullptr;
        QLineEdit* txt_umbralmax = nullptr;
        QLineEdit* txt_umbraltol = nullptr;
        QLineEdit* txt_lenmin = nullptr;
        QLineEdit* txt_lenmax = nullptr;
        QLineEdit* txt_lentol = nullptr;
        QLineEdit* txt_umbral_analisis = nullptr;
        QLineEdit* txt_umb_an_tol = nullptr;
        QLineEdit* txt_maxtravel = nullptr;

        // Menus
        QMenuBar* menuBar = nullptr;
        QMenu* mntools = nullptr;
        QAction* mn_reprocess = nullptr;
        QMenu* mn_adv = nullptr;
        QAction* mnexport_xyimage = nullptr;
        QAction* mnexport_xyworm = nullptr;
        QMenu* mn_beta = nullptr;
        QAction* mn_singleanimal = nullptr;
        QAction* mn_enable_microbeam = nullptr;
        QAction* mn_invariable = nullptr;
        QAction* mn_detectbad = nullptr;
        QAction* mn_backfilter = nullptr;
        QAction* mn_autoconnect = nullptr;
        QMenu* nm_plotoptions = nullptr;
        QAction* mn_idmark = nullptr;
        QAction* chk_bmp = nullptr;
        QAction* chk_white = nullptr;
        QAction* separador1 = nullptr;
        QAction* mn_zstack = nullptr;
        QMenu* mn_joint_report = nullptr;
        QAction* submn_joint_report = nullptr;
        QAction* submn_full_joint_report = nullptr;
        QMenu* mnrepro = nullptr;
        QAction* mn_masstrainingload = nullptr;
        QAction* mn_masstrainingapply = nullptr;
        QAction* separador2 = nullptr;
        QAction* mn_zseq = nullptr;
        QMenu* mn_about = nullptr;
        QAction* mn_credits = nullptr;

        // Timers
        QTimer* Timeracq = nullptr;
        QTimer* Timer2 = nullptr;
        QTimer* Timer_loadimg = nullptr;
    };
    Controls& controls() { return m_c; }
    const Controls& controls() const { return m_c; }
    PlateController& plate() const { return *m_plate; }
    LightController& light() const { return *m_light; }
    TrainingController& training() const { return *m_training; }

    // ---- Window state ----------------------------------------------------------------------
    std::int16_t PageState() const { return m_pageState; }
    bool Processing() const { return m_processing; }
    std::int16_t ProjectOpen() const;
    QString ProjectName() const;
    bool SingleAnimal() const { return m_singleAnimal; }
    std::int16_t FrameIndex() const;
    // The acquisition loaded: reprocessing, tracking, plots and reports work on it. Empty when
    // none is loaded (also after a load that failed).
    QString AcquisitionFolder() const;
    struct TrainingSourceRef {
        QString name;
        QString folder;
    };
    TrainingSourceRef TrainingSource() const;
    void setTrainingSource(const TrainingSourceRef& source);
    ReprocessController& reprocess() const { return *m_reprocess; }
    // "Plot Results" and "Export .BMP".
    TrailReplayController& trailReplay() const { return *m_trailReplay; }
    MicrobeamRunController& microbeam() const { return *m_microbeam; }
    std::int16_t TargetCount() const;

    // ---- Browser (carried out by its controller) -------------------------------------------
    void OpenProject();
    void SelectAcquisition();
    void DeferredLoad();
    // Loads the acquisition of the image folder in `txt_file`. False when it could not be loaded
    // (the reason was shown).
    bool LoadAcquisition();
    bool ReloadFirstFrame();
    void ShowFrame(std::int16_t n);
    void ShowConnecting();
    bool ShowPreview(const QString& address);
    // The pop-up menu of the acquisition list (right button with a project open).
    void ShowAcquisitionMenu(Qt::MouseButton button, const QPoint& at);

    // ---- Shell -----------------------------------------------------------------------------
    void FormLoad();
    void LayoutControls() override;
    void lblBackInitClick();
    void lblIpDoubleClick();
    void lblReprocessClick();
    // "< Back" of the set-up frame: to the results frame.
    void lblBackClick();
    void optAcqClick(int index);
    void mnSingleAnimalClick();
    void mnEnableMicrobeamClick();
    void mnCreditsClick();
    void cmdMasClick();
    // "Autoconnect Wifi": joins the network named at once (nothing is stored).
    void ToggleAutoconnect();
    // "Joint Report" / "Full Joint Report" over the selected acquisitions (report mode 1 or 2).
    void JointReport(int reportMode);
    // Fills the 18 training boxes from `folder`/training.dat, else the program folder's, else
    // the defaults (then written to the program folder).
    void LoadTraining(const QString& folder);
    // Writes `folder`/training.dat from the 18 boxes (no training.def copy).
    bool WriteTrainingFile(const QString& folder);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void buildBrowser();
    void buildPictures();
    void buildResultsFrame();
    void buildSetupFrame();
    void buildTimers();
    void connectHandlers();
    void FormUnload() override;
    void setMessage(const QString& text);
    // Runs a CSV export beside the window, which answers meanwhile, then shows its outcome.
    void exportCsv(results::CsvExportResult (*exporter)(const std::string&));
    void showExport(const results::CsvExportResult& result);
    // Opens a written report or export ("Report", "Export") in the desktop's opener; an opener
    // that fails is named in a message.
    void openWritten(const QString& what, const QString& path);
    QString programFile(const QString& name) const;

    platform::Services m_services;
    Lifetime m_life;
    Controls m_c;
    PlateController* m_plate = nullptr;
    LightController* m_light = nullptr;
    ReprocessController* m_reprocess = nullptr;
    MicrobeamRunController* m_microbeam = nullptr;
    TrainingController* m_training = nullptr;
    TrailReplayController* m_trailReplay = nullptr;
    ReportFrameController* m_report = nullptr;
    BrowseController* m_browse = nullptr;
    // Shared so that a request under way keeps its client when the window goes meanwhile.
    std::shared_ptr<device::DeviceClient> m_deviceClient;

    std::int16_t m_pageState = 0;
    bool m_processing = false;
    bool m_singleAnimal = false;
    QString m_loadNotice; // what the last load said of its acquisition
};

} // namespace ui
