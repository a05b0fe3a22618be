// veltra-plot: plots numbers in a graph window through Spectrel's graph
// library interface, as any program outside the server can.
//
//   veltra-plot [OPTIONS] [FILE]      (no FILE or "-": standard input)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "plugins/spectrel/plot/NumberReader.h"

namespace veltra {
namespace {

const char kUsage[] =
    "Usage: veltra-plot [OPTIONS] [FILE]\n"
    "Shows the numbers of FILE (standard input without FILE or with \"-\") in a graph window.\n"
    "Numbers are separated by white space, as in the files a graph saves.\n"
    "\n"
    "  -n, --count N        N points per data set; each complete set is shown as it arrives\n"
    "                       (without it: everything read is one data set)\n"
    "      --title TEXT     the graph title (the window's caption)\n"
    "      --x-title TEXT   --x-unit TEXT   --y-title TEXT   --y-unit TEXT\n"
    "      --x-range MIN:MAX   the X axis (default: 0 to the number of points)\n"
    "      --y-range MIN:MAX   the Y axis (default: the first data set's lowest to highest)\n"
    "      --name NAME      the settings name of the window (default veltra-plot)\n"
    "  -f, --follow         keep reading a file that grows, or a pipe, until closed\n"
    "      --png FILE       draw the last data set off screen into FILE and end (no display needed)\n"
    "      --size WxH       the window's size for --png (default 640x480)\n"
    "  -h, --help           show this text\n";

struct Options {
  std::string input = "-";
  std::size_t count = 0;
  std::string name = "veltra-plot";
  std::optional<std::string> title, xTitle, xUnit, yTitle, yUnit;
  std::optional<std::pair<double, double>> xRange, yRange;
  bool follow = false;
  std::optional<std::string> png;
  int width = 640, height = 480;
};

bool ParseRange(const std::string& text, std::pair<double, double>& range) {
  char* end = nullptr;
  range.first = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != ':') return false;
  const char* second = end + 1;
  range.second = std::strtod(second, &end);
  return end != second && *end == '\0' && range.second != range.first;
}

// Empty on success, else the complaint.
std::string Parse(int argc, char** argv, Options& options, bool& help) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool haveInput = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::string value;
    bool inlineValue = false;
    if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
      value = arg.substr(arg.find('=') + 1);
      arg = arg.substr(0, arg.find('='));
      inlineValue = true;
    }
    auto take = [&]() -> bool {
      if (inlineValue) return true;
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    if (arg == "-h" || arg == "--help") {
      help = true;
    } else if (arg == "-f" || arg == "--follow") {
      options.follow = true;
    } else if (arg == "-n" || arg == "--count") {
      char* end = nullptr;
      if (!take()) return arg + " needs a number";
      long count = std::strtol(value.c_str(), &end, 10);
      if (*end || count <= 0 || count > (1 << 24)) return arg + " needs a number from 1 to 16777216";
      options.count = static_cast<std::size_t>(count);
    } else if (arg == "--title" || arg == "--x-title" || arg == "--x-unit" || arg == "--y-title" ||
               arg == "--y-unit" || arg == "--name" || arg == "--png") {
      if (!take()) return arg + " needs a text";
      if (arg == "--title") options.title = value;
      if (arg == "--x-title") options.xTitle = value;
      if (arg == "--x-unit") options.xUnit = value;
      if (arg == "--y-title") options.yTitle = value;
      if (arg == "--y-unit") options.yUnit = value;
      if (arg == "--name") options.name = value;
      if (arg == "--png") options.png = value;
    } else if (arg == "--x-range" || arg == "--y-range") {
      std::pair<double, double> range;
      if (!take() || !ParseRange(value, range)) return arg + " needs MIN:MAX with MIN other than MAX";
      (arg == "--x-range" ? options.xRange : options.yRange) = range;
    } else if (arg == "--size") {
      if (!take() || std::sscanf(value.c_str(), "%dx%d", &options.width, &options.height) != 2 ||
          options.width < 50 || options.height < 50 || options.width > 8192 || options.height > 8192)
        return "--size needs WIDTHxHEIGHT, each from 50 to 8192";
    } else if (arg.size() > 1 && arg[0] == '-') {
      return "unknown option " + arg;
    } else if (!haveInput) {
      options.input = arg;
      haveInput = true;
    } else {
      return "only one input file";
    }
  }
  // A picture is drawn once the input has ended, which a followed file never does.
  if (options.follow && options.png) return "--follow and --png do not go together";
  return "";
}

