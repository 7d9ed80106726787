// SPDX-License-Identifier: GPL-3.0-or-later
// Form1: the glue that hands the controls' events to the engine's handlers.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>

#include "firmware/reader.h"
#include "window/form1.h"
#include "window/keys.h"
#include "window/widgets.h"

namespace ondo::window {

void Form1::connectControls() {
    connect(labStat, &ClickLabel::clicked, this, &Form1::labStat_Click);
    connect(tRev, &ClickLabel::clicked, this, &Form1::tRev_Click);
    connect(lBootVersion, &ClickLabel::clicked, this,
            [this] { runHandler([this] { link_.lBootVersion_Click(); }); });
    connect(lCmd, &ClickLabel::clicked, this, [this] { console_.lCmd_Click(); });
    // activated: a selection by the user only; the engine runs the handler itself after a
    // selection in code.
    connect(cboPort, &QComboBox::activated, this, &Form1::cboPort_Click);
    connect(btnFlashStart, &QPushButton::clicked, this, &Form1::btnFlashStart_Click);
    connect(btnAbort, &QPushButton::clicked, this, [this] { sequence_.btnAbort_Click(); });
    connect(btnFlashFile, &QPushButton::clicked, this, &Form1::btnFlashFile_Click);
    connect(tFlashFileName, &QLineEdit::textChanged, this, &Form1::tFlashFileName_Change);
    // clicked: the user's clicks only; ticking a box in code runs no handler.
    connect(chkEEOnly, &QCheckBox::clicked, this, [this] { sequence_.chkEEOnly_Click(); });
    connect(chkFlashOnly, &QCheckBox::clicked, this, [this] { sequence_.chkFlashOnly_Click(); });
    connect(chkPromptOnComplete, &QCheckBox::clicked, this,
            [this] { sequence_.chkPromptOnComplete_Click(); });
    for (QObject* watched :
         {static_cast<QObject*>(cboPort), static_cast<QObject*>(tFlashFileName),
          static_cast<QObject*>(tCmd), static_cast<QObject*>(tText), static_cast<QObject*>(tRx)})
        watched->installEventFilter(this);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == cboPort && type == QEvent::FocusIn) {
        // Focus that comes back from the list's own popup or from another window is no new
        // visit of the list.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            cboPort_GotFocus();
        return false;
    }
    if (type == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched == tFlashFileName) return filterNameBoxKey(key);
        if (watched == tCmd) return filterCmdKey(key);
        if (watched == tText || watched == tRx) return filterPaneKey(watched, key);
    }
    if (watched == tFlashFileName &&
        (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop))
        return filterNameBoxDrag(event);
    return QWidget::eventFilter(watched, event);
}

// Enter reads the named file and goes no further; other keys edit the box.
bool Form1::filterNameBoxKey(QKeyEvent* event) {
    if (characterCode(*event) != 13) return false;
    if (!refuseRead()) readFile();
    return true;
}

// A handler consumes a key by setting its code to 0.
bool Form1::filterCmdKey(QKeyEvent* event) {
    int code = keyCode(*event);
    if (code != 0) {
        console_.tCmd_KeyDown(code);
        if (code == 0) return true;
    }
    int character = characterCode(*event);
    if (character == 0) return false;
    console_.tCmd_KeyPress(character);
    return character == 0;
}

// A character typed into a pane goes to the console; the pane itself never changes by typing.
// Keys that type nothing (arrows, page keys) still move through the pane.
bool Form1::filterPaneKey(QObject* pane, QKeyEvent* event) {
    int character = characterCode(*event);
    if (character == 0) return false;
    if (pane == tRx)
        console_.tRx_KeyPress(character);
    else
        console_.tText_KeyPress(character);
    return true;
}

namespace {
// A list of files: URLs, every one a local file.
bool carriesFiles(const QMimeData* mime) {
    if (!mime || !mime->hasUrls() || mime->urls().isEmpty()) return false;
    for (const QUrl& url : mime->urls())
        if (!url.isLocalFile()) return false;
    return true;
}
}  // namespace

// Only the name box takes dropped files, and only a list of files, as a copy.
bool Form1::filterNameBoxDrag(QEvent* event) {
    auto* drop = static_cast<QDropEvent*>(event);  // drag-enter and drag-move events are drops too
    const bool files = carriesFiles(drop->mimeData());
    if (!files || !(drop->possibleActions() & Qt::CopyAction)) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (event->type() == QEvent::Drop && !refuseRead()) dropFiles(drop->mimeData());
    return true;
}

// Each file's path passes through the box; one file is read, several leave the box empty and the
// image as it was.
void Form1::dropFiles(const QMimeData* mime) {
    int count = 0;
    for (const QUrl& url : mime->urls()) {
        tFlashFileName->setText(url.toLocalFile());
        ++count;
    }
    if (count == 1)
        readFile();
    else
        tFlashFileName->clear();
}

void Form1::tFlashFileName_Change() {
    FlashFilePath = fileNameBytes(tFlashFileName->text());
}

// The dialog gives back the preset name on a cancel, so the box is then unchanged; the file
// named in the box is read in every case.
void Form1::btnFlashFile_Click() {
    if (refuseRead()) return;
    const std::string chosen = openFile_(this, fileName());
    if (refuseRead()) return;
    if (!chosen.empty()) tFlashFileName->setText(fileNameText(chosen));
    readFile();
}

// The reader refuses while a run owns the unit, so the image being programmed stays whole.
void Form1::readFile() {
    readFlashFile(*this, image_, fileName(), engine_.unitBusy());
}

// A read asked for while a run owns the unit changes nothing: not the image, nor the name box
// with FlashFilePath and the stored "flashFile". True (and said) when refused.
bool Form1::refuseRead() {
    if (!engine_.unitBusy()) return false;
    readFile();  // says why, and reads nothing
    return true;
}

void Form1::tRev_Click() {
    viewFlashFile(*this, fileName());
}

void Form1::labStat_Click() {
    logReplace("");
}

}  // namespace ondo::window
