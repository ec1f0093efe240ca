#include "app/widgets/window_registry.h"
#include "tests/support/qt_application.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QWidget>

#include <vector>

namespace {

std::vector<QString> g_destroyed;

class FirstWindow : public QWidget {
public:
    static constexpr const char* kWindowName = "first_window";
    explicit FirstWindow(const platform::Services&) { setObjectName(kWindowName); }
    ~FirstWindow() override { g_destroyed.push_back(kWindowName); }
};

class SecondWindow : public QWidget {
public:
    static constexpr const char* kWindowName = "second_window";
    explicit SecondWindow(const platform::Services&) { setObjectName(kWindowName); }
    ~SecondWindow() override { g_destroyed.push_back(kWindowName); }
};

TEST(WindowRegistry, WindowsAreMadeOnFirstUseOnceAndByName) {
    test_support::ensureApplication();
    ui::Windows::destroyAll();
    g_destroyed.clear();
    EXPECT_EQ(ui::Windows::window("second_window"), nullptr); // not registered yet
    ui::Windows::registerWindow<SecondWindow>();
    EXPECT_FALSE(ui::Windows::has<SecondWindow>());
    EXPECT_EQ(ui::Windows::existing("second_window"), nullptr);

    FirstWindow& first = ui::Windows::get<FirstWindow>(); // registers itself
    EXPECT_EQ(&ui::Windows::get<FirstWindow>(), &first);
    QWidget* second = ui::Windows::window("second_window");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->objectName(), "second_window");
    EXPECT_EQ(ui::Windows::window("second_window"), second);

    // A window that was closed and deleted is made anew on its next use.
    delete &first;
    EXPECT_FALSE(ui::Windows::has<FirstWindow>());
    FirstWindow& again = ui::Windows::get<FirstWindow>();
    EXPECT_TRUE(ui::Windows::has<FirstWindow>());

    // The newest first.
    (void)again;
    g_destroyed.clear();
    ui::Windows::destroyAll();
    EXPECT_EQ(g_destroyed, (std::vector<QString>{"first_window", "second_window"}));
    EXPECT_FALSE(ui::Windows::has<SecondWindow>());
}

} // namespace