// The library interface, looked up by name as an outside program does.
struct Spectrel {
  void* (*OpenLib)(const char*) = nullptr;
  void (*CloseLib)(void*) = nullptr;
  int (*Show)(void*, const double*) = nullptr;
  int (*SetXTitle)(void*, const char*, const char*) = nullptr;
  int (*SetYTitle)(void*, const char*, const char*) = nullptr;
  int (*SetAxisRangesPhis)(void*, int, int, double, double) = nullptr;
  int (*SetAxisRangesUser)(void*, double, double, double, double) = nullptr;
  int (*SetGraphTile)(void*, const char*) = nullptr;

  bool Bind(const DynamicLibrary& library) {
    OpenLib = library.Function<decltype(OpenLib)>("OpenLib");
    CloseLib = library.Function<decltype(CloseLib)>("CloseLib");
    Show = library.Function<decltype(Show)>("Show");
    SetXTitle = library.Function<decltype(SetXTitle)>("SetXTitle");
    SetYTitle = library.Function<decltype(SetYTitle)>("SetYTitle");
    SetAxisRangesPhis = library.Function<decltype(SetAxisRangesPhis)>("SetAxisRangesPhis");
    SetAxisRangesUser = library.Function<decltype(SetAxisRangesUser)>("SetAxisRangesUser");
    SetGraphTile = library.Function<decltype(SetGraphTile)>("SetGraphTile");
    return OpenLib && CloseLib && Show && SetXTitle && SetYTitle && SetAxisRangesPhis && SetAxisRangesUser &&
           SetGraphTile;
  }
};

class Plotter {
 public:
  Plotter(const Options& options, const Spectrel& spectrel, void* window, int fd)
      : options_(options), spectrel_(spectrel), window_(window), fd_(fd), reader_(options.count) {}

  // Reads what is there; false once the input has ended for good.
  bool Poll() {
    char buffer[65536];
    for (;;) {
      ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n > 0) {
        reader_.Add(buffer, static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) break;
      if (n < 0) {
        std::fprintf(stderr, "veltra-plot: %s: %s\n", options_.input.c_str(), std::strerror(errno));
        ended_ = true;
      }
      // The end of the file: a growing file is read on, a pipe has ended.
      if (n == 0 && !(options_.follow && regularFile_)) ended_ = true;
      break;
    }
    if (ended_) reader_.Finish();
    while (reader_.HasSet()) ShowSet(reader_.TakeSet());
    return !ended_;
  }

  void SetRegularFile(bool regular) { regularFile_ = regular; }
  std::size_t SetsShown() const { return setsShown_; }
  std::size_t Rejected() const { return reader_.Rejected(); }

 private:
  void ShowSet(std::vector<double> set) {
    if (set.empty()) return;
    int points = static_cast<int>(set.size());
    if (setsShown_ == 0 || points != lastPoints_) {
      std::pair<double, double> x = options_.xRange.value_or(std::make_pair(0.0, double(points)));
      std::pair<double, double> y;
      if (options_.yRange) {
        y = *options_.yRange;
      } else {
        auto [low, high] = std::minmax_element(set.begin(), set.end());
        double margin = (*high - *low) * 0.05;
        if (margin == 0) margin = std::max(std::abs(*low) * 0.05, 1.0);
        y = {*low - margin, *high + margin};
      }
      // The values map onto the Y axis one to one.
      spectrel_.SetAxisRangesPhis(window_, 0, points, y.first, y.second - y.first);
      spectrel_.SetAxisRangesUser(window_, x.first, x.second - x.first, y.first, y.second - y.first);
      lastPoints_ = points;
    }
    // The window reads the shown array whenever it repaints: it is kept
    // until the next Show.
    shown_ = std::move(set);
    spectrel_.Show(window_, shown_.data());
    ++setsShown_;
  }

