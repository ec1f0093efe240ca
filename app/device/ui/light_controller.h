#pragma once
// The light buttons of a window: the level of the camera's lamp, its label and the three buttons
// "-", "+" and "default"/"Auto" in the light frame. The acquisition window keeps a level in
// half steps and sends it when it next sets the camera up or takes a focus preview; the
// reanalysis window keeps a whole level and sends every change at once.

#include <QObject>

#include <functional>

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

// How a window keeps its level.
struct LightRules {
    double start = 5.0;     // the level at load
    double step = 0.5;      // one press of "-" or "+"
    double autoLevel = 5.0; // the level of the third button
    bool showsLabel = true; // "Light[level]" in the frame's label
    // Sends the lamp value of a changed level at once (empty: the window sends it later).
    std::function<void(int lampValue)> sendLamp;

    static LightRules acquisitionWindow() { return {}; }
    static LightRules reanalysisWindow(std::function<void(int)> send) {
        return {0.0, 1.0, 12.0, false, std::move(send)};
    }
};

class LightController : public QObject {
    Q_OBJECT
public:
    LightController(const LightControls& controls, QObject* parent,
                    LightRules rules = LightRules::acquisitionWindow());

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
    void changed();

    LightControls m_c;
    LightRules m_rules;
    double m_level;
    bool m_changed = false;
};

} // namespace ui
