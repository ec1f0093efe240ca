#include "app/device/ui/frm_about.h"

#include "app/device/ui/frm_init.h"
#include "app/widgets/caption_fit.h"
#include "app/widgets/twips.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>

namespace ui {

namespace {

QRect twipsRect(int left, int top, int width, int height) {
    using ui::twipsToPixels;
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

} // namespace

FrmAbout::FrmAbout(const platform::Services& services, QWidget* parent)
    : QWidget(parent), m_services(services) {
    setObjectName(kWindowName);
    setWindowTitle("About Vermalux");
    setFixedSize(twipsRect(0, 0, 5400, 3300).size());

    auto* shape = new QFrame(this);
    shape->setObjectName("Shape1");
    shape->setFrameShape(QFrame::Box);
    shape->setGeometry(twipsRect(120, 120, 5160, 3060));

    auto* title = new QLabel("Vermalux", this);
    title->setObjectName("Label_Title");
    QFont big = title->font();
    big.setPointSize(16);
    big.setBold(true);
    title->setFont(big);
    title->setAlignment(Qt::AlignCenter);
    title->setGeometry(twipsRect(240, 300, 4920, 600));

    m_version = new QLabel(this);
    m_version->setObjectName("Label_Version");
    m_version->setAlignment(Qt::AlignCenter);
    m_version->setGeometry(twipsRect(240, 960, 4920, 375));

    auto* line = new QFrame(this);
    line->setObjectName("Line1");
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(twipsRect(360, 1500, 4680, 30));

    auto* credit = new QLabel("Camera control, worm tracking and motility reports\n"
                              "for the plate imaging device.",
                              this);
    credit->setObjectName("Label_Credit");
    credit->setAlignment(Qt::AlignCenter);
    credit->setWordWrap(true);
    credit->setGeometry(twipsRect(240, 1680, 4920, 660));

    auto* contact = new QLabel("For help with the device or this program,\n"
                               "please contact your instrument supplier.",
                               this);
    contact->setObjectName("Label_Contact");
    contact->setAlignment(Qt::AlignCenter);
    contact->setWordWrap(true);
    contact->setGeometry(twipsRect(240, 2400, 4920, 660));

    AboutLoad();
}

void FrmAbout::AboutLoad() {
    m_version->setText(FrmInit::versionText());
    m_loaded = true;
    fitCaptions(this);
}

void FrmAbout::showEvent(QShowEvent* event) {
    if (!m_loaded)
        AboutLoad();
    QWidget::showEvent(event);
}

void FrmAbout::closeEvent(QCloseEvent* event) {
    // Closing unloads the box; the next showing loads it again.
    m_loaded = false;
    event->accept();
}

} // namespace ui
