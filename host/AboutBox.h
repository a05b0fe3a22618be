// The About box: the program's versions, the engine's and that of the
// driver of the link in use.
#pragma once

#include <QDialog>

class QLabel;

namespace veltra {

class LinkManager;

class AboutBox final : public QDialog {
  Q_OBJECT

 public:
  // engineMajor/engineMinor as the engine reported them; linkManager may be
  // null (no server yet).
  AboutBox(QWidget* parent, int engineMajor, int engineMinor, LinkManager* linkManager);

  QString EngineVersionText() const;
  QString DriverText() const;

 private:
  QLabel* engineVersion_;
  QLabel* driver_;
};

}  // namespace veltra
