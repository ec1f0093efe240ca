#include "app/widgets/picture_box.h"

#include "formats/regular_file.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <string>

namespace ui {

QColor toQColor(int colour) {
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

int fromQColor(const QColor& colour) {
    return colourValue(colour.red(), colour.green(), colour.blue());
}

PictureBox::PictureBox(QWidget* parent, QSize backingSize)
    : QWidget(parent), m_image(backingSize, QImage::Format_RGB32) {
    m_right = backingSize.width();
    m_bottom = backingSize.height();
    m_image.fill(toQColor(m_backColor));
}

void PictureBox::setScale(double left, double top, double right, double bottom) {
    if (right == left || bottom == top)
        return;
    m_left = left;
    m_top = top;
    m_right = right;
    m_bottom = bottom;
}

void PictureBox::resetScale() {
    m_left = 0.0;
    m_top = 0.0;
    m_right = m_image.width();
    m_bottom = m_image.height();
}

void PictureBox::setBackColor(int colour) {
    m_backColor = colour;
}

double PictureBox::scaleX() const {
    return m_image.width() / (m_right - m_left);
}

double PictureBox::scaleY() const {
    return m_image.height() / (m_bottom - m_top);
}

QPointF PictureBox::toBacking(double x, double y) const {
    return QPointF((x - m_left) * scaleX(), (y - m_top) * scaleY());
}

QPointF PictureBox::fromWidget(const QPointF& position) const {
    const double w = width() > 0 ? width() : 1;
    const double h = height() > 0 ? height() : 1;
    const double bx = position.x() * m_image.width() / w;
    const double by = position.y() * m_image.height() / h;
    return QPointF(m_left + bx / scaleX(), m_top + by / scaleY());
}

void PictureBox::cls() {
    if (!m_picture.isNull()) {
        m_image = m_picture.copy();
        m_marks = m_pictureMarks;
    } else {
        m_image.fill(toQColor(m_backColor));
        m_marks.clear();
    }
    update();
}

// Marks kept by the thousand would slow every repaint; beyond that the backing image alone
// shows them.
constexpr std::size_t kMaxMarks = 4096;

void PictureBox::addMark(Mark mark) {
    if (m_marks.size() < kMaxMarks)
        m_marks.push_back(std::move(mark));
}

void PictureBox::dropMarksInside(const QRectF& rect) {
    std::erase_if(m_marks, [&](const Mark& m) {
        const QRectF bounds = m.isBox ? m.rect : QRectF(m.line.p1(), m.line.p2()).normalized();
        return rect.contains(bounds);
    });
}

void PictureBox::pset(double x, double y, int colour) {
    const QPointF p = toBacking(x, y);
    QPainter painter(&m_image);
    if (m_drawWidth <= 1) {
        const int px = static_cast<int>(std::floor(p.x()));
        const int py = static_cast<int>(std::floor(p.y()));
        if (px >= 0 && py >= 0 && px < m_image.width() && py < m_image.height())
            m_image.setPixel(px, py, toQColor(colour).rgb());
    } else {
        painter.setPen(Qt::NoPen);
        painter.setBrush(toQColor(colour));
        painter.drawEllipse(p, m_drawWidth / 2.0, m_drawWidth / 2.0);
    }
    update();
}

void PictureBox::line(double x1, double y1, double x2, double y2, int colour) {
    QPainter painter(&m_image);
    painter.setPen(QPen(toQColor(colour), m_drawWidth));
    painter.drawLine(toBacking(x1, y1), toBacking(x2, y2));
    update();
}

void PictureBox::markLine(double x1, double y1, double x2, double y2, int colour) {
    line(x1, y1, x2, y2, colour);
    Mark mark;
    mark.line = QLineF(toBacking(x1, y1), toBacking(x2, y2));
    mark.colour = toQColor(colour);
    mark.width = m_drawWidth;
    addMark(std::move(mark));
}

void PictureBox::box(double x1, double y1, double x2, double y2, int colour, bool filled) {
    QPainter painter(&m_image);
    const QRectF rect = QRectF(toBacking(x1, y1), toBacking(x2, y2)).normalized();
    if (filled) {
        painter.fillRect(rect, toQColor(colour));
        dropMarksInside(rect);
    } else {
        painter.setPen(QPen(toQColor(colour), m_drawWidth));
        painter.drawRect(rect);
        Mark mark;
        mark.rect = rect;
        mark.isBox = true;
        mark.colour = toQColor(colour);
        mark.width = m_drawWidth;
        addMark(std::move(mark));
    }
    update();
}

void PictureBox::circle(double cx, double cy, double r, int colour, double aspect) {
    QPainter painter(&m_image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(toQColor(colour), m_drawWidth));
    const QPointF c = toBacking(cx, cy);
    double rx = std::fabs(r * scaleX());
    double ry = std::fabs(r * scaleX());
    if (aspect > 1.0) {
        // The radius applies to the longer axis.
        ry = std::fabs(r * scaleY());
        rx = ry / aspect;
    } else {
        ry = rx * aspect;
    }
    painter.drawEllipse(c, rx, ry);
    update();
}

void PictureBox::printText(double x, double y, const QString& text, int colour, int pixelSize) {
    QPainter painter(&m_image);
    QFont font = painter.font();
    font.setPixelSize(pixelSize);
    painter.setFont(font);
    painter.setPen(toQColor(colour));
    const QPointF p = toBacking(x, y);
    painter.drawText(QPointF(p.x(), p.y() + QFontMetrics(font).ascent()), text);
    update();
}

int PictureBox::point(double x, double y) const {
    const QPointF p = toBacking(x, y);
    const int px = static_cast<int>(std::floor(p.x()));
    const int py = static_cast<int>(std::floor(p.y()));
    if (px < 0 || py < 0 || px >= m_image.width() || py >= m_image.height())
        return -1;
    return fromQColor(QColor(m_image.pixel(px, py)));
}

bool readPictureFile(const QString& file, QImage& picture, QString* refusal) {
    picture = QImage();
    std::string bytes, error;
    bool missing = false;
    // No picture of ours comes near a gigabyte; QImage takes no more than an int of bytes.
    constexpr std::size_t kMaxPictureBytes = std::size_t(1) << 30;
    if (!formats::readRegularFile(file.toStdString(), bytes, error, &missing, kMaxPictureBytes)) {
        if (refusal && !missing)
            *refusal = QString::fromStdString(error);
        return false;
    }
    // The format is found from the content, as loading by name does.
    return picture.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                                static_cast<int>(bytes.size())) &&
           !picture.isNull();
}

bool PictureBox::loadPicture(const QString& file, const QRect& source) {
    hide();
    QImage picture;
    if (!readPictureFile(file, picture))
        return false;
    paintPicture(picture, source);
    keepAsPicture();
    setScale(0.0, 0.0, 1600.0, 1200.0);
    show();
    return true;
}

PictureBox::PreparedPicture PictureBox::preparePicture(const QString& file, const QRect& source,
                                                       QImage backing) {
    PreparedPicture prepared;
    QImage picture;
    if (!readPictureFile(file, picture))
        return prepared;
    {
        QPainter painter(&backing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(QRectF(0, 0, backing.width(), backing.height()), picture, QRectF(source));
    }
    prepared.ok = true;
    prepared.picture = backing.copy();
    prepared.image = std::move(backing);
    return prepared;
}

bool PictureBox::showPrepared(PreparedPicture prepared) {
    hide();
    if (!prepared.ok)
        return false;
    m_image = std::move(prepared.image);
    m_marks.clear();
    m_picture = std::move(prepared.picture);
    m_pictureMarks.clear();
    setScale(0.0, 0.0, 1600.0, 1200.0);
    show();
    update();
    return true;
}

void PictureBox::paintPicture(const QImage& picture, const QRect& source) {
    QPainter painter(&m_image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(QRectF(0, 0, m_image.width(), m_image.height()), picture, QRectF(source));
    m_marks.clear();
    update();
}

void PictureBox::keepAsPicture() {
    m_picture = m_image.copy();
    m_pictureMarks = m_marks;
}

void PictureBox::clearPicture() {
    m_picture = QImage();
    m_pictureMarks.clear();
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The backing image is larger than the box on screen: a smooth reduction keeps thin lines
    // (trails, chart outlines) visible instead of dropping the rows and columns between samples.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_image);
    if (m_marks.empty() || m_image.isNull())
        return;
    const double sx = static_cast<double>(width()) / m_image.width();
    const double sy = static_cast<double>(height()) / m_image.height();
    if (sx >= 1.0 && sy >= 1.0)
        return; // shown at full size or larger: the image shows every mark
    // The marks again, on whole screen pixels, each side at least one pixel wide.
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const Mark& m : m_marks) {
        QPen pen(m.colour, std::max(1, static_cast<int>(std::lround(m.width * std::min(sx, sy)))));
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        if (m.isBox) {
            // A one-pixel outline of a rectangle covers its right and bottom edges too.
            const int left = static_cast<int>(std::lround(m.rect.left() * sx));
            const int top = static_cast<int>(std::lround(m.rect.top() * sy));
            const int right = static_cast<int>(std::lround(m.rect.right() * sx));
            const int bottom = static_cast<int>(std::lround(m.rect.bottom() * sy));
            painter.drawRect(
                QRect(left, top, std::max(0, right - left), std::max(0, bottom - top)));
        } else {
            painter.drawLine(QPointF(m.line.x1() * sx, m.line.y1() * sy),
                             QPointF(m.line.x2() * sx, m.line.y2() * sy));
        }
    }
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    const QPointF p = fromWidget(event->position());
    emit mousePressed(p.x(), p.y(), event->button());
    QWidget::mousePressEvent(event);
}

} // namespace ui
