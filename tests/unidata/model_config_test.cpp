// The configuration-file mode: where the model's file is looked for, how its AI and ALARM
// entries are read, and what reader errors and missing sections leave behind: earlier entries stay
// when the file is refused.
#include "unidata/model_config.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "tests/support/exposed_vornk.h"
#include "tests/support/rounds.h"
#include "tests/support/temp_work_dir.h"

using namespace vk::test;

namespace {

const char* const kCandidates[] = {
    "ini/12.yaml",        "ini/12.ini",        "ini/vornk.yaml",        "ini/vornk.ini",
    "ini/dederi/12.yaml", "ini/dederi/12.ini", "ini/dederi/vornk.yaml", "ini/dederi/vornk.ini",
};

// Runs the generic settings operation, which must throw Error; returns the error's text and
// keeps the printed lines.
template <typename Error>
std::string failedImport(ExposedVornk& device, std::vector<std::string>* lines = nullptr) {
  std::string text = "no error";
  const auto printed = capturedLines([&] {
    try {
      device.genericInitSetting(Json::Value());
    } catch (const Error& error) {
      text = error.what();
    }
  });
  if (lines != nullptr) *lines = printed;
  return text;
}

class ModelConfig : public testing::Test {
 protected:
  ModelConfig() { rig.device->dataId_ = 12; }

  // Runs the device's settings operation in the configuration-file mode; returns its lines.
  std::vector<std::string> import() {
    return capturedLines([&] { rig.device->genericInitSetting(Json::Value(Json::objectValue)); });
  }

  TempWorkDir folder;
  Rig rig;
};

// A file the INI reader or the section lookup refuses, and the error text it gives.
struct BadConfigFile {
  const char* name;
  const char* text;
  const char* error;
};

class MalformedConfigFile : public ModelConfig, public testing::WithParamInterface<BadConfigFile> {
 protected:
  MalformedConfigFile() {
    rig.device->aiSignalMap_["kept"] = {"K01", "kept signal"};
    rig.device->alarmSignalIdMap_["kept"] = "B01";
  }
};

}  // namespace

TEST(ModelConfigSearch, TakesTheFirstExistingCandidateInOrder) {
  for (std::size_t first = 0; first < std::size(kCandidates); ++first) {
    TempWorkDir folder;
    for (std::size_t i = first; i < std::size(kCandidates); ++i) folder.write(kCandidates[i], "");
    EXPECT_EQ(vk::unidata::findModelConfig(12, "vornk"), std::string("./") + kCandidates[first]);
  }
}

TEST(ModelConfigValues, AiSplitsAtTheFirstCommaAlarmIsCutThere) {
  EXPECT_EQ(vk::unidata::splitAiValue("abc"),
            std::make_pair(std::string("abc"), std::string("abc")));
  EXPECT_EQ(vk::unidata::splitAiValue("a,b,c"),
            std::make_pair(std::string("a"), std::string("b,c")));
  EXPECT_EQ(vk::unidata::splitAiValue(",x"), std::make_pair(std::string(), std::string("x")));
  EXPECT_EQ(vk::unidata::splitAiValue(""), std::make_pair(std::string(), std::string()));
  EXPECT_EQ(vk::unidata::alarmIdOf(""), "");
  EXPECT_EQ(vk::unidata::alarmIdOf("7,8"), "7");
  EXPECT_EQ(vk::unidata::alarmIdOf("B02"), "B02");
}

TEST_F(ModelConfig, LoadsTheTypeNamedFileAndPrintsItsLines) {
  folder.write("ini/vornk.ini", "[AI]\nt1=A01,Supply air\n[ALARM]\na1=B02,door\n");
  EXPECT_EQ(import(), (std::vector<std::string>{"parse ini/yaml filename:./ini/vornk.ini",
                                                "alarmSignalIdMap_ a1 : B02", "AI 12",
                                                "first:t1 second:A01 name:Supply air"}));
  EXPECT_EQ(rig.device->alarmSignalIdMap_, (vk::unidata::AlarmIdMap{{"a1", "B02"}}));
  EXPECT_EQ(rig.host->names(), std::vector<std::string>{"InitSetting"});
}

