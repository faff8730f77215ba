#include "library/signal_image.h"

#include <QPaintEvent>

namespace kavro {

SignalImage::SignalImage(int width, int height, QWidget* parent)
    : QWidget(parent), image_(width, height, QImage::Format_RGB32) {
  image_.fill(Qt::white);
  setFixedSize(width, height);
}

SignalImage::~SignalImage() = default;

void SignalImage::BeginBatch() { batch_ = true; }

void SignalImage::EndBatch() {
  batch_ = false;
  Release();
}

QPainter& SignalImage::Painter() {
  if (!painter_) {
    painter_ = std::make_unique<QPainter>(&image_);
    painter_->setPen(QPen(Qt::black, 1));
    painter_->setRenderHint(QPainter::Antialiasing, false);
  }
  return *painter_;
}

void SignalImage::Release() {
  if (batch_ || !painter_) return;
  painter_.reset();
  update();
}

void SignalImage::FillRect(int left, int top, int right, int bottom, Rgb colour) {
  Painter().fillRect(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)),
                     QColor::fromRgb(colour));
  Release();
}

void SignalImage::MoveTo(int x, int y) { pen_ = QPoint(x, y); }

void SignalImage::LineTo(int x, int y) {
  const QPoint to(x, y);
  Painter().drawLine(pen_, to);
  pen_ = to;
  Release();
}

void SignalImage::paintEvent(QPaintEvent* event) {
  // Painting the image while a batch still draws into it would show half a trace.
  if (painter_) return;
  QPainter painter(this);
  painter.drawImage(event->rect().topLeft(), image_, event->rect());
}

}  // namespace kavro
