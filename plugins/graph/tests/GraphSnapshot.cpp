// Opens a graph window off screen, feeds it a spectrum and writes what it
// shows to PNG files, for looking at the picture by eye:
//   graph_snapshot OUTPUT_DIRECTORY
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "plugins/graph/GraphPropertiesDialog.h"
#include "plugins/graph/GraphWindow.h"

using veltra::GraphWindow;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: graph_snapshot OUTPUT_DIRECTORY\n");
    return 2;
  }
  const std::string out = argv[1];
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // A scratch settings store: the pictures never touch the user's settings.
  const std::string config = (std::filesystem::temp_directory_path() / "veltra-graph-snapshot").string();
  std::filesystem::remove_all(config);
  std::filesystem::create_directories(config);
  setenv("VELTRA_CONFIG_DIR", config.c_str(), 1);
  QApplication app(argc, argv);

  std::vector<double> spectrum(1024);
  for (int k = 0; k < 1024; ++k) {
    const double f = k * 22050.0 / 1024;
    spectrum[k] = -70 + 8 * std::sin(k * 0.37) * std::cos(k * 0.11) +
                  55 * std::exp(-std::pow((f - 5000) / 300, 2)) +
                  30 * std::exp(-std::pow((f - 12000) / 800, 2));
  }

  GraphWindow window("Plexa_301", "snapshot", nullptr);
  window.resize(640, 480);
  window.SetGraphTile("Spectrum");
  window.SetXTitle("Frequency", "[Hz]");
  window.SetYTitle("Amplitude", "[dB]");
  window.SetAxisRangesPhis(0, 1024, -80, 80);
  window.SetAxisRangesUser(0, 22050, -80, 80);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  window.Show(spectrum.data(), 1024);
  QApplication::processEvents();
  window.grab().save(QString::fromStdString(out + "/live.png"));

  window.SetCursorsShown(true);
  QApplication::processEvents();
  window.grab().save(QString::fromStdString(out + "/cursors.png"));

  {
    // The left cursor dragged past the right one: both at one value.
    const veltra::PixelRect p = window.Layout().plot;
    const int y = p.top + p.Height() / 6;
    const int left = p.left + p.Width() / 3;
    QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, QPoint(left, y));
    QTest::mouseMove(&window, QPoint(p.right - 60, y));
    QTest::mouseRelease(&window, Qt::LeftButton, Qt::NoModifier, QPoint(p.right - 60, y));
    QApplication::processEvents();
    window.grab().save(QString::fromStdString(out + "/pushed.png"));
  }

  window.SetCursorsShown(false);
  window.SetColorMap(0);
  window.SetVideoFilter(true);
  window.Show(spectrum.data(), 1024);
  QApplication::processEvents();
  window.grab().save(QString::fromStdString(out + "/blackwhite.png"));

  {
    veltra::GraphPropertiesDialog dialog(window);
    dialog.LockBox(veltra::GraphProperty::XTitle)->click();
    dialog.LockBox(veltra::GraphProperty::PhysMin)->click();
    dialog.grab().save(QString::fromStdString(out + "/dialog.png"));
  }

  window.resize(300, 120);
  QApplication::processEvents();
  window.grab().save(QString::fromStdString(out + "/small.png"));
  window.Destroy();
  std::filesystem::remove_all(config);
  return 0;
}
