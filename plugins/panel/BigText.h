// A label that paints its own text large: a bold font of a given character
// height and width, top left, on the dialog's background, black when enabled
// and in the palette's grey text when disabled. It paints through an
// off-screen pixmap that is redrawn only when the text, the state or the size
// changes, so a stream of texts does not flicker.
#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

namespace veltra {

class BigText : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString text READ Text)

 public:
  explicit BigText(QWidget* parent = nullptr, int height = 50, int width = 20);

  void SetText(const QString& text);
  const QString& Text() const { return text_; }
  QFont TextFont() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Render();

  QString text_;
  int height_, width_;
  QPixmap buffer_;
  bool stale_ = true;
};

}  // namespace veltra
