// SPDX-License-Identifier: GPL-3.0-or-later
// Form1: the controls, their places, and the resize rule.

#include "window/form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <type_traits>

#include "window/twips.h"
#include "window/widgets.h"

// The icon lives in the window library; a static library must register its resources itself.
static void registerWindowResources() {
    Q_INIT_RESOURCE(resources);
}

namespace ondo::window {

namespace {
constexpr std::chrono::milliseconds kTimer1Interval{100};
constexpr int kClientWidth = 5700;  // client area as created, twips
constexpr int kClientHeight = 5490;
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);

// Left, top, width and height in twips, from the top-left corner of the container.
void place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

template <class W>
W* named(W* widget, const char* name, const char* toolTip = nullptr) {
    widget->setObjectName(QString::fromLatin1(name));
    if constexpr (std::is_base_of_v<QWidget, W>) {
        if (toolTip) widget->setToolTip(QString::fromLatin1(toolTip));
    }
    return widget;
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

// The option boxes are as narrow as their captions: a small gap between the box and its caption
// lets the longest ("Flash only?") show whole in its place.
QCheckBox* optionBox(const char* caption, QWidget* parent) {
    auto* box = new QCheckBox(QString::fromLatin1(caption), parent);
    box->setStyleSheet(QStringLiteral("QCheckBox { spacing: 3px; }"));
    return box;
}

// Labels show their text as it is (never as rich text), from the top-left corner.
template <class L>
L* label(L* widget, const char* caption) {
    widget->setTextFormat(Qt::PlainText);
    widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    widget->setText(QString::fromLatin1(caption));
    return widget;
}

QPlainTextEdit* pane(QWidget* parent) {
    auto* box = new QPlainTextEdit(parent);
    // Typing never changes a pane: its keys go to the console (see the event filter).
    box->setReadOnly(true);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->setFocusPolicy(Qt::StrongFocus);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return box;
}

// The toolkit's standard dialog font: the platform's own face at 8 points, narrowed where the
// face has a narrow cut, so that captions fit the places made for an 8-point dialog font.
QFont dialogFont(const QFont& base) {
    QFont font = base;
    font.setPointSize(8);
    font.setStretch(QFont::SemiCondensed);
    return font;
}

// Courier New 9 points; any fixed-pitch face where Courier New is missing.
QFont logFont() {
    QFont font(QStringLiteral("Courier New"), 9);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}
}  // namespace

Form1::Form1(Services services, QWidget* parent)
    : QWidget(parent),
      settings_(services.settings),
      ask_(std::move(services.ask)),
      openFile_(std::move(services.openFile)),
      engine_(services.serial, services.waiter, *this),
      ports_(link_, *this, *this, [this] { return settings_.keySetting("port"); }),
      console_(link_, *this, *this) {
    registerWindowResources();
    setObjectName(QStringLiteral("Form1"));
    setFont(dialogFont(font()));
    setWindowIcon(QIcon(QStringLiteral(":/ondo/form1.xpm")));
    resize(toPixels(kClientWidth), toPixels(kClientHeight));
    createControls();
    chainTabOrder();
    connectControls();
    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(kTimer1Interval);
    connect(Timer1, &QTimer::timeout, this, [this] { engine_.tick(); });
    Timer1->start();
}

void Form1::createControls() {
    labStat = named(label(new ClickLabel(this), "Status"), "labStat");
    place(labStat, 240, 4680, 4215, 495);
    labStat->setWordWrap(true);  // the status line is two text lines high
    tRev = named(label(new ClickLabel(this), ""), "tRev", "Software version of this utility");
    place(tRev, 4680, 4680, 855, 255);
    createComPortFrame();
    createFlashFileFrame();
    createPanes();
    createBottomRows();
}

void Form1::createComPortFrame() {
    frComPort = named(new QGroupBox(QStringLiteral("Com Port"), this), "frComPort",
                      "Select the COM port the wideband unit is connected to");
    place(frComPort, 240, 120, 1575, 640);
    cboPort = named(new QComboBox(frComPort), "cboPort");
    cboPort->setEditable(false);
    place(cboPort, 480, 240, 975, 315);
    shpPort = named(new PortLamp(frComPort), "shpPort");
    place(shpPort, 120, 285, 195, 195);
}

void Form1::createFlashFileFrame() {
    frFlashFile = named(new QGroupBox(QStringLiteral("Flash File"), this), "frFlashFile");
    place(frFlashFile, 240, 840, 5295, 1215);
    frFlashFile->setAcceptDrops(false);
    btnFlashStart = named(new QPushButton(QStringLiteral("Start"), frFlashFile), "btnFlashStart");
    place(btnFlashStart, 3000, 720, 1335, 375);
    btnFlashFile = named(new QPushButton(QStringLiteral("File ..."), frFlashFile), "btnFlashFile",
                         "Updated firmware files have a .HXF suffix");
    place(btnFlashFile, 4440, 240, 735, 375);
    tFlashFileName = named(new QLineEdit(frFlashFile), "tFlashFileName");
    place(tFlashFileName, 120, 280, 4215, 285);
    tFlashFileName->setAcceptDrops(true);
    lBootVersion = named(label(new ClickLabel(frFlashFile), "ROM ver."), "lBootVersion",
                         "Last version read from device");
    place(lBootVersion, 120, 840, 1575, 255);
    setTextColour(lBootVersion, kBlue);
    chkRescue = named(optionBox("Rescue?", frFlashFile), "chkRescue",
                      "The hardware rescue re-flash jumper is used with this option");
    place(chkRescue, 120, 600, 1095, 255);
    btnAbort = named(new QPushButton(QStringLiteral("Abort"), frFlashFile), "btnAbort");
    place(btnAbort, 4440, 720, 735, 375);
    chkFlashOnly =
        named(optionBox("Flash only?", frFlashFile), "chkFlashOnly",
              "Just do the Code flash, no EE update (be careful as code and EE go together)");
    place(chkFlashOnly, 1800, 600, 1095, 255);
    chkEEOnly = named(optionBox("EE only?", frFlashFile), "chkEEOnly", "Update only the EE memory");
    place(chkEEOnly, 1800, 840, 1095, 255);
}

void Form1::createPanes() {
    tText = named(pane(this), "tText", "Status and progress information");
    place(tText, 240, 2160, 5295, 2415);
    tText->setFont(logFont());
    tRx = named(pane(this), "tRx", "Shows data returned from the device");
    place(tRx, 2040, 120, 3495, 735);
}

void Form1::createBottomRows() {
    lblData = named(label(new QLabel(this), ""), "lblData");
    place(lblData, 3840, 5280, 735, 255);
    setTextColour(lblData, kRed);
    chkPromptOnComplete = named(optionBox("Prompt?", this), "chkPromptOnComplete",
                                "Notify when flashing complete (default YES)");
    place(chkPromptOnComplete, 4680, 4920, 975, 255);
    labError = named(label(new QLabel(this), ""), "labError");
    place(labError, 240, 5160, 3495, 255);
    setTextColour(labError, kRed);
    tCmd = named(new QLineEdit(this), "tCmd");
    place(tCmd, 5040, 5160, 615, 285);
    lCmd = named(label(new ClickLabel(this), "cmd:"), "lCmd",
                 "Enter a Command - Will not exceute while flashing");
    place(lCmd, 4680, 5205, 375, 255);
}

// Labels, frames and the indicator take no focus; the rest follow the inventory's order.
void Form1::chainTabOrder() {
    QWidget* const order[] = {cboPort,      btnFlashStart, btnFlashFile,        tFlashFileName,
                              tText,        tRx,           chkRescue,           btnAbort,
                              chkFlashOnly, chkEEOnly,     chkPromptOnComplete, tCmd};
    for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

QMargins Form1::frameMarginsNow() const {
    if (isVisible() && windowHandle()) return windowHandle()->frameMargins();
    return {};
}

int Form1::outerWidth() const {
    const QMargins m = frameMarginsNow();
    return toTwips(width() + m.left() + m.right());
}

int Form1::outerHeight() const {
    const QMargins m = frameMarginsNow();
    return toTwips(height() + m.top() + m.bottom());
}

// A window's position in Qt is already the position of its frame.
int Form1::outerTop() const {
    return toTwips(pos().y());
}
int Form1::outerLeft() const {
    return toTwips(pos().x());
}

// Qt holds back the resize events of a hidden window until it is shown, so while hidden the
// rule runs at once here, nested, as it would for a visible window.
void Form1::setOuterWidth(int twips) {
    const QMargins m = frameMarginsNow();
    resize(toPixels(twips) - m.left() - m.right(), height());
    if (!isVisible()) Form_Resize();
}

void Form1::setOuterHeight(int twips) {
    const QMargins m = frameMarginsNow();
    resize(width(), toPixels(twips) - m.top() - m.bottom());
    if (!isVisible()) Form_Resize();
}

void Form1::Form_Resize() {
    if (isMinimized() || isMaximized()) return;
    // Each raise below runs the rule again, nested; a platform that will not take the size
    // must not make that endless.
    constexpr int kMostNested = 3;
    if (resizeDepth_ >= kMostNested) return;
    ++resizeDepth_;
    if (outerHeight() < MinHeight) setOuterHeight(MinHeight);
    if (outerWidth() < MinWidth) setOuterWidth(MinWidth);
    layOutForSize();
    --resizeDepth_;
}

// The bottom rows follow the bottom edge; the log grows both ways, the data pane to the right.
void Form1::layOutForSize() {
    const int w = outerWidth();
    const int h = outerHeight();
    const auto setTop = [](QWidget* widget, int top) { widget->move(widget->x(), toPixels(top)); };
    setTop(labStat, h - 1230);
    setTop(tRev, h - 1230);
    setTop(chkPromptOnComplete, h - 990);
    setTop(tCmd, h - 750);
    setTop(labError, h - 750);
    setTop(lCmd, h - 705);
    setTop(lblData, h - 705);
    tText->resize(toPixels(w - 525), tText->height());
    tText->resize(tText->width(), toPixels(h - 3480));
    tRx->resize(toPixels(w - 2325), tRx->height());
}

void Form1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    adoptLateFrame();
    Form_Resize();
}

void Form1::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    adoptLateFrame();
}

// The frame a window manager draws is known only once the window is on the screen. The minimum
// and the saved size were taken without it at load; they are corrected once when it appears.
void Form1::adoptLateFrame() {
    if (frameAdopted_ || !loaded_) return;
    const QMargins m = frameMarginsNow();
    if (m.isNull()) return;
    frameAdopted_ = true;
    MinWidth += toTwips(m.left() + m.right());
    MinHeight += toTwips(m.top() + m.bottom());
    setOuterWidth(savedWidth_);
    setOuterHeight(savedHeight_);
}

}  // namespace ondo::window
