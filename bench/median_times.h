// What the benchmark programs keep of their runs to print, at the end, ratios against the
// reference measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

// Keeps the CPU time per iteration of each benchmark by name: the median of its repetitions
// when the run asks for some, else its one run. `scale(run)` turns a run's time into the unit
// the caller keeps. On a shared machine the CPU time is the steadier figure.
template <class Scale>
void keepMedianCpuTimes(const std::vector<benchmark::BenchmarkReporter::Run>& runs,
                        std::map<std::string, double>& times, Scale scale) {
  using Run = benchmark::BenchmarkReporter::Run;
  for (const Run& r : runs) {
    if (r.error_occurred) continue;
    const std::string name = r.run_name.str();
    const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
    if ((r.run_type == Run::RT_Iteration && !times.count(name)) || median)
      times[name] = r.GetAdjustedCPUTime() * scale(r);
  }
}

// The same in each benchmark's own time unit.
inline void keepMedianCpuTimes(const std::vector<benchmark::BenchmarkReporter::Run>& runs,
                               std::map<std::string, double>& times) {
  keepMedianCpuTimes(runs, times, [](const benchmark::BenchmarkReporter::Run&) { return 1.0; });
}

// The least of a benchmark's repetitions, as a statistic (`->ComputeStatistics("min", bestOf)`):
// on a machine shared with others a slow round is mostly someone else's work, so the best round
// says more of the code than the median when the two disagree.
inline double bestOf(const std::vector<double>& v) {
  double best = v.empty() ? 0.0 : v.front();
  for (double x : v) best = x < best ? x : best;
  return best;
}

// The CPU time per iteration of the best repetition of each benchmark that computes "min".
inline void keepBestCpuTimes(const std::vector<benchmark::BenchmarkReporter::Run>& runs,
                             std::map<std::string, double>& times) {
  using Run = benchmark::BenchmarkReporter::Run;
  for (const Run& r : runs)
    if (!r.error_occurred && r.run_type == Run::RT_Aggregate && r.aggregate_name == "min")
      times[r.run_name.str()] = r.GetAdjustedCPUTime();
}

}  // namespace bench
