#pragma once
// The start window.

#include "platform/services.h"

#include <QWidget>

namespace ui {

class FrmInit : public QWidget {
    Q_OBJECT
public:
    explicit FrmInit(const platform::Services& services, QWidget* parent = nullptr);

private:
    platform::Services m_services;
};

} // namespace ui
