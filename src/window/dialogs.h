// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two modal dialogs of the window, each behind one function so that tests can answer them
// and the application shows the real thing.

#include <QString>
#include <functional>
#include <string>

#include "core/face.h"

class QWidget;

namespace ondo::window {

// Shows a message box and returns the button pressed.
using AskFunction = std::function<Answer(QWidget* parent, const MessageBox& box)>;
// Runs the open-file dialog preset with a name; returns the chosen file's full path, or the
// preset name when the user cancels.
using OpenFileFunction = std::function<std::string(QWidget* parent, const std::string& preset)>;

// A QMessageBox with the text (carriage returns become line breaks), title, buttons and icon.
// Closing a box without a button counts as Cancel where there is one, else as OK.
Answer showMessageBox(QWidget* parent, const MessageBox& box);

// QFileDialog in open mode: an existing file is required, the filters are
// "Hex Flash Files (*.HXF)" (selected first) and "All files (*.*)".
std::string runOpenFileDialog(QWidget* parent, const std::string& preset);

// File names go to the engine as UTF-8 on every platform (the reader opens them as such, by
// their wide form on Windows), whatever the system's narrow encoding.
std::string fileNameBytes(const QString& name);
QString fileNameText(const std::string& name);

// Texts of the engine are Latin-1 byte strings.
QString fromLatin1(const std::string& text);
std::string toLatin1(const QString& text);

}  // namespace ondo::window
