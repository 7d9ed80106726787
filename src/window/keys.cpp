// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/keys.h"

#include <QKeyEvent>

namespace ondo::window {

namespace {
constexpr int kEnter = 13;
constexpr int kBackspace = 8;
constexpr int kEscape = 27;

struct KeyName {
    int qtKey;
    int code;
};

// Keys whose code is not their character.
constexpr KeyName kKeyCodes[] = {
    {Qt::Key_Backspace, 8}, {Qt::Key_Tab, 9},      {Qt::Key_Return, 13}, {Qt::Key_Enter, 13},
    {Qt::Key_Shift, 16},    {Qt::Key_Control, 17}, {Qt::Key_Alt, 18},    {Qt::Key_Pause, 19},
    {Qt::Key_Escape, 27},   {Qt::Key_Space, 32},   {Qt::Key_PageUp, 33}, {Qt::Key_PageDown, 34},
    {Qt::Key_End, 35},      {Qt::Key_Home, 36},    {Qt::Key_Left, 37},   {Qt::Key_Up, 38},
    {Qt::Key_Right, 39},    {Qt::Key_Down, 40},    {Qt::Key_Insert, 45}, {Qt::Key_Delete, 46},
};
}  // namespace

int characterCode(const QKeyEvent& event) {
    switch (event.key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return kEnter;
        case Qt::Key_Backspace:
            return kBackspace;
        case Qt::Key_Escape:
            return kEscape;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return 0;
        default:
            break;
    }
    const QString text = event.text();
    if (text.size() == 1 && text.at(0).unicode() > 0 && text.at(0).unicode() < 256)
        return text.at(0).unicode();
    // Some platforms give no text for Ctrl+letter; it still types the control character.
    if ((event.modifiers() & Qt::ControlModifier) && event.key() >= Qt::Key_A &&
        event.key() <= Qt::Key_Z)
        return event.key() - Qt::Key_A + 1;
    return 0;
}

int keyCode(const QKeyEvent& event) {
    const int key = event.key();
    for (const KeyName& k : kKeyCodes)
        if (k.qtKey == key) return k.code;
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return key;  // Qt's codes for these are their upper-case characters
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return 112 + (key - Qt::Key_F1);
    return 0;
}

}  // namespace ondo::window
