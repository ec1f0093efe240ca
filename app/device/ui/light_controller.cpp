#include "app/device/ui/light_controller.h"

#include "app/device/device_client.h"
#include "app/device/light_level.h"
#include "app/device/settings.h"

#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace ui {

LightController::LightController(const LightControls& controls, QObject* parent, LightRules rules)
    : QObject(parent), m_c(controls), m_rules(std::move(rules)), m_level(m_rules.start) {
    connect(m_c.cmd_light_auto, &QPushButton::clicked, this, &LightController::cmdLightAutoClick);
    connect(m_c.cmd_light_less, &QPushButton::clicked, this, &LightController::cmdLightLessClick);
    connect(m_c.cmd_light_more, &QPushButton::clicked, this, &LightController::cmdLightMoreClick);
}

void LightController::setLightLevel(double level) {
    m_level = device::clampLightLevel(level);
}

int LightController::lampValue() const {
    return device::lampValueForLevel(std::clamp(m_level, 0.0, device::kMaxLightLevel));
}

void LightController::showLightLabel() {
    m_c.Label_light->setText(QString::fromStdString(device::lightLabelText(m_level)));
}

void LightController::changed() {
    if (m_rules.showsLabel)
        showLightLabel();
    m_changed = true;
    if (m_rules.sendLamp)
        m_rules.sendLamp(lampValue());
}

void LightController::cmdLightAutoClick() {
    m_level = m_rules.autoLevel;
    changed();
}

void LightController::cmdLightLessClick() {
    if (device::lightStepDown(m_level, m_rules.step))
        changed();
}

void LightController::cmdLightMoreClick() {
    if (device::lightStepUp(m_level, m_rules.step))
        changed();
}

} // namespace ui
