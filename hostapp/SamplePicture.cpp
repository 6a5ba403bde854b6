#include "SamplePicture.h"

#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "HostApplication.h"

bool WriteSamplePicture(const std::string& path, std::string& error) {
  EnsureHostApplication();  // fonts come with the application
  QImage picture(480, 320, QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  // A rounded card in a warm gradient, a sun rising over two hills, a name.
  QLinearGradient sky(0, 0, 0, 320);
  sky.setColorAt(0, QColor(255, 196, 64));
  sky.setColorAt(1, QColor(232, 72, 96));
  QPainterPath card;
  card.addRoundedRect(QRectF(8, 8, 464, 304), 36, 36);
  p.fillPath(card, sky);
  QRadialGradient sun(240, 190, 90);
  sun.setColorAt(0, QColor(255, 255, 220));
  sun.setColorAt(1, QColor(255, 230, 120, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(sun);
  p.drawEllipse(QPointF(240, 190), 90, 90);
  p.setClipPath(card);
  p.setBrush(QColor(40, 90, 120));
  p.drawEllipse(QPointF(110, 330), 200, 110);
  p.setBrush(QColor(30, 60, 90));
  p.drawEllipse(QPointF(400, 340), 190, 100);
  p.setClipping(false);
  QFont font;
  font.setPixelSize(64);
  font.setBold(true);
  p.setFont(font);
  p.setPen(QColor(255, 255, 255));
  p.drawText(QRectF(8, 24, 464, 80), Qt::AlignCenter, "Quorvel");
  p.end();
  if (!picture.save(QString::fromStdString(path), "PNG")) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}
