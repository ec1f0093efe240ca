#include "app/widgets/window_registry.h"

#include <QPointer>

#include <map>
#include <vector>

namespace ui {

namespace {

struct Registry {
    platform::Services services;
    std::map<QString, Windows::Factory> factories;
    // The windows that exist, in the order they were made.
    std::vector<std::pair<QString, QPointer<QWidget>>> windows;

    QWidget* find(const QString& name) {
        for (auto& [key, window] : windows)
            if (key == name && window)
                return window.data();
        return nullptr;
    }
    void dropDead() {
        std::erase_if(windows, [](const auto& entry) { return entry.second.isNull(); });
    }
};

Registry& registry() {
    static Registry r;
    return r;
}

} // namespace

void Windows::setServices(const platform::Services& services) {
    registry().services = services;
}

const platform::Services& Windows::services() {
    return registry().services;
}

void Windows::registerWindow(const QString& name, Factory make) {
    registry().factories[name] = std::move(make);
}

bool Windows::isRegistered(const QString& name) {
    return registry().factories.count(name) > 0;
}

QWidget* Windows::existing(const QString& name) {
    return registry().find(name);
}

QWidget* Windows::window(const QString& name) {
    Registry& r = registry();
    if (QWidget* w = r.find(name))
        return w;
    const auto factory = r.factories.find(name);
    if (factory == r.factories.end())
        return nullptr;
    r.dropDead();
    QWidget* made = factory->second(r.services);
    r.windows.emplace_back(name, made);
    return made;
}

void Windows::destroyAll() {
    Registry& r = registry();
    // A window's destructor may touch the registry: take the list first.
    auto windows = std::move(r.windows);
    r.windows.clear();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        delete it->second.data();
}

} // namespace ui
