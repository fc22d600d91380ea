#include "unidata/member_walk.h"

namespace vk::unidata {

MemberWalk::MemberWalk(Json::Value& object)
    : object_(object),
      next_(object.isObject() ? object.begin() : object.end()),
      end_(object.end()) {}

Json::Value* MemberWalk::find(const std::string& key) {
  // name() copies the member's key into a std::string: no allocation for keys that fit its
  // small-string buffer. compare() orders bytes as unsigned char, as the object orders its keys.
  for (; next_ != end_; ++next_) {
    const int order = next_.name().compare(key);
    if (order == 0) return &*next_;
    if (order > 0) return nullptr;
  }
  return nullptr;
}

Json::Value& MemberWalk::findOrAdd(const std::string& key) {
  if (Json::Value* member = find(key)) return *member;
  // Inserted before next_, which stays valid: every later key is beyond it. A null object turns
  // into an object here; its walk, empty from the start, stays empty and finds nothing.
  return object_[key];
}

}  // namespace vk::unidata
