// How vornk-host and vornk-sim fail: the line main writes, and the SetupError of each thing they
// open before a run.
#include "tools/setup_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "tests/support/failure_of.h"
#include "tests/support/temp_work_dir.h"
#include "tools/history_file.h"
#include "tools/module_loader.h"
#include "tools/point_values.h"
#include "tools/settings_file.h"
#include "tools/text_output.h"

using namespace vk::test;

using namespace vk::tools;

// What main writes for a failure: the program, for a command-line mistake also the command and
// the pointer to --help.
TEST(CommandLine, FailureLines) {
  const std::pair<SetupError, std::string> cases[] = {
      {SetupError("cannot open x"), "prog: cannot open x"},
      {SetupError("bad values", 2), "prog: bad values"},
      {SetupError::commandLine("", "unknown option '-x'"),
       "prog: unknown option '-x' (see prog --help)"},
      {SetupError::commandLine("decode", "decode needs a history FILE"),
       "prog decode: decode needs a history FILE (see prog --help)"},
  };
  for (const auto& [error, line] : cases) EXPECT_EQ(error.line("prog"), line);
  EXPECT_EQ(SetupError("x").exitStatus(), 1);
  EXPECT_EQ(SetupError::commandLine("decode", "x").exitStatus(), 2);
}

TEST(CommandLine, ForeignExceptionsBecomeSetupErrors) {
  EXPECT_EQ(failureOf([] { orSetupError("opening: ", [] { throw std::runtime_error("busy"); }); }),
            "1: opening: busy");
  EXPECT_EQ(failureOf([] { orSetupError("opening: ", [] { throw 5; }); }),
            "1: opening: unknown error");
  // Its own failures pass unchanged.
  EXPECT_EQ(failureOf([] { orSetupError("opening: ", [] { throw SetupError("no file", 2); }); }),
            "2: no file");
  EXPECT_EQ(orSetupError("opening: ", [] { return 7; }), 7);
}

// What the tools open before a run fails with a SetupError naming the file and the reason.
TEST(HostSetup, FailuresNameWhatFailed) {
  const TempWorkDir scratch(TempWorkDir::kEnterOnRequest);
  const std::string folder = scratch.path().string();
  const std::string absent = folder + "/absent/file";
  const std::string noPoints = folder + "/no_points.json", array = folder + "/array.json";
  scratch.write("no_points.json", R"({"values": []})");
  scratch.write("array.json", "[]");
  const std::string notFound = std::strerror(ENOENT);

  const std::pair<std::string, std::string> cases[] = {
      {failureOf([&] { HistoryFile history(absent); }),
       "1: cannot open " + absent + ": " + notFound},
      {failureOf([&] { TextOutput output(absent); }),
       "1: cannot open output file '" + absent + "': " + notFound},
      {failureOf([&] { loadSettingsFile(absent); }),
       "1: cannot read settings file '" + absent + "': " + notFound},
      // The simulator's values file belongs to its command line: status 2.
      {failureOf([&] { loadPointValues(absent); }),
       "2: cannot read values file '" + absent + "': " + notFound},
      {failureOf([&] { loadPointValues(array); }),
       "2: values file '" + array + "': values must be a JSON object"},
      {failureOf([&] { loadPointValues(noPoints); }),
       "2: values file '" + noPoints +
           "': the values are not a JSON object with a \"points\" array"},
  };
  for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
  EXPECT_EQ(failureOf([&] {
              LoadedModule module(absent);
            }).rfind("1: cannot load module '" + absent + "': ", 0),
            0u);
}
