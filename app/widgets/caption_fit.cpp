#include "app/widgets/caption_fit.h"

#include <QCheckBox>
#include <QEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QTextDocument>
#include <QTextLayout>
#include <QVariant>

#include <algorithm>

namespace ui {

namespace {

// Properties a fitted control carries: the font it had before the fit, whether that font was
// inherited from its parent, and the font the fit gave it.
constexpr const char* kBaseFont = "captionFitBaseFont";
constexpr const char* kBaseInherited = "captionFitBaseInherited";
constexpr const char* kFittedFont = "captionFitFont";
constexpr const char* kWatcherName = "captionFitWatcher";
constexpr const char* kTextWatched = "captionFitTextWatched";

// Caption of a control; empty for a widget that has none (a label showing a picture or rich
// text has none either).
QString captionOf(const QWidget* w) {
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        if (!label->pixmap().isNull())
            return QString();
        const Qt::TextFormat format = label->textFormat();
        if (format == Qt::RichText ||
            (format == Qt::AutoText && Qt::mightBeRichText(label->text())))
            return QString();
        return label->text();
    }
    if (qobject_cast<const QPushButton*>(w) || qobject_cast<const QCheckBox*>(w) ||
        qobject_cast<const QRadioButton*>(w))
        return static_cast<const QAbstractButton*>(w)->text();
    if (const auto* group = qobject_cast<const QGroupBox*>(w))
        return group->title();
    if (const auto* edit = qobject_cast<const QLineEdit*>(w))
        return edit->echoMode() == QLineEdit::Normal ? edit->text() : QString();
    return QString();
}

QStringList linesOf(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t.split(QLatin1Char('\n'));
}

bool wraps(const QWidget* w) {
    const auto* label = qobject_cast<const QLabel*>(w);
    return label && label->wordWrap();
}

// The label's text area: its contents less its margin, and less its indent on the aligned side.
QRect labelTextRect(const QLabel* label) {
    QRect r = label->contentsRect();
    const int m = label->margin();
    r.adjust(m, m, -m, -m);
    int indent = label->indent();
    if (indent < 0 && label->frameWidth() > 0)
        indent = label->fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2;
    if (indent > 0) {
        const Qt::Alignment a = label->alignment();
        if (a & (Qt::AlignLeft | Qt::AlignRight))
            r.setWidth(r.width() - indent);
        else if (a & (Qt::AlignTop | Qt::AlignBottom))
            r.setHeight(r.height() - indent);
    }
    return r;
}

QSize buttonOverhead(const QAbstractButton* button) {
    QStyle* style = button->style();
    QStyleOptionButton opt;
    opt.initFrom(button);
    opt.text = button->text();
    const int h = button->fontMetrics().height();
    if (qobject_cast<const QCheckBox*>(button)) {
        const QSize s = style->sizeFromContents(QStyle::CT_CheckBox, &opt, QSize(0, h), button);
        return QSize(s.width(), 0);
    }
    if (qobject_cast<const QRadioButton*>(button)) {
        const QSize s = style->sizeFromContents(QStyle::CT_RadioButton, &opt, QSize(0, h), button);
        return QSize(s.width(), 0);
    }
    // Push button: the style's margin and frame around the text (as its size hint reckons them);
    // the text is vertically inside the frame only.
    const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, button);
    const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, &opt, button);
    return QSize(margin + 2 * frame, 2 * frame);
}

QRect lineEditTextRect(const QLineEdit* edit) {
    QStyleOptionFrame opt;
    opt.initFrom(edit);
    opt.lineWidth =
        edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, edit) : 0;
    opt.midLineWidth = 0;
    opt.state |= QStyle::State_Sunken;
    if (edit->isReadOnly())
        opt.state |= QStyle::State_ReadOnly;
    QRect r = edit->style()->subElementRect(QStyle::SE_LineEditContents, &opt, edit);
    r = r.marginsRemoved(edit->textMargins());
    constexpr int kHorizontalMargin = 2; // the text box's own inset on either side
    r.adjust(kHorizontalMargin, 0, -kHorizontalMargin, 0);
    return r;
}

