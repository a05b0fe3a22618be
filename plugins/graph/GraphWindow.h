// One graph window: the titles, units, ranges and data set of a graph, its
// locks and persisted settings, on top of the generic plot. The window is
// used from the thread that made it (the GUI thread); the data array it
// shows is read when the window paints, so whoever owns the array keeps it
// alive and unchanged until the next Show, or detaches it.
#pragma once

#include <string>
#include <vector>

#include "plugins/graph/GraphProperties.h"
#include "plugins/graph/GraphSettingsKey.h"
#include "plugins/graph/PlotWindow.h"

namespace veltra {

class GraphWindow : public PlotWindow {
  Q_OBJECT

 public:
  // branch: "Plexa_301" for the graph cluster, "Plexa_300" for the combined
  // plug-in; settingsName: the key of this graph's stored settings.
  GraphWindow(const std::string& branch, const std::string& settingsName, QWidget* parent = nullptr);
  ~GraphWindow() override;

  // A new data set of `size` doubles (the window draws only what lies
  // inside it); redraws only the trace, unless the display is frozen.
  void Show(const double* data, long long size);
  // The array goes away: the window stops reading it (a repaint then draws
  // no trace until the next Show).
  void DetachData(const double* data);
  void SetXTitle(const std::string& title, const std::string& unit);
  void SetYTitle(const std::string& title, const std::string& unit);
  void SetAxisRangesPhis(int first, int count, double physicalMinimum, double physicalSize);
  void SetAxisRangesUser(double xMinimum, double xSize, double yMinimum, double ySize);
  void SetGraphTile(const std::string& title);

  // False once the window was closed (by the user or by Destroy); the
  // operations above then change nothing visible.
  bool Exists() const { return exists_; }
  // Saves the settings and closes the window; the object stays until its
  // owner deletes it.
  void Destroy();

  GraphProperties& Properties() { return properties_; }
  const GraphProperties& Properties() const { return properties_; }
  // The caption becomes the effective graph title.
  void RefreshCaption();

  const double* Data() const { return data_; }
  long long DataSize() const { return dataSize_; }
  int First() const { return first_; }
  int Count() const { return count_; }
  // Lowest and highest of the data set's count points (from its start);
  // false without a data set.
  bool DataRange(double& minimum, double& maximum) const;
  // The points last prepared for drawing (after the video filter).
  const double* Working() const { return working_.data(); }
  long long WorkingSize() const { return workingSize_; }

  const std::string& SettingsPath() const { return settingsKey_.Path(); }
  const std::string& LastSaveFile() const { return settings_.saveFile; }
  // Writes the working buffer to path ("%f\n\r" per point) and keeps path as
  // the last file name; a box tells when the file cannot be created.
  bool SaveToFile(const std::string& path);

  // Opens "Graph properties" modally.
  void OpenProperties();
  void Command(int command) override;

 protected:
  double XMinimum() const override { return properties_.Number(GraphProperty::XMin); }
  double XSize() const override { return properties_.Number(GraphProperty::XSize); }
  double YMinimum() const override { return properties_.Number(GraphProperty::YMin); }
  double YSize() const override { return properties_.Number(GraphProperty::YSize); }
  double PhysicalMinimum() const override { return properties_.Number(GraphProperty::PhysMin); }
  double PhysicalSize() const override { return properties_.Number(GraphProperty::PhysSize); }
  std::string XTitle() const override { return properties_.Text(GraphProperty::XTitle); }
  std::string XUnit() const override { return properties_.Text(GraphProperty::XUnit); }
  std::string YTitle() const override { return properties_.Text(GraphProperty::YTitle); }
  std::string YUnit() const override { return properties_.Text(GraphProperty::YUnit); }
  TracePoints PrepareData() override;
  TracePoints PreparedPoints() const override;

  void closeEvent(QCloseEvent* event) override;

 private:
  GraphSettingsKey settingsKey_;
  GraphSettings settings_;
  GraphProperties properties_;
  bool exists_ = true;

  const double* data_ = nullptr;
  long long dataSize_ = 0;
  int first_ = 0;
  int count_ = 1024;
  // Grown on demand, never shrunk: no allocation per data set.
  std::vector<double> working_;
  long long workingSize_ = 0;
};

}  // namespace veltra
