#include "bench/SummaryReporter.h"

#include <cmath>

namespace veltra::bench {

namespace {

enum class Kind {
  kRatio,    // server against raw, higher is better: ratio >= target
  kStartup,  // milliseconds a run adds, lower is better: extra <= target
  kSpeedup,  // full buffering against none, server side: >= target
  kValue,    // a value of the server alone, at most target
};

struct Row {
  const char* benchmark;  // without the placement
  const char* figure;
  const char* unit;
  Kind kind;
  double target;
  const char* value = nullptr;  // kValue: its counter,
  const char* per = nullptr;    // divided by this one when given
};

const Row kRows[] = {
    {"roundtrip/echo", "round trip: core echo, empty string", "req/s", Kind::kRatio, 0.8},
    {"roundtrip/time", "round trip: Basalt time", "req/s", Kind::kRatio, 0.8},
    {"bulk/write", "bulk: Basalt write 4096 B to a file", "MB/s", Kind::kRatio, 0.9},
    {"bulk/source", "bulk: core source 4096 B", "MB/s", Kind::kRatio, 0.9},
    {"bulk/append", "bulk: graph AppendData 8272 B, veltra-run", "MB/s", Kind::kRatio, 0.9},
    {"console/lines", "console: unbuffered lines via veltra-run", "lines/s", Kind::kRatio, 0.8},
    {"console/full", "console: fully buffered lines", "lines/s", Kind::kRatio, 0.8},
    {"console/full", "console: full buffering over unbuffered", "x", Kind::kSpeedup, 10},
    {"startup/empty", "start-up: veltra-run over the bare app", "ms", Kind::kStartup, 2},
    {"steady/echo", "steady state: allocations per request", "", Kind::kValue, 0, "allocations", "requests"},
    {"steady/echo", "steady state: resident growth", "kB", Kind::kValue, 0, "growth_kb"},
};

const char* const kPlacements[] = {"free", "pinned"};

enum class Verdict { kMet, kNoise, kMissed };

// Met when both estimates meet the target; missed only when the whole 95%
// interval lies on the wrong side of it, so that what noise alone explains
// never fails the run.
Verdict Judge(bool higherIsBetter, double target, double estimate, double other, double low, double high) {
  auto ok = [&](double x) { return higherIsBetter ? x >= target : x <= target; };
  if (ok(estimate) && ok(other)) return Verdict::kMet;
  if (!ok(low) && !ok(high)) return Verdict::kMissed;
  return Verdict::kNoise;
}

const char* VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::kMet:
      return "met";
    case Verdict::kNoise:
      return "noise";
    default:
      return "MISSED";
  }
}

}  // namespace

bool SummaryReporter::ReportContext(const Context&) {
  return true;
}

void SummaryReporter::ReportRuns(const std::vector<Run>& runs) {
  for (const Run& run : runs) {
    Result& result = results_[run.run_name.function_name];
    result.failed = run.error_occurred;
    result.error = run.error_message;
    for (const auto& [name, counter] : run.counters) result.counters[name] = counter.value;
    if (run.error_occurred)
      std::fprintf(stderr, "  %-22s failed: %s\n", run.run_name.function_name.c_str(),
                   run.error_message.c_str());
    else
      std::fprintf(stderr, "  %-22s done (%.1f s measured)\n", run.run_name.function_name.c_str(),
                   run.GetAdjustedRealTime());
  }
}

