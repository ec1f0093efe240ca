#pragma once
// The about box.

#include "platform/services.h"

#include <QWidget>

namespace ui {

class FrmAbout : public QWidget {
    Q_OBJECT
public:
    explicit FrmAbout(const platform::Services& services, QWidget* parent = nullptr);

private:
    platform::Services m_services;
};

} // namespace ui
