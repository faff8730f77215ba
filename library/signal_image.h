// The drawing area of the signal view: a white image the size of the widget, painted on with a
// black one-pixel pen and shown as it is.
#pragma once

#include <QImage>
#include <QPainter>
#include <QWidget>

#include <memory>

#include "library/draw_surface.h"

namespace kavro {

class SignalImage : public QWidget, public DrawSurface {
  Q_OBJECT

 public:
  SignalImage(int width, int height, QWidget* parent = nullptr);
  ~SignalImage() override;

  // Keeps one painter open between the two calls, so a whole draw costs one painter; calls
  // outside a batch open their own.
  void BeginBatch();
  void EndBatch();

  const QImage& Image() const { return image_; }

  // A fresh white image of the new size; what was drawn must be drawn again.
  void Resize(int width, int height);

  // Writes `text` small at the top left of `area`, only on pixels still white, so that every
  // line drawn before stays exactly as it was.
  void UnderlayText(const QRect& area, const QString& text);

  int ClientWidth() const override { return image_.width(); }
  int ClientHeight() const override { return image_.height(); }
  void FillRect(int left, int top, int right, int bottom, Rgb colour) override;
  void MoveTo(int x, int y) override;
  void LineTo(int x, int y) override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPainter& Painter();
  void Release();

  QImage image_;
  std::unique_ptr<QPainter> painter_;
  bool batch_ = false;
  QPoint pen_;
};

}  // namespace kavro