SummaryReporter::Outcome SummaryReporter::PrintTable(std::FILE* out, const std::string& heading) const {
  Outcome outcome;
  std::fprintf(out, "%s\n", heading.c_str());
  std::fprintf(out, "%-50s %-6s %9s %9s %7s  %-23s %-15s %7s  %-7s %s\n", "figure", "place", "server", "raw",
               "ratio", "pairs: median [95%]", "pairs: min-max", "target", "verdict",
               "host CPU us/request (server, raw)");
  for (const Row& row : kRows) {
    std::string figure = row.figure;
    if (*row.unit) figure += std::string(" (") + row.unit + ")";
    for (const char* placement : kPlacements) {
      bool single = row.kind == Kind::kValue;
      if (single && placement != kPlacements[0]) break;
      std::string name = single ? row.benchmark : std::string(row.benchmark) + "/" + placement;
      auto found = results_.find(name);
      if (found == results_.end()) continue;  // filtered out
      const Result& result = found->second;
      const char* place = single ? "-" : placement;
      if (result.failed) {
        ++outcome.missed;
        std::fprintf(out, "%-50s %-6s %9s %9s %7s  %-23s %-15s %7s  %-7s %s\n", figure.c_str(), place, "-",
                     "-", "-", "-", "-", "-", "-", ("not measured: " + result.error).c_str());
        continue;
      }
      auto counter = [&](const Result& from, const std::string& key) {
        auto it = from.counters.find(key);
        return it == from.counters.end() ? NAN : it->second;
      };
      auto get = [&](const std::string& key) { return counter(result, key); };
      char target[16];
      char pairs[64];
      char range[32];
      Verdict verdict = Verdict::kMet;
      switch (row.kind) {
        case Kind::kRatio: {
          double ofMedians = get("server") / get("raw");
          verdict = Judge(true, row.target, ofMedians, get("ratio"), get("ratio_low"), get("ratio_high"));
          std::snprintf(target, sizeof target, ">= %.2g", row.target);
          std::snprintf(pairs, sizeof pairs, "%.3f [%.3f, %.3f]", get("ratio"), get("ratio_low"),
                        get("ratio_high"));
          std::snprintf(range, sizeof range, "%.3f-%.3f", get("ratio_min"), get("ratio_max"));
          std::fprintf(out, "%-50s %-6s %9.0f %9.0f %7.3f  %-23s %-15s %7s  %-7s %.2f, %.2f\n",
                       figure.c_str(), place, get("server"), get("raw"), ofMedians, pairs, range, target,
                       VerdictName(verdict), get("server_cpu_us"), get("raw_cpu_us"));
          break;
        }
        case Kind::kStartup: {
          double ofMedians = get("server") - get("raw");
          verdict = Judge(false, row.target, ofMedians, get("extra"), get("extra_low"), get("extra_high"));
          std::snprintf(target, sizeof target, "<= %.3g", row.target);
          std::snprintf(pairs, sizeof pairs, "%+.2f [%+.2f, %+.2f]", get("extra"), get("extra_low"),
                        get("extra_high"));
          std::snprintf(range, sizeof range, "%+.1f..%+.1f", get("extra_min"), get("extra_max"));
          std::fprintf(out,
                       "%-50s %-6s %9.2f %9.2f %+7.2f  %-23s %-15s %7s  %-7s until the app began %+.2f, "
                       "after its work %+.2f; of it the libraries' process %.2f, the server's work %+.2f\n",
                       figure.c_str(), place, get("server"), get("raw"), ofMedians, pairs, range, target,
                       VerdictName(verdict), get("start_extra"), get("end_extra"), get("floor"), get("work"));
          break;
        }
        case Kind::kSpeedup: {
          // Against the unbuffered figure of the same placement.
          auto unbuffered = results_.find(std::string("console/lines/") + placement);
          if (unbuffered == results_.end() || unbuffered->second.failed) continue;
          double before = counter(unbuffered->second, "server");
          double speedup = get("server") / before;
          // The extremes of both sides bound it, with room to spare.
          double low = get("server_low") / counter(unbuffered->second, "server_high");
          double high = get("server_high") / counter(unbuffered->second, "server_low");
          verdict = Judge(true, row.target, speedup, speedup, low, high);
          std::snprintf(target, sizeof target, ">= %.3g", row.target);
          std::snprintf(pairs, sizeof pairs, "%.1f [%.1f, %.1f]", speedup, low, high);
          std::fprintf(out, "%-50s %-6s %9.0f %9.0f %7.1f  %-23s %-15s %7s  %-7s raw transport: %.1f\n",
                       figure.c_str(), place, get("server"), before, speedup, pairs, "-", target,
                       VerdictName(verdict), get("raw") / counter(unbuffered->second, "raw"));
          break;
        }
        case Kind::kValue: {
          double value = get(row.value);
          if (row.per) value /= get(row.per);
          verdict = value <= row.target ? Verdict::kMet : Verdict::kMissed;
          std::snprintf(target, sizeof target, "%.0f", row.target);
          char detail[128];
          if (row.per)
            std::snprintf(detail, sizeof detail, "%.0f in %.0f requests", get(row.value), get(row.per));
          else
            std::snprintf(detail, sizeof detail, "VmRSS %.0f kB after warm-up, %+.0f kB at the end",
                          get("resident_kb"), get("final_growth_kb"));
          std::fprintf(out, "%-50s %-6s %9.4g %9s %7s  %-23s %-15s %7s  %-7s %s\n", figure.c_str(), place,
                       value, "-", "-", "-", "-", target, VerdictName(verdict), detail);
          break;
        }
      }
      if (verdict == Verdict::kMissed) ++outcome.missed;
      if (verdict == Verdict::kNoise) ++outcome.noise;
    }
  }
  return outcome;
}

}  // namespace veltra::bench
