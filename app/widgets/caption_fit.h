#pragma once
// Captions that fit their controls. The windows place their controls in proportion to the window
// size, so at some sizes and with some desktop fonts a control is narrower than its caption. The
// fit lowers such a control's font, down to a readable floor, and gives the control its own font
// back once the caption fits in it again.
//
// Controls with a caption: QLabel (plain text), QPushButton, QCheckBox, QRadioButton, QGroupBox
// (its title) and QLineEdit (its contents). A group box's title is only reported, never fitted:
// its font would pass to every control inside it.

#include <QString>

#include <vector>

class QFont;
class QWidget;

namespace ui {

// A caption is never lowered below this pixel size.
inline constexpr int kCaptionFloorPixels = 8;

// A caption larger than the room its control gives it.
struct CaptionMiss {
    QString name;      // the control's objectName
    QString text;      // the caption
    int needed = 0;    // pixels the caption takes across, in the control's font
    int available = 0; // pixels across the control gives its caption
    int neededHeight = 0;
    int availableHeight = 0;
};

// True for a control with a caption that is not empty.
bool hasCaption(const QWidget* control);

// The width (height) the control gives its caption: its size less its own margins (label frame,
// margin and indent; the style's button margin and frame; the check-box or option indicator and
// its spacing; the text-box frame and text margins; the group-box title inset). -1 for a widget
// without a caption.
int captionRoom(const QWidget* control);
int captionRoomHeight(const QWidget* control);

// The width (height) the control's caption takes in font: its longest line; a label that wraps
// needs its longest word across and all its wrapped lines down.
int captionWidth(const QWidget* control, const QFont& font);
int captionHeight(const QWidget* control, const QFont& font);

// Every control under root (root included) that is visible with root and whose caption does not
// fit it (a wrapping label also when its wrapping would split a word). Changes nothing.
std::vector<CaptionMiss> captionsThatDoNotFit(const QWidget* root);

// Fits the caption of every control under root (hidden ones too, so they fit when shown), and
// keeps them fitted: a caption that changes later, or a frame that is shown, is fitted again
// when the event loop next runs, a text box's new text at once. Called again after every layout
// pass of the window.
void fitCaptions(QWidget* root);

} // namespace ui
