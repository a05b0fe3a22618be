#include "plugins/graph/GraphWindow.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "platform/Ui.h"
#include "plugins/graph/DefaultPlacement.h"
#include "plugins/graph/GraphPropertiesDialog.h"
#include "plugins/graph/TraceFile.h"
#include "plugins/graph/VideoFilter.h"

namespace veltra {

GraphWindow::GraphWindow(const std::string& branch, const std::string& settingsName, QWidget* parent)
    : PlotWindow(parent), settingsKey_(branch, settingsName) {
  // A top-level window of its own, even with a parent; closing it never ends
  // the program that shows it.
  setWindowFlags(Qt::Window);
  setAttribute(Qt::WA_QuitOnClose, false);
  settingsKey_.Load(settings_, properties_);
  SetColorMap(settings_.colorMap);
  SetVideoFilter(settings_.filter);

  PixelRect place;
  if (settings_.windowRect) {
    place = *settings_.windowRect;
  } else {
    QSize desktop(1024, 768);
    if (QScreen* screen = QGuiApplication::primaryScreen()) desktop = screen->geometry().size();
    place = DefaultPlacement::Next(desktop.width(), desktop.height());
  }
  move(place.left, place.top);
  resize(std::max(place.Width(), 1), std::max(place.Height(), 1));
  RefreshCaption();
}

GraphWindow::~GraphWindow() {
  Destroy();
}

void GraphWindow::Destroy() {
  if (!exists_) return;
  exists_ = false;
  // The place is kept as the frame's position and the window's own size, so
  // that the window opens next time exactly as it was, decorations or not.
  const QPoint position = pos();
  settings_.windowRect =
      PixelRect{position.x(), position.y(), position.x() + width(), position.y() + height()};
  settings_.colorMap = ColorMapNumber();
  settings_.filter = VideoFilter();
  settingsKey_.Save(settings_, properties_);
  hide();
}

void GraphWindow::closeEvent(QCloseEvent* event) {
  Destroy();
  event->accept();
}

void GraphWindow::RefreshCaption() {
  setWindowTitle(QString::fromStdString(properties_.Text(GraphProperty::Title)));
}

void GraphWindow::Show(const double* data, long long size) {
  if (!exists_) return;
  data_ = data;
  dataSize_ = data ? std::max(size, 0LL) : 0;
  RequestTraceRedraw();
}

void GraphWindow::DetachData(const double* data) {
  if (data_ != data) return;
  data_ = nullptr;
  dataSize_ = 0;
}

void GraphWindow::SetXTitle(const std::string& title, const std::string& unit) {
  properties_.SetGiven(GraphProperty::XTitle, title);
  properties_.SetGiven(GraphProperty::XUnit, unit);
}

void GraphWindow::SetYTitle(const std::string& title, const std::string& unit) {
  properties_.SetGiven(GraphProperty::YTitle, title);
  properties_.SetGiven(GraphProperty::YUnit, unit);
}

void GraphWindow::SetAxisRangesPhis(int first, int count, double physicalMinimum, double physicalSize) {
  first_ = first;
  count_ = count;
  properties_.SetGiven(GraphProperty::PhysMin, physicalMinimum);
  properties_.SetGiven(GraphProperty::PhysSize, physicalSize);
  if (exists_) update();
}

void GraphWindow::SetAxisRangesUser(double xMinimum, double xSize, double yMinimum, double ySize) {
  properties_.SetGiven(GraphProperty::XMin, xMinimum);
  properties_.SetGiven(GraphProperty::XSize, xSize);
  properties_.SetGiven(GraphProperty::YMin, yMinimum);
  properties_.SetGiven(GraphProperty::YSize, ySize);
  if (exists_) update();
}

void GraphWindow::SetGraphTile(const std::string& title) {
  if (!exists_) return;
  properties_.SetGiven(GraphProperty::Title, title);
  RefreshCaption();
}

TracePoints GraphWindow::PrepareData() {
  if (!data_) return {};
  // Only the data set's own points are copied, however large count is.
  const long long n = std::clamp(static_cast<long long>(count_), 0LL, dataSize_);
  if (static_cast<long long>(working_.size()) < n) working_.resize(n);
  std::copy_n(data_, n, working_.data());
  workingSize_ = n;
  if (VideoFilter() && n > 8) ApplyVideoFilter(working_.data(), static_cast<int>(n));
  return PreparedPoints();
}

TracePoints GraphWindow::PreparedPoints() const {
  return {working_.data(), workingSize_, first_, std::max(count_, 0)};
}

bool GraphWindow::DataRange(double& minimum, double& maximum) const {
  const long long n = std::clamp(static_cast<long long>(count_), 0LL, dataSize_);
  if (!data_ || n == 0) return false;
  const auto [low, high] = std::minmax_element(data_, data_ + n);
  minimum = *low;
  maximum = *high;
  return true;
}

bool GraphWindow::SaveToFile(const std::string& path) {
  settings_.saveFile = path;
  if (TraceFile::Write(path, working_.data(), workingSize_)) return true;
  Ui::MessageBox(reinterpret_cast<WindowHandle>(static_cast<QWidget*>(this)), "Could not create the file",
                 "Error", MessageIcon::Information);
  return false;
}

void GraphWindow::OpenProperties() {
  GraphPropertiesDialog dialog(*this);
  dialog.exec();
  // Either button: what the boxes and "&Auto" changed shows now.
  RefreshCaption();
  update();
}

void GraphWindow::Command(int command) {
  if (command == kCommandSaveToFile) {
    const QString path =
        QFileDialog::getSaveFileName(this, QString(), QString::fromStdString(settings_.saveFile),
                                     QStringLiteral("Data (*.txt);;All files (*)"));
    if (!path.isEmpty()) SaveToFile(path.toStdString());
    return;
  }
  if (command == kCommandGraphProperties) {
    OpenProperties();
    return;
  }
  PlotWindow::Command(command);
}

}  // namespace veltra
