#pragma once
// Each verb group of vlr: takes the arguments after the verb, prints its results on standard
// output and its failures on standard error, and returns the exit status.
#include <string>
#include <vector>

using Args = std::vector<std::string>;

int RunConfigVerb(const Args& args);
int RunRegVerb(const Args& args);
int RunLoginVerb(const Args& args);
int RunBlueprintVerb(const Args& args);

// Exit statuses shared by every verb.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
