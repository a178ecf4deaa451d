#pragma once
// Texts compared with an expected file: on a mismatch the actual text is written beside the
// expected file as "<name>.fail" (removed again once they match) and the failure carries a
// diff, so a changed request shows as the lines that changed.
#include <gtest/gtest.h>

#include <string>

namespace vlrtest {

// `text` with what a request holds fresh on every run replaced: GUIDs by "{GUID}" (the fixed
// integrator key stays), the WS-Security nonce by "{NONCE}" and timestamps by "{TIME}".
std::string NormaliseRequest(std::string text);

// Compares `actual` as it is with the file `dataDir`/`name`.
::testing::AssertionResult MatchesExpectedFile(const std::string& actual, const std::string& dataDir,
                                               const std::string& name);

}  // namespace vlrtest
