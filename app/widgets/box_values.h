#pragma once
// Values in and out of a window's text boxes: typed text becomes a number by the one
// leading-number rule, numbers are written with "." whatever the locale.

#include "formats/numbers.h"

#include <QLineEdit>
#include <QString>

#include <string>

namespace ui {

inline double numberIn(const QLineEdit* box) {
    return formats::leadingNumber(box->text().toStdString());
}

inline QString numberText(double value) {
    return QString::fromStdString(formats::formatNumber(value));
}

inline QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace ui
