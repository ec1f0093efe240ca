#pragma once
// The program-wide windows. Each exists once and is created on first use; a window that was
// closed (unloaded) is created anew, from its design values, the next time it is used.
//
// A window is known by its name (its objectName, `kWindowName` of its class). Main registers
// every window once, so that one window can open another by name without including it; a
// caller that knows the class asks for it with get<T>(), which registers T on first use.

#include "platform/services.h"

#include <QString>
#include <QWidget>

#include <functional>

namespace ui {

class Windows {
public:
    using Factory = std::function<QWidget*(const platform::Services&)>;

    // The services every window gets; set once by main (or by a test) before any window.
    static void setServices(const platform::Services& services);
    static const platform::Services& services();

    static void registerWindow(const QString& name, Factory make);
    template <class T> static void registerWindow() {
        registerWindow(QString::fromLatin1(T::kWindowName),
                       [](const platform::Services& services) { return new T(services); });
    }

    // The window of that name, created on first use; nullptr when no such window is registered.
    static QWidget* window(const QString& name);
    // The window of that name when it exists now (never creates it).
    static QWidget* existing(const QString& name);

    template <class T> static T& get() {
        const QString name = QString::fromLatin1(T::kWindowName);
        if (!isRegistered(name))
            registerWindow<T>();
        return *static_cast<T*>(window(name));
    }
    template <class T> static bool has() {
        return existing(QString::fromLatin1(T::kWindowName)) != nullptr;
    }

    // Destroys every window at once, the newest first (end of the program, or between tests).
    static void destroyAll();

private:
    static bool isRegistered(const QString& name);
};

} // namespace ui
