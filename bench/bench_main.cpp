// Runs every registered row, then prints per archive (or per buffer) how this library's output
// speed compares with each peer row of the same prefix: "<prefix>: urar x.xx times <peer>".
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      auto it = run.counters.find("bytes_per_second");
      if (it == run.counters.end()) continue;
      std::string name = run.benchmark_name();
      // Drop the run options Google Benchmark appends ("/min_time:0.300", "/real_time").
      for (size_t option; (option = name.rfind('/')) != std::string::npos &&
                          (name.compare(option + 1, 9, "min_time:") == 0 ||
                           name.compare(option + 1, 9, "real_time") == 0);)
        name.resize(option);
      size_t cut = name.rfind('/');
      speeds_[name.substr(0, cut)][name.substr(cut + 1)] = it->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    printf("\n%-70s %10s  %s\n", "rows", "MB/s", "this library against each other row");
    for (const auto& [prefix, rows] : speeds_) {
      auto ours = rows.find("urar");
      if (ours == rows.end()) continue;
      printf("%-70s %10.1f ", prefix.c_str(), ours->second / 1e6);
      for (const auto& [who, speed] : rows)
        if (who != "urar")
          printf(" %.2fx %s (%.1f MB/s)", ours->second / speed, who.c_str(), speed / 1e6);
      printf("\n");
    }
  }

 private:
  std::map<std::string, std::map<std::string, double>> speeds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
