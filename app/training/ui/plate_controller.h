#pragma once
// The analysis area on a window's preview: the picture with the plate outline and the boxes of
// the picked targets, the nudge buttons, the plate-size slider and the plate-size box. The
// picked targets are kept here for the training that measures them.

#include "app/training/target_picking.h"
#include "app/widgets/handler_guard.h"
#include "platform/services.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class QLineEdit;
class QPushButton;
class QScrollBar;

namespace ui {

class PictureBox;

struct PlateControls {
    PictureBox* Picture1 = nullptr;
    QLineEdit* txt_x1 = nullptr;
    QLineEdit* txt_x2 = nullptr;
    QLineEdit* txt_y1 = nullptr;
    QLineEdit* txt_y2 = nullptr;
    QLineEdit* txt_npix = nullptr;
    QLineEdit* txt_psize = nullptr;
    QScrollBar* HScroll_plate = nullptr;
    QPushButton* cmd_offset_left = nullptr;
    QPushButton* cmd_offset_right = nullptr;
    QPushButton* cmd_offset_down = nullptr;
    QPushButton* cmd_offset_up = nullptr;
};

// What the plate set-up asks of its window.
struct PlateHooks {
    // True when the preview is a full-resolution frame (1600 x 1200), false for the device's
    // 640 x 480 preview mode.
    std::function<bool()> fullResolution;
    // True once the set-up page is shown: before that the slider moves nothing.
    std::function<bool()> pageShown;
};

class PlateController : public QObject {
    Q_OBJECT
public:
    PlateController(const PlateControls& controls, platform::Services services,
                    const Lifetime& window, PlateHooks hooks, QObject* parent);

    // -1: no pick list open; 0 to 10: picked targets.
    std::int16_t TargetCount() const { return m_picks.count; }
    void setTargetCount(std::int16_t count) { m_picks.count = count; }
    // The pick list: the picked targets (frame pixels); entries below TargetCount are valid.
    training::PickList& pickedTargets() { return m_picks; }
    const training::PickList& pickedTargets() const { return m_picks; }

    // Loads an image into the picture, stretched from the 1600 x 1200 coordinate space (a
    // 640 x 480 source for the preview mode). False, with the box hidden, on failure.
    bool ShowImage(const QString& file);
    // The same, with the file read and painted on a thread of its own while the window goes on
    // answering (a frame of a live run every second). The caller guards itself against its
    // window going meanwhile.
    bool ShowImageBesideWindow(const QString& file);
    // Shows the program folder's preview.jpg with the plate outline and the picked targets.
    bool DrawPlateOverlay();
    // The same over another image.
    bool DrawPlateOverlayOf(const QString& file);
    // DrawPlateOverlay(); when the preview cannot be shown, says "error acquisition".
    bool DrawPreviewOrSay();
    // The plate outline alone, over the picture as it is: black, two units wide.
    void DrawPlateOutline();
    // Sets the slider from the rectangle in the boxes (while loading: it moves nothing then).
    void syncSlider();

    void ResizePlateFromSlider();
    void cmdOffsetLeftClick();
    void cmdOffsetRightClick();
    void cmdOffsetDownClick();
    void cmdOffsetUpClick();
    // The plate size typed is checked when the operator leaves the box.
    void txtPsizeLostFocus();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void drawOutline(int colour, int width);

    PlateControls m_c;
    platform::Services m_services;
    Lifetime m_life;
    PlateHooks m_hooks;
    training::PickList m_picks;
};

} // namespace ui
