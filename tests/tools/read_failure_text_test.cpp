// The texts that name a failed read.
#include "tools/read_failure_text.h"

#include <gtest/gtest.h>

using namespace vk::tools;
using namespace vk::bacnet;
using std::chrono::milliseconds;
using Kind = ReadFailure::Kind;

TEST(ReadFailureText, NamesTheKindAndItsNumbers) {
  const BacnetIpSettings settings{milliseconds(3000), 3, 0};
  const std::pair<ReadFailure, std::string> cases[] = {
      {{Kind::NoAnswer, 4}, "no answer after 4 tries (timeout 3000 ms)"},
      {{Kind::NoAnswer, 1}, "no answer after 1 try (timeout 3000 ms)"},
      {{Kind::Error, 1, 1, 31}, "error class object (1), code unknown-object (31)"},
      {{Kind::Error, 1, 2, 50}, "error class property (2), code property-is-not-an-array (50)"},
      {{Kind::Error, 1, 64, 300}, "error class 64, code 300"},
      {{Kind::Reject, 1, 0, 9}, "reject: unrecognized-service (9)"},
      {{Kind::Abort, 1, 0, 4}, "abort: segmentation-not-supported (4)"},
      {{Kind::Abort, 1, 0, 200}, "abort: 200"},
      {{Kind::Unusable, 1}, "an answer of a type or value the point cannot take"},
      {{Kind::Unusable, 1, 0, 0, "", RefusedValue{ApplicationTag::Real, double{0.1f}}},
       "an answer of a type or value the point cannot take: REAL 0.1"},
      {{Kind::Unusable, 1, 0, 0, "", RefusedValue{ApplicationTag::Enumerated, 257}},
       "an answer of a type or value the point cannot take: ENUMERATED 257"},
      {{Kind::Unusable, 1, 0, 0, "", RefusedValue{ApplicationTag::Double, -1e300}},
       "an answer of a type or value the point cannot take: DOUBLE -1e+300"},
      {{Kind::Unusable, 1, 0, 0, "", RefusedValue{ApplicationTag::CharacterString, {}}},
       "an answer of a type or value the point cannot take: CHARACTER STRING"},
      {{Kind::Unusable, 1, 0, 0, "", RefusedValue{ApplicationTag{13}, {}}},
       "an answer of a type or value the point cannot take: application tag 13"},
      {{Kind::NotSent, 0}, "the request could not be sent"},
      {{Kind::NotSent, 0, 0, 0, "cannot resolve 'h': why"},
       "the request could not be sent: cannot resolve 'h': why"},
  };
  for (const auto& [failure, text] : cases) EXPECT_EQ(failureText(failure, settings), text);
  EXPECT_EQ(cycleFailureLine(OBJECT_ANALOG_INPUT, 10410, {Kind::NoAnswer, 4}, settings),
            "cycle failed at analog-input 10410: no answer after 4 tries (timeout 3000 ms)\n");
}