  const Options& options_;
  const Spectrel& spectrel_;
  void* window_;
  int fd_;
  NumberReader reader_;
  std::vector<double> shown_;
  std::size_t setsShown_ = 0;
  int lastPoints_ = 0;
  bool regularFile_ = false;
  bool ended_ = false;
};

QWidget* GraphWidget() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->inherits("veltra::GraphWindow")) return widget;
  return nullptr;
}

int Main(int argc, char** argv) {
  Options options;
  bool help = false;
  std::string problem = Parse(argc, argv, options, help);
  if (!problem.empty()) {
    std::fprintf(stderr, "veltra-plot: %s\nTry 'veltra-plot --help'.\n", problem.c_str());
    return 2;
  }
  if (help) {
    std::fputs(kUsage, stdout);
    return 0;
  }

  int fd = STDIN_FILENO;
  if (options.input != "-") {
    fd = open(options.input.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      std::fprintf(stderr, "veltra-plot: %s: %s\n", options.input.c_str(), std::strerror(errno));
      return 1;
    }
  }
  struct stat info {};
  bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);

  if (options.png) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);

  DynamicLibrary library;
  Spectrel spectrel;
  if (!library.Load("Spectrel.dll") || !spectrel.Bind(library)) {
    std::fprintf(stderr, "veltra-plot: cannot use %s: %s\n", DynamicLibrary::FileName("Spectrel.dll").c_str(),
                 library.IsLoaded() ? "it lacks the graph library interface" : library.Error().c_str());
    return 1;
  }
  // The library stays for the life of the process, as its windows do.
  library.Detach();

  void* window = spectrel.OpenLib(options.name.c_str());
  if (options.title) spectrel.SetGraphTile(window, options.title->c_str());
  if (options.xTitle || options.xUnit)
    spectrel.SetXTitle(window, options.xTitle.value_or("Frequency").c_str(),
                       options.xUnit.value_or("").c_str());
  if (options.yTitle || options.yUnit)
    spectrel.SetYTitle(window, options.yTitle.value_or("Amplitude").c_str(),
                       options.yUnit.value_or("").c_str());
  QWidget* widget = GraphWidget();

  Plotter plotter(options, spectrel, window, fd);
  plotter.SetRegularFile(regular);

  if (options.png) {
    if (widget) widget->resize(options.width, options.height);
    while (plotter.Poll()) usleep(10000);
    if (plotter.SetsShown() == 0) {
      std::fprintf(stderr, "veltra-plot: no numbers to plot\n");
      return 1;
    }
    QApplication::processEvents();
    if (!widget || !widget->grab().save(QString::fromStdString(*options.png), "PNG")) {
      std::fprintf(stderr, "veltra-plot: cannot write %s\n", options.png->c_str());
      return 1;
    }
    spectrel.CloseLib(window);
    return 0;
  }

  QTimer timer;
  bool reading = true;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (reading) reading = plotter.Poll();
    // Closing the graph ends the program.
    if (!widget || !widget->isVisible()) app.quit();
  });
  timer.start(20);
  int status = app.exec();
  spectrel.CloseLib(window);
  if (plotter.Rejected())
    std::fprintf(stderr, "veltra-plot: %zu words were not numbers\n", plotter.Rejected());
  return status;
}

}  // namespace
}  // namespace veltra

int main(int argc, char** argv) {
  return veltra::Main(argc, argv);
}
