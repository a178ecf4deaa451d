#pragma once
// Requests compared as the service sees them: the text is normalised (fresh GUIDs, nonces,
// timestamps, the simulator's port and the lengths that depend on it) and compared with an
// expected file in tests/transport/data/. On a mismatch the actual text is written beside the
// expected file as "<name>.fail" and the failure carries a diff.
#include <gtest/gtest.h>

#include <string>

namespace vlrtest {

std::string NormaliseWire(std::string text);
::testing::AssertionResult MatchesExpected(const std::string& actual, const std::string& dataDir,
                                           const std::string& name);

}  // namespace vlrtest
