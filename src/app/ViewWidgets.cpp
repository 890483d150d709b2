// The view and the ROI frame.
#include "ViewWidgets.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

namespace obra {

namespace {

ViewMouse ToViewMouse(const QMouseEvent* E) {
  ViewMouse M;
  M.Button = E->button();
  M.Buttons = E->buttons();
  const QPoint P = E->position().toPoint();
  M.X = P.x();
  M.Y = P.y();
  return M;
}

void Call(const std::function<void(const ViewMouse&)>& F, QMouseEvent* E) {
  if (F) F(ToViewMouse(E));
  E->accept();
}

}  // namespace

TMouseWidget::TMouseWidget(QWidget* Parent) : QWidget(Parent) { setMouseTracking(true); }

void TMouseWidget::mousePressEvent(QMouseEvent* E) { Call(Callbacks.Down, E); }
void TMouseWidget::mouseMoveEvent(QMouseEvent* E) { Call(Callbacks.Move, E); }
void TMouseWidget::mouseReleaseEvent(QMouseEvent* E) { Call(Callbacks.Up, E); }
void TMouseWidget::mouseDoubleClickEvent(QMouseEvent* E) {
  // Qt has already delivered the second press; only the left button
  // double-clicks, so two quick right-button drags of the frame stay drags.
  if (E->button() == Qt::LeftButton && Callbacks.DoubleClick) Callbacks.DoubleClick(ToViewMouse(E));
  E->accept();
}

void TMouseWidget::wheelEvent(QWheelEvent* E) {
  // Fine-grained wheels and touch pads send parts of a notch (120); they
  // add up to whole steps.
  WheelAngle_ += E->angleDelta().y();
  const int32_t Steps = WheelAngle_ / 120;
  WheelAngle_ -= Steps * 120;
  if (Steps != 0 && Callbacks.Wheel) {
    ViewMouse M;
    M.Buttons = E->buttons();
    const QPoint P = E->position().toPoint();
    M.X = P.x();
    M.Y = P.y();
    M.WheelSteps = Steps;
    Callbacks.Wheel(M);
  }
  E->accept();
}

void TMouseWidget::leaveEvent(QEvent* E) {
  if (Callbacks.Leave) Callbacks.Leave();
  QWidget::leaveEvent(E);
}

TImageView::TImageView(QWidget* Parent) : TMouseWidget(Parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TImageView::SetPicture(const Picture24& Picture, uint64_t Version) {
  if (Version == Version_) return;
  Version_ = Version;
  const bool Usable = Picture.Width > 0 && Picture.Height > 0 &&
                      Picture.Pixels.size() == size_t(Picture.Width) * size_t(Picture.Height) * 3;
  // The picture's buffer is reallocated by later renders, so the view keeps
  // its own copy.
  Image_ = Usable ? QImage(Picture.Pixels.data(), Picture.Width, Picture.Height,
                           qsizetype(Picture.Width) * 3, QImage::Format_BGR888)
                        .copy()
                  : QImage();
  const QSize S = Usable ? QSize(Picture.Width, Picture.Height) : QSize(0, 0);
  if (size() != S) resize(S);
  update();
}

void TImageView::paintEvent(QPaintEvent* Event) {
  QPainter P(this);
  if (!Image_.isNull()) P.drawImage(Event->rect().topLeft(), Image_, Event->rect());
}

void TShapeRoi::SetColor(Rgb Color) {
  if (Color == Color_) return;
  Color_ = Color;
  update();
}

void TShapeRoi::paintEvent(QPaintEvent*) {
  QPainter P(this);
  P.setPen(QPen(QColor(Color_.R, Color_.G, Color_.B), 1));
  P.setBrush(Qt::NoBrush);
  P.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace obra
