// Times vmtally against the cost of reading the maps file (cat) and against pmap, on
// targets with 1,000, 10,000 and 60,000 mappings, interleaving the runs. Prints the
// median wall time of each, the ratios, the growth with the number of regions, and
// vmtally's peak resident memory; and counts the allocations of whole surveys made in
// this process, to show that they do not grow with the number of regions.
//
//   survey_perftest VMTALLY BENCH_TARGET [RUNS]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "survey/walk.h"

namespace {

long allocations = 0;

}  // namespace

void* operator new(std::size_t size) {
  ++allocations;
  if (void* block = std::malloc(size == 0 ? 1 : size)) {
    return block;
  }
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}

namespace {

// The allocations one survey of pid makes, its report sent to /dev/null.
long AllocationsOfSurvey(pid_t pid) {
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, STDOUT_FILENO);
  const long before = allocations;
  vmtally::SurveyProcess(static_cast<std::uint32_t>(pid), 65536);
  const long made = allocations - before;
  dup2(saved, STDOUT_FILENO);
  close(null);
  close(saved);
  return made;
}

struct Target {
  long regions;
  pid_t pid;
  int input;
};

Target StartTarget(const char* program, long regions) {
  int input[2];
  int output[2];
  if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) {
    std::perror("pipe");
    std::exit(1);
  }
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(input[0], STDIN_FILENO);
    dup2(output[1], STDOUT_FILENO);
    const std::string count = std::to_string(regions);
    execl(program, program, count.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(input[0]);
  close(output[1]);
  std::string line;
  char c = 0;
  while (read(output[0], &c, 1) == 1 && c != '\n') {
    line += c;
  }
  if (line != std::to_string(pid) + " ready") {
    std::fprintf(stderr, "the bench target for %ld regions did not start\n", regions);
    std::exit(1);
  }
  close(output[0]);
  return {regions, pid, input[1]};
}

struct Sample {
  double seconds;
  long peakKiB;
};

// Runs a command with its output to /dev/null; its wall time and peak resident memory.
Sample Time(const std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (const std::string& word : words) {
    argv.push_back(const_cast<char*>(word.c_str()));
  }
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const auto end = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", words[0].c_str());
    std::exit(1);
  }
  return {std::chrono::duration<double>(end - start).count(), usage.ru_maxrss};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: survey_perftest VMTALLY BENCH_TARGET [RUNS]\n");
    return 2;
  }
  const std::string vmtally = argv[1];
  const int runs = argc > 3 ? std::atoi(argv[3]) : 9;

  std::vector<Target> targets;
  for (long regions : {1000L, 10000L, 60000L}) {
    targets.push_back(StartTarget(argv[2], regions));
  }

  struct Row {
    std::vector<double> vmtally, cat, pmap;
    long peakKiB = 0;
  };
  std::vector<Row> rows(targets.size());
  std::vector<double> startup;
  std::vector<double> catStartup;
  for (int run = 0; run < runs; ++run) {
    startup.push_back(Time({vmtally}).seconds);  // the banner and usage line: start-up alone
    catStartup.push_back(Time({"cat", "/dev/null"}).seconds);
    for (std::size_t t = 0; t < targets.size(); ++t) {
      const std::string pid = std::to_string(targets[t].pid);
      const Sample survey = Time({vmtally, pid, "65536"});
      rows[t].vmtally.push_back(survey.seconds);
      rows[t].peakKiB = std::max(rows[t].peakKiB, survey.peakKiB);
      rows[t].cat.push_back(Time({"cat", "/proc/" + pid + "/maps"}).seconds);
      rows[t].pmap.push_back(Time({"pmap", pid}).seconds);
    }
  }

  std::printf("%d runs each, interleaved; median wall time in milliseconds\n\n", runs);
  std::printf("%8s %10s %10s %10s %12s %13s %9s %7s\n", "regions", "vmtally", "cat", "pmap",
              "vmtally/cat", "vmtally/pmap", "peak KiB", "allocs");
  for (std::size_t t = 0; t < targets.size(); ++t) {
    const double v = Median(rows[t].vmtally);
    const double c = Median(rows[t].cat);
    const double p = Median(rows[t].pmap);
    std::printf("%8ld %10.2f %10.2f %10.2f %12.2f %13.2f %9ld %7ld\n", targets[t].regions, v * 1e3,
                c * 1e3, p * 1e3, v / c, v / p, rows[t].peakKiB,
                AllocationsOfSurvey(targets[t].pid));
  }
  // Growth from the first target to the last, as measured and less the start-up cost.
  const auto growth = [](const std::vector<double>& first, const std::vector<double>& last,
                         double base) {
    const double a = Median(first);
    const double b = Median(last);
    std::printf("%.1fx as measured, %.1fx less start-up", b / a,
                (b - base) / std::max(a - base, 1e-9));
  };
  std::printf(
      "\nstart-up alone: vmtally %.2f ms (banner and usage line), cat %.2f ms (/dev/null)\n",
      Median(startup) * 1e3, Median(catStartup) * 1e3);
  std::printf("growth from 1,000 to 60,000 regions: vmtally ");
  growth(rows.front().vmtally, rows.back().vmtally, Median(startup));
  std::printf("; cat ");
  growth(rows.front().cat, rows.back().cat, Median(catStartup));
  std::printf("\n");
  // Linear means that each further region costs the same, however many came before it.
  std::printf("cost of each further region: vmtally");
  for (std::size_t t = 1; t < targets.size(); ++t) {
    std::printf(" %.3f us (%ld to %ld)",
                (Median(rows[t].vmtally) - Median(rows[t - 1].vmtally)) * 1e6 /
                    static_cast<double>(targets[t].regions - targets[t - 1].regions),
                targets[t - 1].regions, targets[t].regions);
  }
  std::printf("\n");

  for (const Target& target : targets) {
    close(target.input);
    waitpid(target.pid, nullptr, 0);
  }
  return 0;
}