// The group-box title inset on either side (the common styles use 8 pixels).
constexpr int kGroupTitleInset = 8;

int fontPixels(const QFont& font) {
    return font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
}

// True when wrapping a label's caption at its width would split a word where it may break but
// reads badly ("[mm/" and "s]"): the caption then counts as not fitting.
bool splitsAWord(const QWidget* w, const QFont& font) {
    if (!wraps(w))
        return false;
    const int room = captionRoom(w);
    if (room <= 0)
        return false;
    for (const QString& line : linesOf(captionOf(w))) {
        QTextLayout layout(line, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        bool split = false;
        for (QTextLine l = layout.createLine(); l.isValid() && !split; l = layout.createLine()) {
            l.setLineWidth(room);
            const int end = l.textStart() + l.textLength();
            split = end > 0 && end < line.size() && !line.at(end - 1).isSpace() &&
                    !line.at(end).isSpace();
        }
        layout.endLayout();
        if (split)
            return true;
    }
    return false;
}

bool fitsIn(const QWidget* w, const QFont& font) {
    return captionWidth(w, font) <= captionRoom(w) &&
           captionHeight(w, font) <= captionRoomHeight(w) && !splitsAWord(w, font);
}

void restoreFont(QWidget* w) {
    const bool inherited = w->property(kBaseInherited).toBool();
    const QFont base = w->property(kBaseFont).value<QFont>();
    w->setProperty(kBaseFont, QVariant());
    w->setProperty(kBaseInherited, QVariant());
    w->setProperty(kFittedFont, QVariant());
    if (inherited) {
        w->setFont(QFont());
        w->setAttribute(Qt::WA_SetFont, false);
    } else {
        w->setFont(base);
    }
}

void fitControl(QWidget* w) {
    if (qobject_cast<QGroupBox*>(w) || !hasCaption(w))
        return;
    // A font set by the window after the fit becomes the control's own font.
    const QVariant fitted = w->property(kFittedFont);
    if (fitted.isValid() && w->font() != fitted.value<QFont>()) {
        w->setProperty(kBaseFont, QVariant());
        w->setProperty(kBaseInherited, QVariant());
        w->setProperty(kFittedFont, QVariant());
    }
    const bool lowered = w->property(kFittedFont).isValid();
    const QFont base = lowered ? w->property(kBaseFont).value<QFont>() : w->font();
    if (fitsIn(w, base)) {
        if (lowered)
            restoreFont(w);
        return;
    }
    const int basePixels = fontPixels(base);
    if (basePixels <= kCaptionFloorPixels)
        return;
    QFont font = base;
    for (int px = basePixels - 1; px >= kCaptionFloorPixels; --px) {
        font.setPixelSize(px);
        if (fitsIn(w, font))
            break;
    }
    if (lowered && w->font() == font)
        return;
    if (!lowered) {
        w->setProperty(kBaseFont, base);
        w->setProperty(kBaseInherited, !w->testAttribute(Qt::WA_SetFont));
    }
    w->setFont(font);
    w->setProperty(kFittedFont, w->font());
}

void fitTree(QWidget* root) {
    fitControl(root);
    const auto children = root->findChildren<QWidget*>();
    for (QWidget* w : children)
        if (!w->isWindow())
            fitControl(w);
}

// Fits a frame's controls again when one of them changes its caption (the frame is then asked
// to lay out) or when the frame is shown.
class CaptionWatcher : public QObject {
public:
    explicit CaptionWatcher(QWidget* root) : QObject(root) { setObjectName(kWatcherName); }

    void watch(QWidget* root) {
        root->installEventFilter(this);
        const auto children = root->findChildren<QWidget*>();
        for (QWidget* w : children)
            if (!w->isWindow() && !w->children().isEmpty())
                w->installEventFilter(this);
        // A text box asks nobody to lay out when its text changes (a value typed, or written by
        // a control): it is fitted at once.
        for (QLineEdit* edit : root->findChildren<QLineEdit*>()) {
            if (edit->isWindow() || edit->property(kTextWatched).toBool())
                continue;
            edit->setProperty(kTextWatched, true);
            connect(edit, &QLineEdit::textChanged, this, [edit] { fitControl(edit); });
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!watched->isWidgetType())
            return false;
        auto* frame = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show) {
            fitTree(frame);
        } else if (event->type() == QEvent::LayoutRequest) {
            // A control that changed its caption asks its own frame.
            for (QObject* child : frame->children())
                if (child->isWidgetType() && !static_cast<QWidget*>(child)->isWindow())
                    fitControl(static_cast<QWidget*>(child));
        }
        return false;
    }
};

} // namespace

