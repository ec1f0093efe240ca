#pragma once
// The acquisition window `frm_frontend` (caption "Front end"): a shell over the page
// controllers. It builds the controls page by page, lays them out, connects the device and
// switches pages; the light buttons, the focus mode, the plate set-up, the report frame and the
// run each live in their own controller, which receives the controls of its page.

#include "app/widgets/handler_guard.h"
#include "app/widgets/window_names.h"
#include "app/windows/ui/window_shell.h"
#include "platform/services.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>

class QAction;
class QCheckBox;
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

namespace ui {

class AcquisitionRunController;
class ClickableLabel;
class FocusController;
class LightController;
class PictureBox;
class PlateController;
class ReportFrameController;
class TrainingController;

class FrmFrontend : public ShellWindow {
    Q_OBJECT
public:
    static constexpr const char* kWindowName = kAcquisitionWindowName;

    explicit FrmFrontend(const platform::Services& services, QWidget* parent = nullptr);
    ~FrmFrontend() override;

    // Every control of the window; each widget's objectName is the name of its member
    // (control arrays: "Opt_acq(0)", "Opt_acq(1)").
    struct Controls {
        // Device and picture
        QLabel* lbl_ip = nullptr;
        QLineEdit* txt_ip1 = nullptr;
        QFrame* Shape_device = nullptr;
        PictureBox* Picture1 = nullptr;
        PictureBox* Picture2 = nullptr;
        QLabel* Image1 = nullptr;
        PictureBox* Picture_progress = nullptr;
        QLabel* lbl_time = nullptr;
        PictureBox* Picture_post = nullptr;

        // Light frame (inside Picture1) and status messages
        QGroupBox* frm_contrast = nullptr;
        QPushButton* cmd_light_auto = nullptr;
        QPushButton* cmd_light_less = nullptr;
        QPushButton* cmd_light_more = nullptr;
        QLabel* Label_light = nullptr;
        QFrame* frame_messages = nullptr;
        QLabel* lbl_messages = nullptr;

        // Project
        QLabel* Label_projects = nullptr;
        QLineEdit* txt_project = nullptr;
        QPushButton* cmd_explore_pj = nullptr;
        QListWidget* list_projects = nullptr;

        // Set-up page
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
        QPushButton* cmd_focus = nullptr;
        QGroupBox* frame_train = nullptr;
        QPushButton* cmd_detect = nullptr;
        QLabel* lbl_last_training = nullptr;
        QPushButton* cmd_clear = nullptr;
        QPushButton* cmd_mas = nullptr;
        QLabel* Label_boxs = nullptr;
        QLineEdit* txt_npix = nullptr;
        QGroupBox* frame_setupmas = nullptr;
        ClickableLabel* lbl_back = nullptr;
        ClickableLabel* lbl_next = nullptr;

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

        // Acquisition page
        QGroupBox* frm_acquire = nullptr;
        QGroupBox* frame_acquisition = nullptr;
        QLabel* Label_acqlapse = nullptr;
        QLineEdit* txtlapse = nullptr;
        QLabel* Label_minutes = nullptr;
        QCheckBox* chk_stimulus = nullptr;
        QCheckBox* chk_cycle = nullptr;
        QFrame* shape_cycle = nullptr;
        QLineEdit* txt_ncycle = nullptr;
        QLabel* lbl_everycycle = nullptr;
        QLineEdit* txt_mcycle = nullptr;
        QLabel* lbl_mcycle = nullptr;
        QCheckBox* chk_onlyimg = nullptr;
        QLabel* lbl_stimated = nullptr;
        ClickableLabel* lbl_back2 = nullptr;
        QPushButton* cmdPlay = nullptr;

        // Results
        QGroupBox* frame_results = nullptr;
        QLabel* lbl_detpart = nullptr;
        QLabel* lbl_particle = nullptr;
        QLabel* lbl_avrgspeed = nullptr;
        QLabel* lbl_speed = nullptr;
        QLabel* lbl_trvldist = nullptr;
        QLabel* lbl_distance = nullptr;
        PictureBox* Picture3 = nullptr;
        QLabel* lbl_speedhisto = nullptr;
        QPushButton* cmdreport = nullptr;
        QLabel* label_frame = nullptr;
        QLabel* lbl_turnings = nullptr;

        // Report frame
        QGroupBox* Frame_report = nullptr;
        QLabel* Label_bin = nullptr;
        QComboBox* combo_bin = nullptr;
        QLabel* Label_spacer = nullptr;
        QLineEdit* txt_spacer = nullptr;
        QLabel* lbl_path = nullptr;
        QPushButton* cmd_generate = nullptr;
        QPushButton* cmd_cancelreport = nullptr;

        // Spare controls of the design (kept hidden)
        QLabel* Label6 = nullptr;
        QComboBox* Combo1 = nullptr;
        QPushButton* Command9 = nullptr;
        QLabel* Label11 = nullptr;

        // Menus
        QMenuBar* menuBar = nullptr;
        QMenu* mntools = nullptr;
        QAction* mnbluen = nullptr;
        QAction* mn_autoconnect = nullptr;
        QMenu* mn_beta = nullptr;
        QAction* mn_invariable = nullptr;
        QMenu* mn_about = nullptr;
        QAction* mn_credit = nullptr;

