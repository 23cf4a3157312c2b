// The contract every media control keeps (tests/media/media_control_contract.h),
// held to by both controls of the Windows program.

#include "media_test_support.h"

namespace orvane::test {
namespace {

using Controls = ::testing::Types<MciTraits, WasapiTraits>;
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, MediaControlContract, Controls, ControlName);

} // namespace
} // namespace orvane::test
