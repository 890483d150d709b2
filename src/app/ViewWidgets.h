// The widgets of the image area: the view Image1 and the ROI frame ShapeRoi.
//
// Common rules of this module:
//  - The widgets hold no state of the workflow. They paint what they are
//    given and hand every mouse event to the main window through callbacks,
//    in their own coordinates.
//  - The view converts the 24-bit picture to a QImage only when its version
//    changes, so repaints (scrolling, the frame moving over it) cost nothing.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "Global.h"

namespace obra {

// One mouse event as the window's handlers take it.
struct ViewMouse {
  Qt::MouseButton Button = Qt::NoButton;    // the button that changed (press, release)
  Qt::MouseButtons Buttons = Qt::NoButton;  // the buttons held
  int32_t X = 0, Y = 0;                     // in the widget's coordinates
  int32_t WheelSteps = 0;                   // whole wheel notches, away from the user > 0
};

// Callbacks shared by both widgets.
struct ViewCallbacks {
  std::function<void(const ViewMouse&)> Down, Move, Up;
  std::function<void(const ViewMouse&)> DoubleClick;  // left button only
  std::function<void(const ViewMouse&)> Wheel;        // once per whole notch
  std::function<void()> Leave;                        // the pointer left the widget
};

// A widget that hands its mouse events to callbacks, with mouse tracking on.
class TMouseWidget : public QWidget {
 public:
  explicit TMouseWidget(QWidget* Parent);
  ViewCallbacks Callbacks;

 protected:
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;
  void wheelEvent(QWheelEvent* Event) override;
  void leaveEvent(QEvent* Event) override;

 private:
  int32_t WheelAngle_ = 0;  // eighths of a degree not yet turned into notches
};

// The view: paints the rendered picture at its natural size.
class TImageView : public TMouseWidget {
 public:
  explicit TImageView(QWidget* Parent);
  // Shows Picture when Version differs from the one shown; resizes to it.
  void SetPicture(const Picture24& Picture, uint64_t Version);
  // The picture as shown (for tests and the screenshot).
  const QImage& Shown() const { return Image_; }

 protected:
  void paintEvent(QPaintEvent* Event) override;

 private:
  QImage Image_;
  uint64_t Version_ = ~uint64_t{0};
};

// The ROI frame: an outline in its colour, transparent inside, over the view.
class TShapeRoi : public TMouseWidget {
 public:
  using TMouseWidget::TMouseWidget;
  void SetColor(Rgb Color);
  Rgb Color() const { return Color_; }

 protected:
  void paintEvent(QPaintEvent* Event) override;

 private:
  Rgb Color_ = ClLime;
};

}  // namespace obra
