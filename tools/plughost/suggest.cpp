// suggest.cpp — closest names by edit distance.
#include "suggest.h"

#include <algorithm>
#include <cctype>

namespace plughost {

namespace {

std::string Lower(std::string text) {
  for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Edit distance, case-insensitive: insertions, deletions, substitutions and
// swaps of two neighbouring letters ("lsit") count one each.
size_t EditDistance(const std::string &a, const std::string &b) {
  const std::string x = Lower(a), y = Lower(b);
  std::vector<std::vector<size_t>> d(x.size() + 1, std::vector<size_t>(y.size() + 1));
  for (size_t i = 0; i <= x.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= y.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= x.size(); ++i) {
    for (size_t j = 1; j <= y.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[x.size()][y.size()];
}

}  // namespace

std::string ClosestName(const std::string &word, const std::vector<std::string> &candidates) {
  const size_t allowed = std::clamp<size_t>(word.size() / 3, 1, 3);
  std::string best;
  size_t bestDistance = allowed + 1;
  for (const std::string &candidate : candidates) {
    const size_t d = EditDistance(word, candidate);
    if (d < bestDistance) {
      best = candidate;
      bestDistance = d;
    }
  }
  return best;
}

std::string DidYouMean(const std::string &word, const std::vector<std::string> &candidates) {
  const std::string best = ClosestName(word, candidates);
  return best.empty() ? "" : " (did you mean " + best + "?)";
}

}  // namespace plughost
