#pragma once
// The about box: the program's version text with a credit and a contact line.

#include "app/widgets/window_names.h"
#include "platform/services.h"

#include <QWidget>

class QLabel;

namespace ui {

class FrmAbout : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kWindowName = kAboutWindowName;
    explicit FrmAbout(const platform::Services& services, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Runs each time the box is shown after it was closed (and on the first showing).
    void AboutLoad();

    platform::Services m_services;
    QLabel* m_version = nullptr;
    bool m_loaded = false;
};

} // namespace ui