        // Timers
        QTimer* Timeracq = nullptr;
        QTimer* Timer_focus = nullptr;
        QTimer* Timer_autoload = nullptr;
        QTimer* Timer_cycle = nullptr;
    };
    Controls& controls() { return m_c; }
    const Controls& controls() const { return m_c; }

    // ---- Page controllers (created with the window) ----------------------------------------
    LightController& light() const { return *m_light; }
    FocusController& focus() const { return *m_focus; }
    PlateController& plate() const { return *m_plate; }
    TrainingController& training() const { return *m_training; }
    ReportFrameController& report() const { return *m_report; }
    AcquisitionRunController* runController() const { return m_run; }

    // ---- Window state ----------------------------------------------------------------------
    // 0 while loading, 1 set-up page, 2 acquisition page.
    std::int16_t PageState() const { return m_pageState; }
    void setPageState(std::int16_t state) { m_pageState = state; }

    // Shortcuts to the state the controllers keep.
    std::int16_t TargetCount() const;
    void setTargetCount(std::int16_t count);
    double LightLevel() const;
    void setLightLevel(double level);
    int lampValue() const;
    bool LightChanged() const;
    bool focusRunning() const;
    bool LapseChanged() const;
    void setLapseChanged(bool changed);
    bool autoconnectOn() const;
    QString autoconnectNetwork() const;
    QString runFolder() const;
    void setRunFolder(const QString& folder);
    std::int32_t lastTimeMark() const;
    void setLastTimeMark(std::int32_t mark);

    const platform::Services& services() const { return m_services; }
    device::DeviceClient& deviceClient() { return *m_deviceClient; }

    // ---- Operations ------------------------------------------------------------------------
    // The device address typed in `txt_ip1`.
    QString deviceAddress() const;

    // Probe, camera set-up by `Opt_acq` and preview. mode 1: interactive connect of the set-up
    // page; mode 2: reconnect before a cycle's run. 1 when the set-up succeeded, -1 otherwise.
    int ConnectDevice(int mode);
    // Fetches preview.jpg from the device in `txt_ip1` and draws it with the analysis area.
    // True when the preview was fetched and drawn.
    bool CapturePreview();
    bool ShowImage(const QString& file);
    bool DrawPlateOverlay();

    // Settings and training files of the program folder.
    void LoadDeviceSettings();
    void LoadProjectName();
    bool SaveConfigFile();
    bool SaveDeviceIp();
    // Fills the 18 training boxes from `folder`/training.dat, or the defaults (then saves the
    // configuration and the training). Shows "Error reading training.dat file" on failure.
    void LoadTraining(const QString& folder);
    // Writes the program folder's training.dat from the boxes and copies it to training.def.
    bool WriteTrainingFile();
    // The project name cleaned for use in a path ("default" when nothing is left).
    QString projectFolderName() const;
    QString projectFolder() const;

    // ---- Handlers (connected to the controls; public for keyboard access and tests) --------
    void FormLoad();
    void LayoutControls() override;
    void lblBackClick();
    void lblBack2Click();
    // "Next >": ends any pick list and leaves the set-up page for the acquisition page.
    void lblNextClick();
    void cmdExploreProjectsClick();
    void listProjectsDoubleClick();
    void cmdMasClick();
    void mnBlueLightClick();
    void mnInvariableClick();
    void mnCreditClick();
    void optAcqClick(int index);
    void optAcqDoubleClick(int index);
    void txtProjectChange();
    void txtProjectLostFocus();
    void FocusButtonClick();
    void FocusModeTick();
    void AutoloadPreviewTick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // During a run, closing asks "Stop Acquisition?" as "< Back" does; No keeps the window.
    void closeEvent(QCloseEvent* event) override;

private:
    // The controls, page by page.
    void buildMenus();
    void buildDevicePanel();
    void buildSetupPage();
    void buildResultsFrame();
    void buildSpareControls();
    void buildTimers();
    void buildControllers();
    void connectHandlers();
    void FormUnload() override;
    void setMessage(const QString& text);
    void trainingRestore();
    QString programFile(const QString& name) const;

    platform::Services m_services;
    Lifetime m_life;
    // The waits of the page shown (a connect, a preview): renewed when the operator moves on to
    // the other page, so that a late answer changes nothing there.
    Lifetime m_pageLife = Lifetime::childOf(m_life);
    // Shared so that a request under way keeps its client when the window goes meanwhile.
    std::shared_ptr<device::DeviceClient> m_deviceClient;
    Controls m_c;
    LightController* m_light = nullptr;
    FocusController* m_focus = nullptr;
    PlateController* m_plate = nullptr;
    ReportFrameController* m_report = nullptr;
    TrainingController* m_training = nullptr;
    AcquisitionRunController* m_run = nullptr;

    std::int16_t m_pageState = 0;
    bool m_closeAfterStop = false; // a close came while a stop waited: taken once it has ended
};

} // namespace ui
