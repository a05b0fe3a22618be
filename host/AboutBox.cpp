#include "host/AboutBox.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

#include "veltra/Link.h"
#include "veltra/LinkManager.h"

namespace veltra {

AboutBox::AboutBox(QWidget* parent, int engineMajor, int engineMinor, LinkManager* linkManager)
    : QDialog(parent) {
  setWindowTitle("About Orv Veltra");
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* icon = new QLabel(this);
  icon->setPixmap(QApplication::style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
  top->addWidget(icon, 0, Qt::AlignTop);
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel("Orv Veltra Windows Server", this), 0, 0, 1, 2);
  grid->addWidget(new QLabel("Windows Server ", this), 1, 0);
  grid->addWidget(new QLabel("V2.22", this), 1, 1);
  grid->addWidget(new QLabel("Server Library:", this), 2, 0, 1, 2);
  grid->addWidget(new QLabel("Orvcore.dll version", this), 3, 0);
  engineVersion_ = new QLabel("<unknown>", this);
  engineVersion_->setTextFormat(Qt::PlainText);
  engineVersion_->setObjectName("1060");
  grid->addWidget(engineVersion_, 3, 1);
  grid->addWidget(new QLabel("DSP Board Interface:", this), 4, 0);
  driver_ = new QLabel("no information available", this);
  driver_->setTextFormat(Qt::PlainText);
  driver_->setObjectName("1061");
  grid->addWidget(driver_, 4, 1);
  grid->addWidget(new QLabel("Configurer version", this), 5, 0);
  auto* configurer = new QLabel("V11.2, December 2005", this);
  configurer->setObjectName("1091");
  grid->addWidget(configurer, 5, 1);
  grid->addWidget(new QLabel("Orv Veltra V3.1.1 March 2006", this), 6, 0, 1, 2);
  grid->addWidget(new QLabel("Copyright (c) Orv. All rights reserved.", this), 7, 0, 1, 2);
  top->addLayout(grid);
  layout->addLayout(top);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);

  if (engineMajor != 0 || engineMinor != 0)
    engineVersion_->setText(QString::asprintf("V%d.%d", engineMajor, engineMinor));
  else
    engineVersion_->setText("unknown version");
  if (Link* link = linkManager ? linkManager->CurrentLink() : nullptr) {
    char name[128] = {};
    int major = 0;
    int minor = 0;
    link->DriverVersion(name, &major, &minor);
    // The driver fills a fixed buffer; it need not end it.
    name[sizeof name - 1] = '\0';
    if (major != 0 || minor != 0)
      driver_->setText(QString::asprintf("%s V%d.%d", name, major, minor));
    else
      driver_->setText(QString::asprintf("%s: unknown driver version", name));
  }
}

QString AboutBox::EngineVersionText() const {
  return engineVersion_->text();
}

QString AboutBox::DriverText() const {
  return driver_->text();
}

}  // namespace veltra
