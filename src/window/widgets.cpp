// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/widgets.h"

#include <QMouseEvent>
#include <QPainter>

namespace ondo::window {

ClickLabel::ClickLabel(QWidget* parent) : QLabel(parent) {}

void ClickLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click) emit clicked();
}

PortLamp::PortLamp(QWidget* parent) : QWidget(parent), fill_(palette().color(QPalette::Button)) {
    setFocusPolicy(Qt::NoFocus);
}

void PortLamp::setFillColour(const QColor& colour) {
    if (colour == fill_) return;
    fill_ = colour;
    update();
}

void PortLamp::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(fill_);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

}  // namespace ondo::window
