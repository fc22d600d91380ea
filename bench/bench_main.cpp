// The main of the benchmark programs: the report goes to the original standard output, the
// module's lines to the null device.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <ext/stdio_filebuf.h>
#include <iostream>
#include <stdexcept>

namespace {

// Points file descriptor 1 at the null device and returns a stream on the original standard
// output, for the benchmark's own report.
std::ostream& silenceStandardOutput() {
  std::cout.flush();
  std::fflush(stdout);
  const int original = ::dup(STDOUT_FILENO);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (original < 0 || null < 0 || ::dup2(null, STDOUT_FILENO) < 0) {
    throw std::runtime_error("cannot send standard output to /dev/null");
  }
  ::close(null);
  static __gnu_cxx::stdio_filebuf<char> buffer(original, std::ios::out);
  static std::ostream report(&buffer);
  return report;
}

int runBenchmarks(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  std::ostream& report = silenceStandardOutput();
  benchmark::ConsoleReporter console(benchmark::ConsoleReporter::OO_Tabular);
  console.SetOutputStream(&report);
  console.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&console);
  benchmark::Shutdown();
  report.flush();
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return runBenchmarks(argc, argv); }
