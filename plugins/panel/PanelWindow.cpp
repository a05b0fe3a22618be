#include "plugins/panel/PanelWindow.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace veltra {
namespace {

// The library's picture: a signal rising out of a blue tile, drawn once.
QPixmap Picture(int side) {
  QPixmap picture(side, side);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1f, 0x4e, 0x8c));
  painter.drawRoundedRect(QRectF(0, 0, side, side), side / 6.0, side / 6.0);
  QPainterPath wave;
  const double mid = side * 0.55;
  wave.moveTo(side * 0.12, mid);
  for (int i = 1; i <= 40; ++i) {
    const double t = i / 40.0;
    const double x = side * (0.12 + 0.76 * t);
    const double y = mid - side * 0.3 * t * std::sin(t * 6.0 * 3.14159265);
    wave.lineTo(x, y);
  }
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(0xf2, 0xb1, 0x34), std::max(1.5, side / 14.0), Qt::SolidLine, Qt::RoundCap));
  painter.drawPath(wave);
  painter.setPen(QPen(QColor(255, 255, 255, 180), std::max(1.0, side / 28.0)));
  painter.drawLine(QPointF(side * 0.12, side * 0.85), QPointF(side * 0.88, side * 0.85));
  return picture;
}

}  // namespace

PanelWindow::PanelWindow(const std::string& branch, const std::string& keyName, const char* title,
                         int widthUnits, int heightUnits)
    : QDialog(nullptr), key_(branch, keyName) {
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QString::fromLatin1(title));
  setFixedSize(DialogUnits(0, 0, widthUnits, heightUnits).size());
}

QString PanelWindow::WebSiteLine() {
  return QStringLiteral("For product information visit www.orv-limited.example");
}

QRect PanelWindow::DialogUnits(int x, int y, int width, int height) const {
  // A dialog unit is a quarter of the average letter width across and an
  // eighth of the text height down.
  const QFontMetrics metrics(font());
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int cx = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
  const int cy = metrics.height();
  return QRect(x * cx / 4, y * cy / 8, width * cx / 4, height * cy / 8);
}

QRect PanelWindow::Screen() const {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry() : QRect(0, 0, 800, 600);
}

void PanelWindow::PlaceAt(std::optional<int32_t> left, std::optional<int32_t> top, QPoint fallback) {
  move(left && top ? QPoint(*left, *top) : fallback);
}

QLabel* PanelWindow::AddPicture(int x, int y) {
  auto* label = new QLabel(this);
  label->setObjectName(QStringLiteral("picture"));
  const QRect place = DialogUnits(x, y, 21, 20);
  label->setGeometry(place);
  label->setPixmap(Picture(std::min(place.width(), place.height())));
  return label;
}

QLabel* PanelWindow::AddText(const QString& text, int x, int y, int width, int height) {
  auto* label = new QLabel(text, this);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(DialogUnits(x, y, width, height));
  return label;
}

void PanelWindow::closeEvent(QCloseEvent* event) {
  if (!closed_) {
    Save();
    closed_ = true;
  }
  // Not the dialog's own handler: it would reject, which closes again.
  event->accept();
}

void PanelWindow::reject() {
  // Escape closes the window as its close box does, saving first.
  close();
}

}  // namespace veltra
