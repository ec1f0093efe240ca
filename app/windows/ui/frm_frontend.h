#pragma once
// The acquisition window.

#include "platform/services.h"

#include <QWidget>

namespace ui {

class FrmFrontend : public QWidget {
    Q_OBJECT
public:
    explicit FrmFrontend(const platform::Services& services, QWidget* parent = nullptr);

private:
    platform::Services m_services;
};

} // namespace ui
