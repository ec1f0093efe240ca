#pragma once
// The acquisition window `frm_frontend` (caption "Front end"): the set-up page (preview, plate
// position, training), the acquisition page (run controls, progress) and the results and report
// frames. The window owns its state (`PageState`, `TargetCount`, the light level, the focus
// mode, the picked targets, ...) and every control; the run side (start button, live tick,
// cycle scheduler, live tracking) lives in the AcquisitionRunController it creates at load and
// reaches the controls through controls().
//
// Handlers that the run controller connects itself (this window leaves them alone):
// `cmdPlay` click, `Timeracq` and `Timer_cycle` ticks, `chk_cycle` click, the checks of
// `txtlapse`, `txt_mcycle` and `txt_ncycle`, `mn_autoconnect` click. `cmd_generate` belongs to
// the report writer. Training (`cmd_detect`, `cmd_clear`, clicks on `Picture1`) belongs to the
// plate set-up and training code, which uses the pick list below.

#include "platform/services.h"

#include <QPointer>
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
class PictureBox;

class FrmFrontend : public QWidget {
    Q_OBJECT
public:
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

    // The parent of every top-level control: the window below its menu bar.
    QWidget* clientArea() const { return m_client; }

    // ---- Window state ----------------------------------------------------------------------
    // 0 while loading, 1 set-up page, 2 acquisition page.
    std::int16_t PageState() const { return m_pageState; }
    void setPageState(std::int16_t state) { m_pageState = state; }
    // -1: no pick list open; 0 to 10: picked targets.
    std::int16_t TargetCount() const { return m_targetCount; }
    void setTargetCount(std::int16_t count) { m_targetCount = count; }
    // The picked targets (indices 0 to 10, frame pixels); entries below TargetCount are valid.
    struct PickedTargets {
        std::array<std::int16_t, 11> x{};
        std::array<std::int16_t, 11> y{};
    };
    PickedTargets& pickedTargets() { return m_picked; }
    const PickedTargets& pickedTargets() const { return m_picked; }

    // The lamp level, 0 to 16 in steps of 0.5 (5 by default).
    double LightLevel() const { return m_lightLevel; }
    void setLightLevel(double level);
    // The lamp value sent for the current level: integer part of level x 6.
    int lampValue() const;
    bool LightChanged() const { return m_lightChanged; }

    // The focus mode's running flag and seconds left.
    bool focusRunning() const { return m_focusRunning; }
    // Clears the running flag (the move to the acquisition page and the load do this); a tick
    // that follows only stops the timer.
    void clearFocusRunning() { m_focusRunning = false; }
    int focusSecondsLeft() const { return m_focusSecondsLeft; }

    // `txtlapse` was edited since its last check.
    bool LapseChanged() const { return m_lapseChanged; }
    void setLapseChanged(bool changed) { m_lapseChanged = changed; }

    // Join a Wi-Fi network before each start and cycle, and its name.
    bool autoconnectOn() const { return m_autoconnectOn; }
    QString autoconnectNetwork() const { return m_autoconnectNetwork; }
    void setAutoconnect(bool on, const QString& network) {
        m_autoconnectOn = on;
        m_autoconnectNetwork = network;
    }
    static QString defaultNetworkName();

    // The folder of the current or last run (read by the report frame).
    QString runFolder() const { return m_runFolder; }
    void setRunFolder(const QString& folder) { m_runFolder = folder; }
    // Time mark of the last frame the live tracker handled.
    std::int32_t lastTimeMark() const { return m_lastTimeMark; }
    void setLastTimeMark(std::int32_t mark) { m_lastTimeMark = mark; }

    // The run side, created when the window loads (null before). When the window is destroyed
    // the controller is handed to deleteLater(), so a controller method that waits (and lets
    // the window go meanwhile) returns into a live object; it must check its window with a
    // QPointer after every wait.
    AcquisitionRunController* runController() const { return m_runController.get(); }

    const platform::Services& services() const { return m_services; }
    device::DeviceClient& deviceClient() { return *m_client_device; }
    // The same client, for a caller that waits on a request: holding it keeps the client alive
    // even when the window is destroyed meanwhile.
    std::shared_ptr<device::DeviceClient> sharedDeviceClient() const { return m_client_device; }

    // ---- Operations ------------------------------------------------------------------------
    // The device address typed in `txt_ip1`.
    QString deviceAddress() const;

    // Probe, camera set-up by `Opt_acq` and preview. mode 1: interactive connect of the set-up
    // page; mode 2: reconnect before a cycle's run. 1 when the set-up succeeded, -1 otherwise.
    int ConnectDevice(int mode);
    // Fetches preview.jpg from the device in `txt_ip1` and draws it with the analysis area.
    // True when the preview was fetched and drawn.
    bool CapturePreview();
    // Loads an image into `Picture1`, stretched from the 1600 x 1200 coordinate space (640 x 480
    // source when `Opt_acq(0)` is not selected). False, with the box hidden, on failure.
    bool ShowImage(const QString& file);
    // Shows the program folder's preview.jpg with the plate outline and the picked targets.
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
    void LayoutControls();
    void lblBackClick();
    void lblBack2Click();
    // "Next >": ends any pick list and leaves the set-up page for the acquisition page.
    void lblNextClick();
    void cmdExploreProjectsClick();
    void listProjectsDoubleClick();
    void cmdReportClick();
    void cmdCancelReportClick();
    void cmdMasClick();
    void mnBlueLightClick();
    void mnInvariableClick();
    void mnCreditClick();
    void optAcqClick(int index);
    void optAcqDoubleClick(int index);
    void txtProjectChange();
    void txtProjectLostFocus();
    void txtPsizeLostFocus();
    void cmdLightAutoClick();
    void cmdLightLessClick();
    void cmdLightMoreClick();
    void FocusButtonClick();
    void FocusModeTick();
    void AutoloadPreviewTick();
    void ResizePlateFromSlider();
    void cmdOffsetLeftClick();
    void cmdOffsetRightClick();
    void cmdOffsetDownClick();
    void cmdOffsetUpClick();

signals:
    // Emitted when the window unloads (closed or `lbl_back`), before it is destroyed.
    void unloaded();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void buildTimers();
    void connectHandlers();
    void FormUnload();
    void showLightLabel();
    void setMessage(const QString& text);
    void trainingRestore();
    QString programFile(const QString& name) const;

    platform::Services m_services;
    // Shared so that a request under way keeps its client when the window goes meanwhile.
    std::shared_ptr<device::DeviceClient> m_client_device;
    std::unique_ptr<AcquisitionRunController> m_runController;
    Controls m_c;
    QWidget* m_client = nullptr;

    std::int16_t m_pageState = 0;
    std::int16_t m_targetCount = -1;
    PickedTargets m_picked;
    double m_lightLevel = 5.0;
    bool m_lightChanged = false;
    bool m_focusRunning = false;
    int m_focusSecondsLeft = 20;
    std::int64_t m_focusStartMs = 0;
    bool m_lapseChanged = false;
    bool m_autoconnectOn = false;
    QString m_autoconnectNetwork;
    QString m_runFolder;
    std::int32_t m_lastTimeMark = 0;
    bool m_unloading = false;
    // Re-entry flags of the handlers that wait. Held apart from the window, so that a handler
    // whose window is destroyed while it waits can still clear its flag on the way out.
    struct BusyFlags {
        bool focusTick = false;
        bool autoload = false;
        bool connect = false;
    };
    std::shared_ptr<BusyFlags> m_busy = std::make_shared<BusyFlags>();
};

} // namespace ui
