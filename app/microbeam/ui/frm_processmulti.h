#pragma once
// The Microbeam window `Frm_processmulti` (title "Form1"): offline work on one folder of stored
// frames. The operator picks a folder, loads its frame 0 with the analysis limits that belong to
// that folder, and then checks the folder for bad frames or runs the Microbeam activity measure
// over its frames. One program-wide instance: it is loaded when it is made, and again each time
// it is shown after a close, from its design values; closing it shows the start window.

#include "app/widgets/handler_guard.h"
#include "app/widgets/window_names.h"
#include "platform/services.h"

#include <QSize>
#include <QString>
#include <QWidget>

#include <optional>
#include <utility>
#include <vector>

class QCheckBox;
class QMargins;
class QRect;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

namespace ui {

class PictureBox;
class MicrobeamRunController;
class FrameCheckController;

class FrmProcessMulti : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kWindowName = kMicrobeamWindowName;

    explicit FrmProcessMulti(const platform::Services& services, QWidget* parent = nullptr);
    ~FrmProcessMulti() override;

    // Every control of the window; each widget's objectName is the name of its member.
    struct Controls {
        QLabel* Label1 = nullptr;
        QLineEdit* txt_file = nullptr;
        QPushButton* cmd_dir = nullptr;
        QPushButton* cmd_load = nullptr;
        QLineEdit* txt_current = nullptr;
        QListWidget* Dir_list1 = nullptr;
        PictureBox* Picture1 = nullptr;
        QCheckBox* chk_micro = nullptr;
        QLineEdit* txt_max = nullptr;
        QPushButton* cmd_process = nullptr;
        QPushButton* cmd_reprocess_paths = nullptr;
        QLabel* Label3 = nullptr;
        QLineEdit* txt_x1 = nullptr;
        QLineEdit* txt_x2 = nullptr;
        QLabel* Label4 = nullptr;
        QLineEdit* txt_y1 = nullptr;
        QLineEdit* txt_y2 = nullptr;
        QLabel* Label2 = nullptr;
        QLineEdit* txt_activity = nullptr;
        QLabel* lbl_block = nullptr;
        QPushButton* cmd_filtrar = nullptr;
        QPushButton* cmd_stop = nullptr;
        QTimer* Timer2 = nullptr;
    };
    Controls& controls() { return m_c; }
    const Controls& controls() const { return m_c; }
    MicrobeamRunController& run() const { return *m_run; }
    FrameCheckController& check() const { return *m_check; }

    // The source region of a frame painted over the picture: set by LOAD (1600 x 1200, or
    // 640 x 480 with "Microbeam mode") and by the Microbeam preview (the reduced raster); kept
    // across a close. Nothing until one of them set it.
    std::optional<QSize> FrameSize() const { return m_frameSize; }
    void setFrameSize(QSize size) { m_frameSize = size; }
    // The folder the folder list shows.
    QString DirListFolder() const { return m_dirFolder; }

    // ---- Events of the window --------------------------------------------------------------
    void FormLoad();
    void cmdDirClick();
    // Moves the folder list to another folder (an entry of the list opened, or a path set);
    // its change writes the folder into `txt_file`.
    void setDirListFolder(const QString& folder);
    void DirList1Change();
    // LOAD: frame 0 of the folder in `txt_file` with its limits and the analysis outline.
    void cmdLoadClick();

    // ---- Procedures of the window ----------------------------------------------------------
    // LoadArenaLimits: fills the limit boxes from the training file of `folder`, of the program
    // folder, or from the defaults; `folder` becomes the program folder when it holds none.
    void LoadArenaLimits(QString& folder);
    // Draws the analysis ellipse of the limit boxes over the picture (pen width 13, pure red).
    void DrawArenaOutline();
    // This window's ShowImage: the region `FrameSize` of the frame painted over the whole
    // picture, which becomes the box's own picture, in 1600 x 1200 coordinates. False, with the
    // box hidden, when the file is missing or not a picture; a frame of another size than
    // `FrameSize` is refused, with a message unless `quiet` (the frame check lists such frames
    // once at its end).
    bool ShowImage(const QString& file, bool quiet = false);

    // Showing a window that is not loaded (after a close) loads it first; every showing fits the
    // window to the screen it opens on (fitToScreen).
    void setVisible(bool visible) override;

    // Sizes and places the window for a screen's free area: at its design size where that fits,
    // else with the whole design scaled down until it fits; beside the start window when there
    // is room on either side, else as near to it as the area allows.
    void fitToScreen(const QRect& available);
    // The factor of the design size that the window has now (1 at the design size).
    double designScale() const { return m_scale; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The window's border and title bar around its client area, as the desktop draws them.
    QMargins outerMargins() const;

    std::vector<std::pair<QWidget*, QRect>> m_design; // every control at its design geometry
    double m_scale = 1.0;

    void buildControls();
    void buildTabOrder();
    void resetToDesign();
    void fillDirList();
    // The frame size LOAD sets: 1600 x 1200, or 640 x 480 in "Microbeam mode".
    QSize loadFrameSize() const;
    void FormUnload();

    platform::Services m_services;
    Lifetime m_life;
    Controls m_c;
    MicrobeamRunController* m_run = nullptr;
    FrameCheckController* m_check = nullptr;
    bool m_loaded = false;
    std::optional<QSize> m_frameSize;
    QString m_dirFolder;
};

} // namespace ui