bool hasCaption(const QWidget* control) {
    return control && !captionOf(control).isEmpty();
}

int captionRoom(const QWidget* w) {
    if (!hasCaption(w))
        return -1;
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return labelTextRect(label).width();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        return w->width() - buttonOverhead(button).width();
    if (qobject_cast<const QGroupBox*>(w))
        return w->width() - 2 * kGroupTitleInset;
    if (const auto* edit = qobject_cast<const QLineEdit*>(w))
        return lineEditTextRect(edit).width();
    return -1;
}

int captionRoomHeight(const QWidget* w) {
    if (!hasCaption(w))
        return -1;
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return labelTextRect(label).height();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        return w->height() - buttonOverhead(button).height();
    if (qobject_cast<const QGroupBox*>(w))
        return w->height();
    if (const auto* edit = qobject_cast<const QLineEdit*>(w))
        return lineEditTextRect(edit).height();
    return -1;
}

int captionWidth(const QWidget* w, const QFont& font) {
    const QString text = captionOf(w);
    if (text.isEmpty())
        return 0;
    const QFontMetrics fm(font);
    if (qobject_cast<const QGroupBox*>(w))
        return fm.size(Qt::TextShowMnemonic, text + QLatin1Char(' ')).width();
    if (qobject_cast<const QAbstractButton*>(w))
        return fm.size(Qt::TextShowMnemonic, text).width();
    int widest = 0;
    for (const QString& line : linesOf(text)) {
        if (wraps(w)) {
            for (const QString& word : line.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                widest = std::max(widest, fm.horizontalAdvance(word));
        } else {
            widest = std::max(widest, fm.horizontalAdvance(line));
        }
    }
    return widest;
}

int captionHeight(const QWidget* w, const QFont& font) {
    const QString text = captionOf(w);
    if (text.isEmpty())
        return 0;
    const QFontMetrics fm(font);
    if (qobject_cast<const QGroupBox*>(w))
        return fm.height();
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        const int room = std::max(1, captionRoom(w));
        const int flags = label->wordWrap() ? Qt::TextWordWrap : 0;
        return fm.boundingRect(QRect(0, 0, room, 1 << 20), flags, text).height();
    }
    return fm.height();
}

std::vector<CaptionMiss> captionsThatDoNotFit(const QWidget* root) {
    std::vector<CaptionMiss> out;
    if (!root)
        return out;
    QList<const QWidget*> controls{root};
    for (const QWidget* w : root->findChildren<QWidget*>())
        if (!w->isWindow() && w->isVisibleTo(root))
            controls.append(w);
    for (const QWidget* w : controls) {
        if (!hasCaption(w))
            continue;
        CaptionMiss miss;
        miss.needed = captionWidth(w, w->font());
        miss.available = captionRoom(w);
        miss.neededHeight = captionHeight(w, w->font());
        miss.availableHeight = captionRoomHeight(w);
        if (miss.needed <= miss.available && miss.neededHeight <= miss.availableHeight &&
            !splitsAWord(w, w->font()))
            continue;
        miss.name = w->objectName();
        miss.text = captionOf(w);
        out.push_back(miss);
    }
    return out;
}

void fitCaptions(QWidget* root) {
    if (!root)
        return;
    auto* watcher = dynamic_cast<CaptionWatcher*>(
        root->findChild<QObject*>(kWatcherName, Qt::FindDirectChildrenOnly));
    if (!watcher)
        watcher = new CaptionWatcher(root);
    watcher->watch(root);
    fitTree(root);
}

} // namespace ui
