// suggest.h — "did you mean" for mistyped names.
#pragma once

#include <string>
#include <vector>

namespace plughost {

// The candidate closest to `word` when it is close enough to be a slip (a
// different letter case, or an edit distance of at most a third of the
// word's length, and at least 1, at most 3); otherwise "".
std::string ClosestName(const std::string &word, const std::vector<std::string> &candidates);
// " (did you mean NAME?)" for ClosestName, or "".
std::string DidYouMean(const std::string &word, const std::vector<std::string> &candidates);

}  // namespace plughost
