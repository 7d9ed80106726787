// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Two small widgets the window needs beyond Qt's own: a label that reports clicks, and the
// filled circle that shows the port's state.

#include <QColor>
#include <QLabel>
#include <QWidget>

namespace ondo::window {

// A label whose click (press and release of the left button over it) runs a handler, as the
// status line, the revision, the version label and "cmd:" do.
class ClickLabel : public QLabel {
    Q_OBJECT
  public:
    explicit ClickLabel(QWidget* parent);

  signals:
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool pressed_ = false;
};

// shpPort: a circle filled solid with one colour, drawn with a thin black border. It takes no
// focus and no input.
class PortLamp : public QWidget {
    Q_OBJECT
  public:
    explicit PortLamp(QWidget* parent);

    QColor fillColour() const { return fill_; }
    void setFillColour(const QColor& colour);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor fill_;
};

}  // namespace ondo::window
