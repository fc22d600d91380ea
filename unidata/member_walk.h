// Finding the members of a JSON object for keys asked in ascending order: one walk along its
// members, which the object keeps ordered by key as std::string orders keys, instead of a lookup
// per key.
#pragma once

#include <string>

#include "unidata/host.h"

namespace vk::unidata {

class MemberWalk {
 public:
  // object must outlive the walk and change only through it; anything but an object has no
  // members.
  explicit MemberWalk(Json::Value& object);
  MemberWalk(const MemberWalk&) = delete;
  MemberWalk& operator=(const MemberWalk&) = delete;

  // The member under key; null when there is none. key must not be less than the key before.
  Json::Value* find(const std::string& key);
  // The member under key, added as null when there is none, as Json::Value's operator[] adds it.
  // The object must be an object or null, which becomes an object; key must not be less than the
  // key before.
  Json::Value& findOrAdd(const std::string& key);

 private:
  Json::Value& object_;
  Json::Value::iterator next_;  // the first member not yet passed
  Json::Value::iterator end_;
};

}  // namespace vk::unidata
