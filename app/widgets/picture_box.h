#pragma once
// A picture box: one widget with a backing image in the picture's own coordinates. All drawing
// goes into the backing image and pixel reads (`point`) read it, never the screen, so what is
// measured does not depend on the size of the window. The widget paints the backing image
// stretched over its whole area; the outlines of boxes and the mark lines drawn since the image
// was last replaced are painted again over it at screen scale, at least one screen pixel wide,
// so that no side of a thin mark is lost when the picture is shown smaller than its image.

#include <QImage>
#include <QString>
#include <QWidget>

#include <vector>

namespace ui {

// Colour values are red + 256 x green + 65536 x blue.
constexpr int colourValue(int red, int green, int blue) {
    return (red & 0xFF) + 256 * (green & 0xFF) + 65536 * (blue & 0xFF);
}
QColor toQColor(int colour);
int fromQColor(const QColor& colour);

// Reads a picture file into `picture`. Only a regular file is read: a pipe, a device or a
// folder in its place is refused, and `refusal` (when given) gets a message naming it. False
// as well, with no refusal, when the file is missing or not a picture.
bool readPictureFile(const QString& file, QImage& picture, QString* refusal = nullptr);

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr, QSize backingSize = QSize(1600, 1200));

    QSize backingSize() const { return m_image.size(); }
    const QImage& image() const { return m_image; }
    QImage& image() { return m_image; }

    // The user coordinate system: (left, top) at the top-left corner of the backing image and
    // (right, bottom) at its bottom-right corner. By default the backing image's own pixels.
    void setScale(double left, double top, double right, double bottom);
    void resetScale();
    double scaleLeft() const { return m_left; }
    double scaleTop() const { return m_top; }
    double scaleRight() const { return m_right; }
    double scaleBottom() const { return m_bottom; }

    void setBackColor(int colour);
    int backColor() const { return m_backColor; }
    void setDrawWidth(int width) { m_drawWidth = width < 1 ? 1 : width; }
    int drawWidth() const { return m_drawWidth; }

    // Clears the drawing: back to the box's own picture when it has one, else to the back colour.
    void cls();
    void pset(double x, double y, int colour);
    void line(double x1, double y1, double x2, double y2, int colour);
    // A line that marks something (a target, a test result): drawn as line() does and kept
    // visible on screen however small the box is shown.
    void markLine(double x1, double y1, double x2, double y2, int colour);
    void box(double x1, double y1, double x2, double y2, int colour, bool filled = false);
    // A circle of radius r (in user x units); aspect gives the height over the width.
    void circle(double cx, double cy, double r, int colour, double aspect = 1.0);
    void printText(double x, double y, const QString& text, int colour, int pixelSize = 24);

    // Colour value of the backing image at a user point; -1 outside the image.
    int point(double x, double y) const;

    // Loads an image file and paints the given source region of it stretched over the whole
    // backing image; the result becomes the box's own picture and the scale is set to
    // (0, 0)-(1600, 1200). False, and the box hidden, when the file is missing or not a picture.
    bool loadPicture(const QString& file, const QRect& source = QRect(0, 0, 1600, 1200));
    // What loadPicture shows, made ready apart from the box: the file read and painted over a
    // copy of `backing` (the box's backing image), and the copy kept as the box's own picture.
    // Uses nothing of a window, so that it may run on another thread (a camera frame takes tens
    // of milliseconds); showPrepared then shows it as loadPicture would have.
    struct PreparedPicture {
        bool ok = false;
        QImage image;
        QImage picture;
    };
    static PreparedPicture preparePicture(const QString& file, const QRect& source, QImage backing);
    bool showPrepared(PreparedPicture prepared);
    // Paints an image stretched over the whole backing image (no file involved).
    void paintPicture(const QImage& picture, const QRect& source);
    // Makes the current drawing the box's own picture (what cls goes back to).
    void keepAsPicture();
    void clearPicture();
    bool hasPicture() const { return !m_picture.isNull(); }

    // Backing-image pixel of a user point.
    QPointF toBacking(double x, double y) const;
    // User point of a widget position.
    QPointF fromWidget(const QPointF& position) const;

signals:
    // A mouse press, in user coordinates.
    void mousePressed(double x, double y, Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    // An outline or a mark line in backing-image pixels, painted again on screen.
    struct Mark {
        QLineF line; // a mark line, or
        QRectF rect; // a box outline
        bool isBox = false;
        QColor colour;
        double width = 1.0; // pen width in backing pixels
    };
    double scaleX() const;
    double scaleY() const;
    void addMark(Mark mark);
    void dropMarksInside(const QRectF& rect);

    std::vector<Mark> m_marks;        // on the current drawing
    std::vector<Mark> m_pictureMarks; // on the box's own picture (what cls goes back to)

    QImage m_image;
    QImage m_picture;
    double m_left = 0.0;
    double m_top = 0.0;
    double m_right = 1600.0;
    double m_bottom = 1200.0;
    int m_backColor = colourValue(255, 255, 255);
    int m_drawWidth = 1;
};

} // namespace ui
