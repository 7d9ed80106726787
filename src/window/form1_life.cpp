// SPDX-License-Identifier: GPL-3.0-or-later
// Form1: start-up, the close request and shut-down, with the settings they read and write.

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "core/version.h"
#include "window/form1.h"
#include "window/twips.h"
#include "window/widgets.h"

namespace ondo::window {

namespace {
// The saved top or left is applied only when it lies at least this far inside the screen.
constexpr int kScreenMargin = 400;  // twips
}  // namespace

Form1::~Form1() {
    Timer1->stop();
    if (loaded_ && !terminated_) Form_Terminate();
}

void Form1::Form_Load() {
    if (loaded_) return;
    loaded_ = true;
    tRev->setText(fromLatin1(ondo::revisionText()));
    setWindowTitle(fromLatin1(ondo::windowTitle()));
    btnAbort->setEnabled(false);
    engine_.reset();
    cboPort_GotFocus();
    link_.ResetTimeoutShort();
    loadFlashFile();
    loadPrompt();
    tCmd->setText(fromLatin1(settings_.keySetting("lastcmd")));  // LastCmd stays empty
    loadPlace();
    loadSize();
}

void Form1::loadFlashFile() {
    const std::string name = settings_.fileSetting("flashFile");
    if (name.empty()) return;
    tFlashFileName->setText(fileNameText(name));
    readFile();
}

// "prompt" holds the box's state; absent means ticked. Only 1 ticks the box (the program never
// writes another value). Ticking it here runs its click handler, as a click would.
void Form1::loadPrompt() {
    std::string stored = settings_.keySetting("prompt");
    if (stored.empty()) stored = "1";
    const int state = readNumber(stored);
    sequence_.PromptSetting = std::to_string(state);
    const bool ticked = state == 1;
    if (ticked == chkPromptOnComplete->isChecked()) return;
    chkPromptOnComplete->setChecked(ticked);
    sequence_.chkPromptOnComplete_Click();
}

// A saved place near or beyond the bottom or right edge of the screen is not applied; the
// platform then places the window.
void Form1::loadPlace() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const int screenHeight = toTwips(screen->geometry().height());
    const int screenWidth = toTwips(screen->geometry().width());
    const int top = readNumber(settings_.keySetting("formtop"));
    if (top < screenHeight - kScreenMargin) move(pos().x(), toPixels(top));
    const int left = readNumber(settings_.keySetting("formleft"));
    if (left < screenWidth - kScreenMargin) move(toPixels(left), pos().y());
}

// The size as created becomes the minimum before the saved size is applied; the resize rule
// then raises a smaller saved size to it.
void Form1::loadSize() {
    MinWidth = outerWidth();
    savedWidth_ = readNumber(settings_.keySetting("formwidth"));
    setOuterWidth(savedWidth_);
    MinHeight = outerHeight();
    savedHeight_ = readNumber(settings_.keySetting("formheight"));
    setOuterHeight(savedHeight_);
}

// Form_QueryUnload. Never asks anything. Once the run has reached the bootloader (or the EEPROM)
// the close is refused and acts as Abort; the window stays open after the run, so that its
// outcome can be read, and the next close closes it. Before that point the close is granted and
// the run stops before anything reaches the unit (the application's loop ends only once the run
// has returned).
void Form1::closeEvent(QCloseEvent* event) {
    WinTop = outerTop();
    WinLeft = outerLeft();
    WinHeight = outerHeight();
    WinWidth = outerWidth();
    if (!engine_.requestClose()) {
        event->ignore();
        return;
    }
    event->accept();
    closed_ = true;
    maybeUnloaded();
}

void Form1::Form_Terminate() {
    if (terminated_) return;
    terminated_ = true;
    settings_.saveKeySetting("formwidth", formatNumber(WinWidth));
    settings_.saveKeySetting("formheight", formatNumber(WinHeight));
    settings_.saveKeySetting("formtop", formatNumber(WinTop));
    settings_.saveKeySetting("formleft", formatNumber(WinLeft));
    settings_.saveKeySetting("port", link_.PortName);
    if (!FlashFilePath.empty()) settings_.saveFileSetting("flashFile", FlashFilePath);
    settings_.saveKeySetting("prompt", sequence_.PromptSetting);
    settings_.saveKeySetting("lastcmd", console_.LastCmd);
    settings_.sync();
    link_.closePort();
}

void Form1::requestClose() {
    close();
}

// The application may end its event loop only when no handler that yields is still under way
// below the loop, so that no wait is left without its ticks.
void Form1::maybeUnloaded() {
    if (!closed_ || busyDepth_ > 0 || unloadedSent_) return;
    unloadedSent_ = true;
    emit unloaded();
}

void Form1::runHandler(const std::function<void()>& handler) {
    ++busyDepth_;
    handler();
    --busyDepth_;
    maybeUnloaded();
}

// The controls that would reach the unit or change the image are disabled for the whole run, so
// the user sees that they cannot act; the engine refuses them in any case.
void Form1::btnFlashStart_Click() {
    if (engine_.unitBusy()) return;
    setRunControls(false);
    runHandler([this] {
        sequence_.btnFlashStart_Click();
        const RunOutcome outcome = sequence_.lastOutcome();
        // The run's report follows "Programming complete." (or "EEPROM update incomplete.").
        if (outcome == RunOutcome::Complete || outcome == RunOutcome::EepromIncomplete ||
            outcome == RunOutcome::EepromSizeAssumed)
            scrollText("\r\n" + reportLine(sequence_.updateReport()));
    });
    setRunControls(true);
}

void Form1::setRunControls(bool enabled) {
    for (QWidget* control :
         std::initializer_list<QWidget*>{cboPort, lBootVersion, btnFlashFile, chkRescue,
                                         chkFlashOnly, chkEEOnly, chkPromptOnComplete})
        control->setEnabled(enabled);
    // Read-only, not disabled: the name of the file being programmed stays plain to read.
    tFlashFileName->setReadOnly(!enabled);
}

// When the window is first shown the focus goes to the port list, whose focus handler then runs
// (once more after the load). It runs from the event loop, after the show has completed.
void Form1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    adoptLateFrame();
    if (shownOnce_) return;
    shownOnce_ = true;
    cboPort->setFocus(Qt::ActiveWindowFocusReason);
    QMetaObject::invokeMethod(this, &Form1::firstFocus, Qt::QueuedConnection);
}

void Form1::firstFocus() {
    cboPort_GotFocus();
}

void Form1::cboPort_GotFocus() {
    runHandler([this] { ports_.rebuild(); });
}

void Form1::cboPort_Click() {
    runHandler([this] { ports_.openSelected(); });
}

}  // namespace ondo::window
