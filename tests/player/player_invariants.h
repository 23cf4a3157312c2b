#pragma once

#include "player/invariants.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane::test {

// Fails the test (fatally) when the player breaks one of its rules, with
// `after` naming the last step.
inline void checkPlayerInvariants(const Player& player, const std::string& after)
{
    const std::string broken = brokenInvariant(player);
    ASSERT_TRUE(broken.empty()) << after << ": " << broken;
}

} // namespace orvane::test
