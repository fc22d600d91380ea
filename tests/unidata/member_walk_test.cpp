// Member lookup in JSON objects: findMember's notion of a present member, and MemberWalk's one
// walk along an object's members, which must follow the object's own key order.
#include "unidata/member_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "unidata/settings_text.h"

using namespace std::string_literals;

namespace {

// An object whose members hold their own key as text.
Json::Value objectWithKeys(const std::vector<std::string>& keys) {
  Json::Value object(Json::objectValue);
  for (const std::string& key : keys) object[key] = key;
  return object;
}

}  // namespace

TEST(MemberWalk, FindsExactlyThePresentKeysAskedInAscendingOrder) {
  const std::string longKey(40, 'k');  // beyond std::string's small buffer
  const struct {
    const char* what;
    std::vector<std::string> keys;   // the object's
    std::vector<std::string> asked;  // in ascending order
  } cases[] = {
      {"the empty key", {"", "a"}, {"", "a"}},
      {"common prefixes", {"ab", "abc", "abd"}, {"a", "ab", "abc", "abcd", "abd", "abe"}},
      {"a miss does not pass the next member", {"a", "c"}, {"b", "c"}},
      {"bytes above 0x7F order after ASCII", {"z", "\xC3\xA9", "\xFF"}, {"z", "\xC3\xA9", "\xFF"}},
      {"bytes above 0x7F, some missing",
       {"\x7F", "\xC3\xA9"},
       {"\x7F", "\x80", "\xC3\xA9", "\xFF"}},
      {"an embedded zero byte", {"a", "a\0b"s, "a\0c"s}, {"a\0"s, "a\0c"s}},
      {"long keys", {longKey, longKey + "x"}, {longKey + "x", longKey + "y"}},
      {"a key asked again", {"a", "b"}, {"a", "a", "b"}},
      {"past the last member", {"a"}, {"b", "c"}},
      {"no members", {}, {"", "a"}},
  };
  for (const auto& c : cases) {
    Json::Value object = objectWithKeys(c.keys);
    vk::unidata::MemberWalk walk(object);
    for (const std::string& key : c.asked) {
      const Json::Value* member = walk.find(key);
      if (std::find(c.keys.begin(), c.keys.end(), key) == c.keys.end()) {
        EXPECT_EQ(member, nullptr) << c.what << ": " << key;
      } else if (member == nullptr) {
        ADD_FAILURE() << c.what << ": " << key << " not found";
      } else {
        EXPECT_EQ(member->asString(), key) << c.what;
      }
    }
  }
}

TEST(MemberWalk, AnythingButAnObjectHasNoMembers) {
  Json::Value array(Json::arrayValue);
  array.append("a");
  array.append(objectWithKeys({"a"}));
  for (Json::Value value : {Json::Value(), array, Json::Value("a"), Json::Value(1.5)}) {
    vk::unidata::MemberWalk walk(value);
    EXPECT_EQ(walk.find(""), nullptr) << value;
    EXPECT_EQ(walk.find("a"), nullptr) << value;
  }
}

TEST(MemberWalk, AddedMembersLeaveTheWalkOnTheFollowingOnes) {
  Json::Value object = objectWithKeys({"b", "d"});
  vk::unidata::MemberWalk walk(object);
  EXPECT_TRUE(walk.findOrAdd("a").isNull());
  EXPECT_EQ(&walk.findOrAdd("b"), &object["b"]);
  walk.findOrAdd("c") = "added";
  const Json::Value* d = walk.find("d");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->asString(), "d");
  walk.findOrAdd("e");
  EXPECT_EQ(object.getMemberNames(), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
  EXPECT_EQ(object["b"].asString(), "b");
  EXPECT_EQ(object["c"].asString(), "added");
}

TEST(MemberWalk, ANullObjectBecomesAnObjectOfTheAddedMembers) {
  Json::Value object;
  vk::unidata::MemberWalk walk(object);
  EXPECT_EQ(walk.find("a"), nullptr);
  walk.findOrAdd("a") = 1;
  Json::Value& b = walk.findOrAdd("b");
  EXPECT_EQ(&walk.findOrAdd("b"), &b);
  EXPECT_TRUE(object.isObject());
  EXPECT_EQ(object.getMemberNames(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(object["a"].asInt(), 1);
  EXPECT_TRUE(object["b"].isNull());
}

TEST(FindMember, AMemberIsPresentWhateverItHoldsAndOnlyInAnObject) {
  Json::Value object = objectWithKeys({"", "text"});
  object["null"] = Json::Value();
  object["object"] = Json::Value(Json::objectValue);
  const Json::Value unchanged = object;
  const Json::Value& members = object;
  Json::Value array(Json::arrayValue);
  array.append("text");
  const struct {
    const Json::Value& value;
    const char* name;
    const Json::Value* found;
  } cases[] = {
      {members, "text", &members["text"]},
      {members, "null", &members["null"]},
      {members, "object", &members["object"]},
      {members, "", &members[""]},
      {members, "missing", nullptr},
      {members, "tex", nullptr},
      {Json::Value::nullSingleton(), "text", nullptr},
      {array, "text", nullptr},
      {unchanged["text"], "text", nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(vk::unidata::findMember(c.value, c.name), c.found) << c.value << " " << c.name;
  }
  EXPECT_EQ(object, unchanged);  // no lookup adds a member
}
