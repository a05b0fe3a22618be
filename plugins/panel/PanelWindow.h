// What the four panels share: a top-level dialog without owner, laid out in
// dialog units, with the picture in its top-left corner and its own key of
// the store. Closing it (the close box, Escape, "&Terminate" or the
// application) saves first and then marks it closed; the object stays.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <optional>
#include <string>

#include "plugins/panel/PanelKey.h"

class QLabel;

namespace veltra {

class PanelWindow : public QDialog {
  Q_OBJECT

 public:
  PanelWindow(const std::string& branch, const std::string& keyName, const char* title, int widthUnits,
              int heightUnits);

  // Open: created and not closed since.
  bool IsOpen() const { return !closed_; }

  // The maker's line: where product information is found.
  static QString WebSiteLine();

 protected:
  QRect DialogUnits(int x, int y, int width, int height) const;
  // Places the window at the stored corner when both values are present,
  // else at fallback.
  void PlaceAt(std::optional<int32_t> left, std::optional<int32_t> top, QPoint fallback);
  QRect Screen() const;
  QLabel* AddPicture(int x, int y);
  QLabel* AddText(const QString& text, int x, int y, int width, int height);

  virtual void Save() = 0;

  void closeEvent(QCloseEvent* event) override;
  void reject() override;

  PanelKey key_;

 private:
  bool closed_ = false;
};

}  // namespace veltra
