// The host services of vornk-host: the round count that ends a run, a failed write, the history.
#include "tools/printing_services.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "tests/support/exposed_vornk.h"
#include "tests/support/temp_work_dir.h"
#include "tools/history_file.h"

using namespace vk::test;

using namespace vk::tools;

TEST(HostRounds, StopIsAskedOnceWhenTheLastRoundIsStored) {
  std::string shown;
  int stops = 0;
  PrintingServices services(
      [&](std::string_view text) {
        shown += text;
        return 0;
      },
      "test", 2, [&] { ++stops; });
  ExposedVornk device;
  const Bytes record(kRecordSize, 0);
  for (int round = 0; round < 3; ++round) {
    services.SendSP(device, vk::device::kVornkDataId, record.data(), kRecordSize, false);
    services.SaveDeviceHistory(device, record.data(), kRecordSize);
  }
  EXPECT_EQ(stops, 1);
  EXPECT_TRUE(services.limitReached());
  EXPECT_EQ(services.storedRounds(), 3u);
  EXPECT_EQ(shown.rfind("round 1 data-id 0 ", 0), 0u);  // rounds count from 1
  EXPECT_NE(shown.find("\nround 3 data-id 0 "), std::string::npos);
}

TEST(HostRounds, AFailedWriteStopsTheRun) {
  int stops = 0;
  PrintingServices services([](std::string_view) { return ENOSPC; }, "out.txt", 0,
                            [&] { ++stops; });
  ExposedVornk device;
  const Bytes record(kRecordSize, 0);
  EXPECT_EQ(services.SendSP(device, vk::device::kVornkDataId, record.data(), kRecordSize, false),
            0);
  EXPECT_EQ(stops, 1);
  EXPECT_NE(services.writeError().find("out.txt"), std::string::npos);
  EXPECT_NE(services.writeError().find(std::strerror(ENOSPC)), std::string::npos);
}

TEST(HostRounds, HistoryGetsEveryStoredRecord) {
  const TempWorkDir scratch(TempWorkDir::kEnterOnRequest);
  const std::string path = (scratch.path() / "history").string();
  auto history = std::make_shared<HistoryFile>(path);
  PrintingServices services([](std::string_view) { return 0; }, "test", 0, nullptr, nullptr,
                            history);
  ExposedVornk device;
  Bytes record(kRecordSize, 0);
  for (unsigned char id = 1; id <= 2; ++id) {
    record[0] = id;
    EXPECT_TRUE(services.SaveDeviceHistory(device, record.data(), kRecordSize));
  }
  // A later run appends to the file it finds.
  record[0] = 3;
  EXPECT_EQ(HistoryFile(path).append(record.data(), kRecordSize), 0);
  std::ifstream in(path, std::ios::binary);
  const std::string stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(stored.size(), 3 * kRecordSize);
  EXPECT_EQ(stored[0], 1);
  EXPECT_EQ(stored[kRecordSize], 2);
  EXPECT_EQ(stored[2 * kRecordSize], 3);
}
