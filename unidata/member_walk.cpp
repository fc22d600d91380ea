#include "member_walk.h"

#include <cstddef>
#include <string_view>

namespace unidata {

MemberWalk::MemberWalk(Json::Value& object)
    : object_(object),
      next_(object.isObject() ? object.begin() : object.end()),
      end_(object.end()) {}

Json::Value* MemberWalk::find(const std::string& key) {
  const auto name = [](const Json::Value::iterator& member) {
    const char* end = nullptr;
    const char* begin = member.memberName(&end);
    return std::string_view(begin, static_cast<std::size_t>(end - begin));
  };
  while (next_ != end_ && name(next_) < key) ++next_;
  if (next_ == end_ || name(next_) != key) return nullptr;
  return &*next_;
}

Json::Value& MemberWalk::findOrAdd(const std::string& key) {
  if (Json::Value* member = find(key)) return *member;
  // Inserted before next_, which stays valid: every later key is beyond it.
  return object_[key];
}

}  // namespace unidata
