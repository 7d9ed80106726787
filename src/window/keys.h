// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How Qt's key events become the character codes and key codes that the key handlers of the
// command console and the file-name box take.

class QKeyEvent;

namespace ondo::window {

// The character a key press types: Enter 13, Backspace 8, Escape 27, Ctrl+letter 1 to 26, a
// printable Latin-1 character its code. 0 when the key types no character (arrows, function
// keys, Tab, which moves the focus, and characters outside Latin-1).
int characterCode(const QKeyEvent& event);

// The key's code as the console knows keys: letters and digits their upper-case character,
// Up arrow 38, Down 40, Left 37, Right 39, Enter 13, Backspace 8 and so on. 0 for a key that
// has none.
int keyCode(const QKeyEvent& event);

}  // namespace ondo::window
