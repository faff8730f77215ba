#include "library/signal_image.h"

#include <QPaintEvent>

namespace kavro {
namespace {

constexpr int kLabelPixels = 10;
const QColor kLabelColour(0x30, 0x60, 0xB0);

}  // namespace

SignalImage::SignalImage(int width, int height, QWidget* parent)
    : QWidget(parent), image_(width, height, QImage::Format_RGB32) {
  image_.fill(Qt::white);
  setFixedSize(width, height);
}

SignalImage::~SignalImage() = default;

void SignalImage::Resize(int width, int height) {
  painter_.reset();
  image_ = QImage(width, height, QImage::Format_RGB32);
  image_.fill(Qt::white);
  setFixedSize(width, height);
  update();
}

void SignalImage::UnderlayText(const QRect& area, const QString& text) {
  const QRect clip = area.intersected(image_.rect());
  if (clip.isEmpty() || text.isEmpty()) return;
  // The pixels are read back below: nothing may still be pending in a painter.
  painter_.reset();
  QImage glyphs(clip.size(), QImage::Format_ARGB32_Premultiplied);
  glyphs.fill(Qt::transparent);
  {
    QPainter painter(&glyphs);
    QFont small = font();
    small.setPixelSize(kLabelPixels);
    painter.setFont(small);
    painter.setPen(kLabelColour);
    painter.drawText(glyphs.rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
  }
  for (int y = 0; y < glyphs.height(); ++y) {
    const auto* from = reinterpret_cast<const QRgb*>(glyphs.constScanLine(y));
    auto* to = reinterpret_cast<QRgb*>(image_.scanLine(clip.top() + y)) + clip.left();
    for (int x = 0; x < glyphs.width(); ++x) {
      const QRgb g = from[x];
      if (qAlpha(g) == 0 || (to[x] & 0xFFFFFF) != 0xFFFFFF) continue;
      // Premultiplied glyph over white.
      const int rest = 255 - qAlpha(g);
      to[x] = qRgb(qRed(g) + rest, qGreen(g) + rest, qBlue(g) + rest);
    }
  }
  update();
}

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
