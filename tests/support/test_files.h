#pragma once
// Small file helpers of the window tests: whole files in and out, and plain test frames.

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QString>

namespace test_support {

// The whole file, or "<missing>" when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

inline void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}

// A JPEG frame of one gray level.
inline QByteArray grayJpeg(int width = 1600, int height = 1200, int gray = 128, int quality = 90) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(gray, gray, gray));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", quality);
    return bytes;
}

} // namespace test_support