TEST_F(ModelConfig, NoCandidateLoadsNothingAndStillCallsTheHost) {
  EXPECT_EQ(import(), (std::vector<std::string>{"data_id:12 model:vornk b ini not found",
                                                "parse ini/yaml filename:"}));
  EXPECT_TRUE(rig.device->aiSignalMap_.empty());
  EXPECT_EQ(rig.host->names(), std::vector<std::string>{"InitSetting"});
}

TEST_F(ModelConfig, AYamlFileEndsTheSearchUnreadAndDumpsTheCurrentMap) {
  rig.device->aiSignalMap_["old"] = {"O1", "old signal"};
  folder.write("ini/12.yaml", "not: [read");
  folder.write("ini/12.ini", "[AI]\nt1=A01\n[ALARM]\na1=B02\n");
  EXPECT_EQ(import(), (std::vector<std::string>{"parse ini/yaml filename:./ini/12.yaml", "AI 12",
                                                "first:old second:O1 name:old signal"}));
  EXPECT_EQ(rig.device->aiSignalMap_.size(), 1u);
  EXPECT_EQ(rig.host->names(), std::vector<std::string>{"InitSetting"});
}

TEST_F(ModelConfig, ReadsTheLastCandidateAndTheFileSyntax) {
  folder.write("ini/dederi/vornk.ini",
               "; comment\n# comment\n\ntop=outside any section\n"
               "[ AI ]\n  abc = abc  \nsplit=a,b,c\nlead=,x\nsemi=v;w#z\nmore=a=b\r\n"
               "[Other]\nk=v\n"
               "[ALARM]\nempty=\ntwo=7,8\n");
  const auto lines = import();
  EXPECT_EQ(lines.front(), "parse ini/yaml filename:./ini/dederi/vornk.ini");
  EXPECT_EQ(rig.device->aiSignalMap_, (vk::unidata::AiSignalMap{{"abc", {"abc", "abc"}},
                                                                {"lead", {"", "x"}},
                                                                {"more", {"a=b", "a=b"}},
                                                                {"semi", {"v;w#z", "v;w#z"}},
                                                                {"split", {"a", "b,c"}}}));
  EXPECT_EQ(rig.device->alarmSignalIdMap_, (vk::unidata::AlarmIdMap{{"empty", ""}, {"two", "7"}}));
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 3),
            (std::vector<std::string>{"alarmSignalIdMap_ empty : ", "alarmSignalIdMap_ two : 7"}));
}

// A missing or empty ALARM section leaves after the AI entries are stored; no dump, no host call.
TEST_F(ModelConfig, AMissingAlarmSectionThrowsAfterTheAiEntries) {
  for (const char* alarm : {"", "[ALARM]\n", "[ALARM]\n[Next]\nk=v\n"}) {
    TempWorkDir inner;
    Rig fresh;
    fresh.device->dataId_ = 12;
    inner.write("ini/vornk.ini", std::string("[AI]\nt1=A01,x\n") + alarm);
    std::vector<std::string> lines;
    EXPECT_EQ(failedImport<boost::property_tree::ptree_bad_path>(*fresh.device, &lines),
              "No such node (ALARM)");
    EXPECT_EQ(lines, std::vector<std::string>{"parse ini/yaml filename:./ini/vornk.ini"});
    EXPECT_EQ(fresh.device->aiSignalMap_.size(), 1u);
    EXPECT_TRUE(fresh.host->names().empty());
  }
}

TEST_F(ModelConfig, AnAiHeaderWithoutEntriesCountsAsMissing) {
  folder.write("ini/vornk.ini", "[AI]\n[ALARM]\na1=B02\n");
  EXPECT_EQ(failedImport<boost::property_tree::ptree_bad_path>(*rig.device), "No such node (AI)");
  EXPECT_TRUE(rig.device->aiSignalMap_.empty());
  EXPECT_TRUE(rig.device->alarmSignalIdMap_.empty());
}

