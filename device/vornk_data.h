// The vornk data record: published under kVornkDataId, stored as history and cached, as these raw
// 859 bytes. Little-endian, packed, IEEE-754 single-precision floats. Read and write its floats
// only through std::memcpy: they are unaligned, and an unaligned float access faults on 32-bit ARM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "unidata/host.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the record holds the machine's own bytes and is defined as little-endian");

#pragma pack(push, 1)
struct vornk_Data_t {
  std::uint32_t data_id;  // the device's data identifier
  std::uint8_t bi[92];    // binary inputs, low byte of the present value
  std::uint8_t bo[4];     // binary outputs, low byte of the present value
  float ai[184];          // analog inputs
  float ao[2];            // analog outputs
  float av[2];            // analog values
  ttime stamp;            // time of the last completed round
};
#pragma pack(pop)

static_assert(std::is_standard_layout_v<vornk_Data_t>);
static_assert(sizeof(vornk_Data_t) == 859);
static_assert(offsetof(vornk_Data_t, data_id) == 0);
static_assert(offsetof(vornk_Data_t, bi) == 4);
static_assert(offsetof(vornk_Data_t, bo) == 96);
static_assert(offsetof(vornk_Data_t, ai) == 100);
static_assert(offsetof(vornk_Data_t, ao) == 836);
static_assert(offsetof(vornk_Data_t, av) == 844);
static_assert(offsetof(vornk_Data_t, stamp) == 852);

namespace vk::device {

// The identifier under which the record is published.
inline constexpr int kVornkDataId = 5156;

// Fields of a record read out of its raw bytes, which may sit at any address.
inline std::uint32_t recordDataId(const unsigned char* record) {
  std::uint32_t id;
  std::memcpy(&id, record + offsetof(vornk_Data_t, data_id), sizeof id);
  return id;
}

inline ttime recordStamp(const unsigned char* record) {
  ttime stamp;
  std::memcpy(&stamp, record + offsetof(vornk_Data_t, stamp), sizeof stamp);
  return stamp;
}

}  // namespace vk::device
