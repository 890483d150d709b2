// The image area of the main window: placement, scale, scrolling, readout,
// the ROI frame's mouse handling and the kernel profile graph.
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>

#include "Graph.h"
#include "IniFile.h"
#include "Unit1.h"
#include "ViewWidgets.h"

namespace obra {

void TForm1::ConnectView() {
  Image1->Callbacks.Down = [this](const ViewMouse& M) { Image1MouseDown(M); };
  Image1->Callbacks.Move = [this](const ViewMouse& M) { Image1MouseMove(M); };
  Image1->Callbacks.DoubleClick = [this](const ViewMouse& M) { Image1DblClick(M.X, M.Y); };
  Image1->Callbacks.Wheel = [this](const ViewMouse& M) {
    Image1MouseWheel(M.WheelSteps, M.X, M.Y);
  };
  Image1->Callbacks.Leave = [this] { Image1MouseLeave(); };
  ShapeRoi->Callbacks.Down = [this](const ViewMouse& M) { ShapeRoiMouseDown(M); };
  ShapeRoi->Callbacks.Move = [this](const ViewMouse& M) { ShapeRoiMouseMove(M); };
  ShapeRoi->Callbacks.Up = [this](const ViewMouse& M) { ShapeRoiMouseUp(M); };
  // The frame lies over the view: its double-clicks and wheel turns are the view's.
  ShapeRoi->Callbacks.DoubleClick = [this](const ViewMouse& M) {
    Image1DblClick(M.X + ShapeRoi->x() - Image1->x(), M.Y + ShapeRoi->y() - Image1->y());
  };
  ShapeRoi->Callbacks.Wheel = [this](const ViewMouse& M) {
    Image1MouseWheel(M.WheelSteps, M.X + ShapeRoi->x() - Image1->x(),
                     M.Y + ShapeRoi->y() - Image1->y());
  };
  ShapeRoi->Callbacks.Leave = [this] { Image1MouseLeave(); };
  for (QScrollBar* B : {ScrollBox1->horizontalScrollBar(), ScrollBox1->verticalScrollBar()})
    connect(B, &QScrollBar::valueChanged, this, [this] { StoreGeometry(); });
}

void TForm1::StoreGeometry() {
  Global.AreaWidth = ScrollBox1->width();
  Global.AreaHeight = ScrollBox1->height();
  Global.ClientWidth = ScrollBox1->viewport()->width();
  Global.ClientHeight = ScrollBox1->viewport()->height();
  Global.ScrollX = ScrollBox1->horizontalScrollBar()->value();
  Global.ScrollY = ScrollBox1->verticalScrollBar()->value();
}

void TForm1::FormResize() { Apply(&SetScrollBox); }

bool TForm1::eventFilter(QObject* Watched, QEvent* Event) {
  const bool Area = Watched == ScrollBox1->viewport() || Watched == ScrollContent;
  if (Watched == ScrollBox1->viewport() && Event->type() == QEvent::Resize) {
    // The viewport follows the window and the scroll bars; the view is
    // re-placed once its new size is known.
    QMetaObject::invokeMethod(this, &TForm1::FormResize, Qt::QueuedConnection);
  } else if (Area && Event->type() == QEvent::MouseButtonDblClick &&
             static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton) {
    ScrollBox1DblClick();
    return true;
  }
  return QMainWindow::eventFilter(Watched, Event);
}

void TForm1::SpeedButton1Click(int32_t Scale) {
  StoreGeometry();
  obra::SpeedButton1Click(Global, Scale);
  SyncFromState();
}

void TForm1::Image1DblClick(int32_t X, int32_t Y) {
  if (!Global.Image1Enabled) return;
  StoreGeometry();
  obra::Image1DblClick(Global, X, Y);
  SyncAndScroll();
}

void TForm1::Image1MouseWheel(int32_t Steps, int32_t X, int32_t Y) {
  if (!Global.Image1Enabled) return;
  StoreGeometry();
  obra::WheelScale(Global, Steps, X, Y);
  SyncAndScroll();
}

void TForm1::SyncAndScroll() {
  // Resizing the content moves the scroll bars (and so Global's copy of
  // them), so the wanted position is taken first and set once the ranges are
  // those of the new scale.
  const int32_t X = Global.ScrollX, Y = Global.ScrollY;
  SyncFromState();
  ScrollBox1->horizontalScrollBar()->setValue(X);
  ScrollBox1->verticalScrollBar()->setValue(Y);
  StoreGeometry();
}

void TForm1::Image1MouseLeave() {
  ClearReadout(Global);
  SyncStatusBar();
}

void TForm1::ScrollBox1DblClick() {
  if (!Global.Image1Enabled) return;
  if (KernelPlot(Global.Image1, *Global.Tables.KernelTable, Global.Config().KerSize))
    ++Global.Image1Version;
  SyncView();
}

void TForm1::Image1MouseDown(const ViewMouse& M) {
  AnchorX_ = M.X;
  AnchorY_ = M.Y;
}

void TForm1::Image1MouseMove(const ViewMouse& M) {
  if (M.Buttons & Qt::LeftButton) {
    // The picture moves with the scroll and the mouse stays over the same
    // sample, so the anchor stays where the button went down.
    QScrollBar* H = ScrollBox1->horizontalScrollBar();
    QScrollBar* V = ScrollBox1->verticalScrollBar();
    H->setValue(H->value() + AnchorX_ - M.X);
    V->setValue(V->value() + AnchorY_ - M.Y);
    StoreGeometry();
    return;
  }
  ReadPixel(Global, M.X, M.Y);
  SyncStatusBar();
}

// The frame passes every button but the right one to the view, in view coordinates.
namespace {
ViewMouse ToView(const ViewMouse& M, const QWidget* Frame, const QWidget* View) {
  ViewMouse V = M;
  V.X += Frame->x() - View->x();
  V.Y += Frame->y() - View->y();
  return V;
}
}  // namespace

void TForm1::ShapeRoiMouseDown(const ViewMouse& M) {
  if (M.Button != Qt::RightButton) {
    Image1MouseDown(ToView(M, ShapeRoi, Image1));
    return;
  }
  obra::ShapeRoiMouseDown(Global, true, M.X, M.Y);
  SyncFromState();
}

void TForm1::ShapeRoiMouseMove(const ViewMouse& M) {
  if (!(M.Buttons & Qt::RightButton)) {
    Image1MouseMove(ToView(M, ShapeRoi, Image1));
    return;
  }
  obra::ShapeRoiMouseMove(Global, true, M.X, M.Y);
  SyncFromState();
}

void TForm1::ShapeRoiMouseUp(const ViewMouse&) {
  if (!Global.RoiDragging) return;
  obra::ShapeRoiMouseUp(Global);
  SyncFromState();
}

void TForm1::SyncView() {
  const SharedState& S = Global;
  Image1->SetPicture(S.Image1, S.Image1Version);
  Image1->move(S.Image1Left, S.Image1Top);
  Image1->setVisible(S.Image1Visible);
  Image1->setEnabled(S.Image1Enabled);
  const QSize Content = S.Image1Visible
                            ? QSize(S.Image1Left + Image1->width(), S.Image1Top + Image1->height())
                            : QSize(0, 0);
  if (ScrollContent->size() != Content) ScrollContent->resize(Content);

  const QRect Frame(S.ShapeRoiLeft, S.ShapeRoiTop, S.ShapeRoiWidth, S.ShapeRoiHeight);
  if (ShapeRoi->geometry() != Frame) ShapeRoi->setGeometry(Frame);
  ShapeRoi->SetColor(S.ShapeRoiColor);
  ShapeRoi->setEnabled(S.Image1Enabled);
  ShapeRoi->setVisible(S.ShapeRoiVisible && S.Image1Visible);
  ShapeRoi->raise();
  for (QLabel* L : StartLabels) L->setVisible(S.StartLabelsVisible);
}

}  // namespace obra
