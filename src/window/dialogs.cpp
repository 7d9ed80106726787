// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/dialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QString>

namespace ondo::window {

QString fromLatin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toLatin1(const QString& text) {
    return text.toLatin1().toStdString();
}

namespace {
QMessageBox::Icon qtIcon(Icon icon) {
    switch (icon) {
        case Icon::Critical:
            return QMessageBox::Critical;
        case Icon::Exclamation:
            return QMessageBox::Warning;
        case Icon::Information:
            break;
    }
    return QMessageBox::Information;
}

// A carriage return, with or without the line feed after it, is one line break.
QString boxText(const std::string& text) {
    QString shown = fromLatin1(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}
}  // namespace

Answer showMessageBox(QWidget* parent, const MessageBox& box) {
    const bool cancel = box.buttons == Buttons::OkCancel;
    QMessageBox dialog(qtIcon(box.icon), fromLatin1(box.title), boxText(box.text),
                       cancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, parent);
    dialog.setTextFormat(Qt::PlainText);
    dialog.setDefaultButton(QMessageBox::Ok);
    dialog.setEscapeButton(cancel ? QMessageBox::Cancel : QMessageBox::Ok);
    dialog.exec();
    return dialog.clickedButton() == dialog.button(QMessageBox::Ok) || !cancel ? Answer::Ok
                                                                               : Answer::Cancel;
}

std::string runOpenFileDialog(QWidget* parent, const std::string& preset) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(
        {QStringLiteral("Hex Flash Files (*.HXF)"), QStringLiteral("All files (*.*)")});
    dialog.selectNameFilter(QStringLiteral("Hex Flash Files (*.HXF)"));
    if (!preset.empty()) dialog.selectFile(fileNameText(preset));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return preset;
    return fileNameBytes(dialog.selectedFiles().constFirst());
}

std::string fileNameBytes(const QString& name) {
    return name.toUtf8().toStdString();
}

QString fileNameText(const std::string& name) {
    return QString::fromUtf8(name);
}

}  // namespace ondo::window