// Every error the reader reports leaves InitSetting before any entry is stored.
TEST_F(ModelConfig, ReaderErrorsLeaveTheMapsUntouched) {
  const std::pair<const char*, const char*> bad[] = {
      {"[AI]\nno equals sign\n", "'=' character not found in line"},
      {"[AI\nt1=A01\n", "unmatched '['"},
      {"[AI]\nt1=A01\nt1=A02\n[ALARM]\na=b\n", "duplicate key name"},
      {"[AI]\n=A01\n", "key expected"},
      {"[AI]\nt1=A01\n[AI]\nt2=A02\n", "duplicate section name"},
  };
  for (const auto& [text, message] : bad) {
    folder.write("ini/vornk.ini", text);
    const std::string error = failedImport<boost::property_tree::ini_parser_error>(*rig.device);
    EXPECT_NE(error.find(message), std::string::npos) << error;
    EXPECT_NE(error.find("./ini/vornk.ini"), std::string::npos) << error;
    EXPECT_TRUE(rig.device->aiSignalMap_.empty()) << text;
  }
  // A folder of the candidate's name is selected, and reading it fails.
  std::filesystem::remove(folder.path() / "ini/vornk.ini");
  std::filesystem::create_directories(folder.path() / "ini/vornk.ini");
  EXPECT_NE(failedImport<boost::property_tree::ini_parser_error>(*rig.device), "no error");
  EXPECT_TRUE(rig.host->names().empty());
}

TEST_F(ModelConfig, ASecondImportKeepsKeysTheNewFileLacks) {
  folder.write("ini/12.ini", "[AI]\nt1=A01,one\nt2=A02,two\n[ALARM]\na1=B01\n");
  import();
  folder.write("ini/12.ini", "[AI]\nt2=A22,two again\nt3=A03,three\n[ALARM]\na2=B02\n");
  const auto lines = import();
  EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
            (std::vector<std::string>{"AI 12", "first:t1 second:A01 name:one",
                                      "first:t2 second:A22 name:two again",
                                      "first:t3 second:A03 name:three"}));
  EXPECT_EQ(rig.device->alarmSignalIdMap_, (vk::unidata::AlarmIdMap{{"a1", "B01"}, {"a2", "B02"}}));
}

// The error leaves InitSetting as the reader's exception, before the host's InitSetting and
// before any entry is stored; what an earlier import stored stays.
TEST_P(MalformedConfigFile, LeavesAsTheReadersErrorKeepingEarlierEntries) {
  folder.write("ini/vornk.ini", GetParam().text);
  std::string error = "no error";
  capturedLines([&] {
    try {
      rig.device->genericInitSetting(Json::Value(Json::objectValue));
    } catch (const boost::property_tree::ptree_error& thrown) {
      error = thrown.what();
    }
  });
  EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
  EXPECT_EQ(rig.device->aiSignalMap_, (vk::unidata::AiSignalMap{{"kept", {"K01", "kept signal"}}}));
  EXPECT_EQ(rig.device->alarmSignalIdMap_, (vk::unidata::AlarmIdMap{{"kept", "B01"}}));
  EXPECT_TRUE(rig.host->names().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, MalformedConfigFile,
    testing::Values(BadConfigFile{"Empty", "", "No such node (AI)"},
                    BadConfigFile{"OnlyComments", "; nothing\n# here\n", "No such node (AI)"},
                    BadConfigFile{"NoAiSection", "[ALARM]\na1=B02\n", "No such node (AI)"},
                    BadConfigFile{"SectionNamesAreCaseSensitive", "[ai]\nt1=A01\n[alarm]\na=b\n",
                                  "No such node (AI)"},
                    BadConfigFile{"BinaryBytes", "\x01\x02\xff\n",
                                  "'=' character not found in line"},
                    BadConfigFile{"EmptySectionNameIsNoAi", "[]\nt1=A01\n", "No such node (AI)"},
                    BadConfigFile{"BlankKey", "[AI]\n   = A01\n", "key expected"}),
    [](const testing::TestParamInfo<BadConfigFile>& info) { return info.param.name; });
