// SPDX-License-Identifier: GPL-3.0-or-later
// Form1 as the engine's face: the status line, the log, the pane, the labels, the buttons and
// boxes the engine sets, and the message boxes it asks.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextCursor>

#include "core/messages.h"
#include "window/form1.h"
#include "window/widgets.h"

namespace ondo::window {

namespace {
QColor statusColour(Colour colour) {
    switch (colour) {
        case Colour::Status:
            return {0, 128, 0};
        case Colour::Error:
            return {255, 0, 0};
        case Colour::Plain:
            break;
    }
    return {0, 0, 0};
}

// Which bytes a text's characters are. The unit speaks one byte a character (Latin-1); file
// names come in the file system's encoding (UTF-8), so where the status line and the log carry
// both, a well-formed UTF-8 sequence shows as its one character and any other byte as Latin-1.
enum class Bytes { Unit, UnitAndNames };

// What a box or label shows for a text: a CR LF pair or a lone CR or LF is a line break; other
// control characters (a NUL from the unit, say) show as their visible symbols.
QString shown(const std::string& text, Bytes bytes = Bytes::Unit) {
    constexpr char16_t kControlPictures = 0x2400;
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t sequence = bytes == Bytes::UnitAndNames ? utf8SequenceAt(text, i) : 0;
        if (sequence > 0) {
            out += QString::fromUtf8(text.data() + i, static_cast<qsizetype>(sequence));
            i += sequence - 1;
        } else if (c == '\r') {
            out += QLatin1Char('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c < 0x20 && c != '\n' && c != '\t') {
            out += QChar(static_cast<char16_t>(kControlPictures + c));
        } else {
            out += QChar(static_cast<char16_t>(c));
        }
    }
    return out;
}

void showAtEnd(QPlainTextEdit* box, const std::string& text, Bytes bytes) {
    box->setPlainText(shown(text, bytes));
    QTextCursor caret = box->textCursor();
    caret.movePosition(QTextCursor::End);
    box->setTextCursor(caret);
    box->ensureCursorVisible();
}
}  // namespace

void Form1::status(Colour colour, const std::string& text) {
    QPalette palette = labStat->palette();
    palette.setColor(QPalette::WindowText, statusColour(colour));
    labStat->setPalette(palette);
    labStat->setText(shown(text, Bytes::UnitAndNames));
}

void Form1::scrollText(const std::string& text) {
    log_ = scrollTextAppend(std::move(log_), text);
    showLog();
}

void Form1::logAppend(const std::string& text) {
    log_ += text;
    showLog();
}

void Form1::logReplace(const std::string& text) {
    log_ = text;
    showLog();
}

void Form1::dataHistory(const std::string& text) {
    pane_ = dataHistoryAppend(std::move(pane_), text);
    showPane();
}

void Form1::paneClear() {
    pane_.clear();
    showPane();
}

void Form1::showLog() {
    showAtEnd(tText, log_, Bytes::UnitAndNames);
}
void Form1::showPane() {
    showAtEnd(tRx, pane_, Bytes::Unit);
}

void Form1::setDataLabel(const std::string& text) {
    lblData->setText(shown(text));
}
void Form1::setVersionLabel(const std::string& text) {
    lBootVersion->setText(shown(text));
}
void Form1::setErrorLabel(const std::string& text) {
    labError->setText(shown(text));
}

// Neutral is the colour the platform gives scroll bars and buttons.
void Form1::setIndicator(Indicator indicator) {
    switch (indicator) {
        case Indicator::Green:
            shpPort->setFillColour(QColor(0, 255, 0));
            return;
        case Indicator::Red:
            shpPort->setFillColour(QColor(255, 0, 0));
            return;
        case Indicator::Neutral:
            break;
    }
    shpPort->setFillColour(palette().color(QPalette::Button));
}

void Form1::setStartButton(const std::string& caption, bool enabled) {
    btnFlashStart->setText(fromLatin1(caption));
    btnFlashStart->setEnabled(enabled);
}

void Form1::setAbortEnabled(bool enabled) {
    btnAbort->setEnabled(enabled);
}

bool Form1::option(Option which) const {
    switch (which) {
        case Option::EEOnly:
            return chkEEOnly->isChecked();
        case Option::FlashOnly:
            return chkFlashOnly->isChecked();
        case Option::Rescue:
            return chkRescue->isChecked();
        case Option::PromptOnComplete:
            break;
    }
    return chkPromptOnComplete->isChecked();
}

void Form1::setOption(Option which, bool ticked) {
    switch (which) {
        case Option::EEOnly:
            chkEEOnly->setChecked(ticked);
            return;
        case Option::FlashOnly:
            chkFlashOnly->setChecked(ticked);
            return;
        case Option::Rescue:
            chkRescue->setChecked(ticked);
            return;
        case Option::PromptOnComplete:
            break;
    }
    chkPromptOnComplete->setChecked(ticked);
}

// File names travel in the file system's encoding.
std::string Form1::fileName() const {
    return fileNameBytes(tFlashFileName->text());
}

// The list's own signals stay quiet: the engine runs the selection handler itself.
void Form1::portListClear() {
    const QSignalBlocker quiet(cboPort);
    cboPort->clear();
}

// A new entry selects nothing (Qt would select the first entry of an empty list).
void Form1::portListAdd(const std::string& name) {
    const QSignalBlocker quiet(cboPort);
    const int selected = cboPort->currentIndex();
    cboPort->addItem(fromLatin1(name));
    cboPort->setCurrentIndex(selected);
}

void Form1::portListSelect(const std::string& name) {
    const QSignalBlocker quiet(cboPort);
    cboPort->setCurrentIndex(
        cboPort->findText(fromLatin1(name), Qt::MatchExactly | Qt::MatchCaseSensitive));
}

std::string Form1::portListText() const {
    return toLatin1(cboPort->currentText());
}

std::string Form1::cmdText() const {
    return toLatin1(tCmd->text());
}

void Form1::setCmdText(const std::string& text, int caret) {
    tCmd->setText(fromLatin1(text));
    tCmd->setCursorPosition(caret);
}

void Form1::focusCmd() {
    tCmd->setFocus(Qt::OtherFocusReason);
}

void Form1::beep() {
    QApplication::beep();
}

Answer Form1::ask(const MessageBox& box) {
    return ask_(this, box);
}

void Form1::progress(const Progress&) {}

}  // namespace ondo::window
