// The option description document carried by relaystore: its exact byte
// form and its content.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "option_document.h"

namespace {

using Json = nlohmann::ordered_json;

std::string DocumentBytes() {
  std::ifstream file(SOURCE_ROOT "/relaystore/resources/option_desc.json", std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Every byte pinned: the document rebuilt from its listed content (texts,
// values, defaults) and layout rules must equal the shipped file exactly.
TEST(OptionDescription, IsByteForByteTheListedDocument) {
  const std::string expected = option_document::Bytes();
  ASSERT_EQ(expected.size(), option_document::kSize);
  const std::string bytes = DocumentBytes();
  ASSERT_EQ(bytes.size(), expected.size());
  size_t first = 0;
  while (first < bytes.size() && bytes[first] == expected[first]) ++first;
  EXPECT_EQ(first, bytes.size()) << "first difference at byte " << first << ": ..."
                                 << bytes.substr(first > 30 ? first - 30 : 0, 60) << "...";
}

TEST(OptionDescription, HasTheExactByteForm) {
  const std::string bytes = DocumentBytes();
  ASSERT_EQ(bytes.size(), 4562u);
  EXPECT_NE(bytes.compare(0, 3, "\xEF\xBB\xBF"), 0) << "no byte-order mark";
  EXPECT_EQ(bytes.find('\r'), std::string::npos) << "LF line ends only";
  EXPECT_EQ(bytes.back(), ']') << "no final line end";
  for (const std::string &line : Lines(bytes)) {
    const size_t text = line.find_first_not_of('\t');
    ASSERT_NE(text, std::string::npos) << "no blank lines";
    EXPECT_NE(line[text], ' ') << "indented by tabs only: " << line;
    EXPECT_EQ(line.find("\": "), std::string::npos) << "no blank after a colon: " << line;
    if (line.find("\"value\"") != std::string::npos) {
      EXPECT_EQ(line.find("{ \"value\":"), text) << line;
      EXPECT_TRUE(line.compare(line.size() - 2, 2, " }") == 0 || line.compare(line.size() - 3, 3, " },") == 0)
          << line;
    }
  }
}

TEST(OptionDescription, HoldsThreeCategoriesWithOneDefaultPerOption) {
  const Json document = Json::parse(DocumentBytes());
  ASSERT_TRUE(document.is_array());
  const std::vector<std::string> titles = {"ゲーム全般", "ムービー", "拡張ウィンドウ制御"};
  const std::vector<std::vector<std::string>> names = {
      {"scanim", "fontedge", "glyphanim", "backlogvoicecut"},
      {"vqfilesel"},
      {"stayontop", "stopdeactive", "sqscr", "sqnomask"},
  };
  ASSERT_EQ(document.size(), 3u);
  for (size_t c = 0; c < document.size(); ++c) {
    const Json &category = document[c];
    std::vector<std::string> keys;
    for (const auto &item : category.items()) keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"category", "options"}));
    EXPECT_EQ(category["category"], titles[c]);
    ASSERT_EQ(category["options"].size(), names[c].size());
    for (size_t o = 0; o < names[c].size(); ++o) {
      const Json &option = category["options"][o];
      SCOPED_TRACE(names[c][o]);
      keys.clear();
      for (const auto &item : option.items()) keys.push_back(item.key());
      EXPECT_EQ(keys, (std::vector<std::string>{"caption", "description", "name", "type", "user", "values"}));
      EXPECT_EQ(option["name"], names[c][o]);
      EXPECT_EQ(option["type"], "select");
      EXPECT_EQ(option["user"], true);
      EXPECT_NE(option["description"].get<std::string>().find("\n\n"), std::string::npos);
      int defaults = 0;
      for (const Json &value : option["values"]) {
        ASSERT_TRUE(value.contains("value") && value.contains("desc"));
        if (value.contains("default")) {
          EXPECT_EQ(value["default"], true);
          ++defaults;
        }
      }
      EXPECT_EQ(defaults, 1);
    }
  }
  const Json &sqnomask = document[2]["options"][3];
  ASSERT_EQ(sqnomask["values"].size(), 1u) << "its choice cannot change";
  EXPECT_EQ(sqnomask["values"][0]["value"], "mask");
  EXPECT_EQ(document[1]["options"][0]["values"][0]["value"], "auto");
  EXPECT_EQ(document[2]["options"][0]["values"][1]["default"], true) << "stayontop defaults to no";
}

}  // namespace
