#pragma once
// What the acquisition and reanalysis windows build and do alike: the set-up frame
// `frm_preview` (plate position, training, parameters) with its design values, the parameter
// boxes, and the placing of the menu bar, the client area and the laid-out controls.

#include "app/device/ui/training_boxes_view.h"
#include "app/widgets/clickable_label.h"
#include "app/widgets/control_factory.h"
#include "app/windows/layout.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QWidget>

#include <array>
#include <vector>

class QMenuBar;

namespace ui {

// The frame of a work window: the menu bar over a client area that holds every control; a
// resize places both and lays the controls out; closing unloads the window, which is then
// deleted, so that its next use makes it anew from its design values.
class ShellWindow : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    // The parent of every top-level control: the window below its menu bar.
    QWidget* clientArea() const { return m_client; }
    // Places the controls for the window's size (the window's own tables).
    virtual void LayoutControls() = 0;

signals:
    // Emitted when the window unloads, before it is deleted.
    void unloaded();

protected:
    // The window's unload: hide, show the start window, emit unloaded(); never refused.
    virtual void FormUnload() = 0;
    // The window's name and caption, and its empty client area (named "<name>_client").
    void startShell(const char* windowName, const QString& caption);
    // The end of an unload: the start window shown (it may load and wait on message boxes, so
    // neither window is touched when it went away meanwhile), then unloaded().
    void returnToStartWindow();
    // "Credits": the about window in front.
    void showAboutWindow();
    // One layout pass of the window's table for its present outer size.
    void layOut(std::vector<windows::Placement> (*table)(double widthTwips, double heightTwips),
                const std::array<QRadioButton*, 2>& modeButtons);
    void setShellParts(QMenuBar* menuBar, QWidget* client) {
        m_menuBar = menuBar;
        m_client = client;
    }
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Once the desktop has framed the shown window: a frame that does not fit the screen's free
    // area (a window of the design size under a title bar on a small screen) shrinks until it
    // does, and the controls are laid out anew.
    void showEvent(QShowEvent* event) override;

    QWidget* m_client = nullptr;

private:
    QMenuBar* m_menuBar = nullptr;
};

// The 16 parameter boxes of `frame_setupmas` into the window's controls of the same names.
template <class C> void assignParameterBoxes(C& c) {
    const auto boxes = makeParameterBoxes(c.frame_setupmas);
    QLineEdit** const members[16] = {&c.txt_x1,         &c.txt_x2,
                                     &c.txt_y1,         &c.txt_y2,
                                     &c.txt_pixmin,     &c.txt_pixmax,
                                     &c.txt_pixtol,     &c.txt_umbralmin,
                                     &c.txt_umbralmax,  &c.txt_umbraltol,
                                     &c.txt_lenmin,     &c.txt_lenmax,
                                     &c.txt_lentol,     &c.txt_umbral_analisis,
                                     &c.txt_umb_an_tol, &c.txt_maxtravel};
    for (std::size_t i = 0; i < boxes.size(); ++i)
        *members[i] = boxes[i];
}

// The set-up frame of both windows, into the window's controls of the same names. `frame` is
// the frame's design rectangle in the client area.
template <class C> void makeSetupFrame(C& c, QWidget* client, QRect frame) {
    c.frm_preview = makeGroup(client, "frm_preview", QStringLiteral("Setup"), frame);
    QWidget* p = c.frm_preview;
    c.lbl_mode = makeLabel(p, "lbl_mode", QStringLiteral("Mode"), QRect(28, 27, 57, 20));
    c.Opt_acq[0] = new QRadioButton(QStringLiteral("Tracking"), p);
    c.Opt_acq[0]->setObjectName("Opt_acq(0)");
    c.Opt_acq[0]->setGeometry(QRect(85, 27, 85, 20));
    c.Opt_acq[0]->setChecked(true);
    c.Opt_acq[1] = new QRadioButton(QStringLiteral("Microbeam"), p);
    c.Opt_acq[1]->setObjectName("Opt_acq(1)");
    c.Opt_acq[1]->setGeometry(QRect(170, 27, 85, 20));
    c.Opt_acq[1]->hide();

    c.frame_limits =
        makeGroup(p, "frame_limits", QStringLiteral("Plate Position"), QRect(28, 55, 227, 164));
    QWidget* l = c.frame_limits;
    c.cmd_offset_down =
        makeButton(l, "cmd_offset_down", QStringLiteral("up"), QRect(23, 33, 68, 16));
    c.cmd_offset_left =
        makeButton(l, "cmd_offset_left", QStringLiteral("<"), QRect(23, 49, 34, 16));
    c.cmd_offset_right =
        makeButton(l, "cmd_offset_right", QStringLiteral(">"), QRect(57, 49, 34, 16));
    c.cmd_offset_up = makeButton(l, "cmd_offset_up", QStringLiteral("down"), QRect(23, 66, 68, 16));
    c.lbl_diameter =
        makeLabel(l, "lbl_diameter", QStringLiteral("Diameter"), QRect(98, 33, 61, 20));
    c.HScroll_plate = new QScrollBar(Qt::Horizontal, l);
    c.HScroll_plate->setObjectName("HScroll_plate");
    c.HScroll_plate->setGeometry(QRect(159, 33, 57, 18));
    c.HScroll_plate->setRange(0, 32767);
    c.lbl_psize = makeLabel(l, "lbl_psize", QStringLiteral("Size[mm]"), QRect(98, 66, 68, 20));
    c.txt_psize = makeEdit(l, "txt_psize", QStringLiteral("35"), QRect(170, 66, 45, 22));

    c.frame_train =
        makeGroup(p, "frame_train", QStringLiteral("Training"), QRect(28, 273, 227, 137));
    QWidget* t = c.frame_train;
    c.cmd_detect =
        makeButton(t, "cmd_detect", QStringLiteral("TEST TRAINING"), QRect(23, 48, 91, 55));
    c.lbl_last_training =
        makeLabel(t, "lbl_last_training", QStringLiteral("[ - - ]"), QRect(23, 103, 91, 20));
    c.cmd_clear = makeButton(t, "cmd_clear", QStringLiteral("NEW"), QRect(125, 48, 57, 55));
    c.cmd_mas = makeButton(t, "cmd_mas", QStringLiteral("..."), QRect(182, 48, 23, 55));
    c.Label_boxs = makeLabel(t, "Label_boxs", QStringLiteral("Box Size = "), QRect(80, 21, 91, 20));
    c.txt_npix = makeEdit(t, "txt_npix", QStringLiteral("35"), QRect(170, 21, 34, 22));

    c.frame_setupmas =
        makeGroup(p, "frame_setupmas", QStringLiteral("Parameters"), QRect(28, 437, 227, 164));
    c.frame_setupmas->setAutoFillBackground(true);
    assignParameterBoxes(c);
    c.frame_setupmas->hide();
    c.lbl_back = makeClickable(p, "lbl_back", QStringLiteral("< Back"), QRect(28, 491, 114, 20));
}

// The menu bar over the full width, the client area below it.
void placeMenuAndClient(QWidget* window, QMenuBar* menuBar, QWidget* client);

// One layout pass: every placement applied to the control of its name in the client area
// (the mode buttons by their array names), the parameter boxes spread over their frame; then
// the captions fitted.
void applyLayout(QWidget* window, QWidget* client,
                 const std::vector<windows::Placement>& placements,
                 const std::array<QRadioButton*, 2>& modeButtons);

} // namespace ui
