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

// Levenshtein distance, case-insensitive.
size_t EditDistance(const std::string &a, const std::string &b) {
  const std::string x = Lower(a), y = Lower(b);
  std::vector<size_t> row(y.size() + 1);
  for (size_t j = 0; j <= y.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= x.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= y.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[y.size()];
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
