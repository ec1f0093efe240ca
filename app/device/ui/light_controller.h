#pragma once
// The light buttons of a window: the level of the camera's lamp, its label and the three buttons
// "-", "+" and "default" in the light frame. The window sends the level to the device when it
// next sets the camera up or takes a focus preview.

#include <QObject>

class QGroupBox;
class QLabel;
class QPushButton;

namespace ui {

struct LightControls {
    QGroupBox* frm_contrast = nullptr;
    QLabel* Label_light = nullptr;
    QPushButton* cmd_light_less = nullptr;
    QPushButton* cmd_light_more = nullptr;
    QPushButton* cmd_light_auto = nullptr;
};

class LightController : public QObject {
    Q_OBJECT
public:
    LightController(const LightControls& controls, QObject* parent);

    // The lamp level, 0 to 16 in steps of 0.5 (5 by default).
    double LightLevel() const { return m_level; }
    void setLightLevel(double level);
    // The lamp value sent for the current level: integer part of level x 6.
    int lampValue() const;
    // The level was changed by a button since the flag was last cleared.
    bool LightChanged() const { return m_changed; }
    void setLightChanged(bool changed) { m_changed = changed; }

    void showLightLabel();

    void cmdLightAutoClick();
    void cmdLightLessClick();
    void cmdLightMoreClick();

private:
    LightControls m_c;
    double m_level;
    bool m_changed = false;
};

} // namespace ui
