// relaystore.dll's resources as the Windows resource functions read them:
// the option description under its string type and name, and the icon group.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "option_document.h"

namespace {

constexpr WORD kJapanese = 1041;  // 0x0411
constexpr WORD kEnglishUS = 1033;  // 0x0409

// The numeric resource types, in their wide form (RT_* follow UNICODE).
const LPCWSTR kIcon = MAKEINTRESOURCEW(3);
const LPCWSTR kRcData = MAKEINTRESOURCEW(10);
const LPCWSTR kGroupIcon = MAKEINTRESOURCEW(14);
const LPCWSTR kHtml = MAKEINTRESOURCEW(23);

// LoadLibrary wants backslashes; CMake's paths come with forward ones.
std::string NativePath(std::string path) {
  for (char &c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A type or name as the enumeration functions hand it: a number or a string.
std::wstring Describe(LPCWSTR id) {
  if (IS_INTRESOURCE(id)) return L"#" + std::to_wstring(reinterpret_cast<uintptr_t>(id));
  return id;
}

BOOL CALLBACK CollectType(HMODULE, LPWSTR type, LONG_PTR out) {
  reinterpret_cast<std::set<std::wstring> *>(out)->insert(Describe(type));
  return TRUE;
}
BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR out) {
  reinterpret_cast<std::vector<std::wstring> *>(out)->push_back(Describe(name));
  return TRUE;
}
BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR out) {
  reinterpret_cast<std::set<WORD> *>(out)->insert(language);
  return TRUE;
}

// The icon directory entry of a group resource (GRPICONDIRENTRY), unpacked.
struct GroupEntry {
  int Width;  // 0 in the resource stands for 256
  int Height;
  int BitCount;
  uint32_t Bytes;
  WORD Id;  // the kIcon resource holding the image
};

template <class T>
T Read(const unsigned char *at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

class RelayStoreResources : public ::testing::Test {
 protected:
  RelayStoreResources() : Module(LoadLibraryA(NativePath(RELAYSTORE_PATH).c_str())) {}
  ~RelayStoreResources() override {
    if (Module) FreeLibrary(Module);
  }
  void SetUp() override { ASSERT_NE(Module, nullptr) << "LoadLibrary: error " << GetLastError(); }

  // The bytes of a resource found with FindResourceEx; empty when not found.
  std::string Bytes(LPCWSTR type, LPCWSTR name, WORD language) {
    HRSRC found = FindResourceExW(Module, type, name, language);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(Module, found);
    const void *data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return {};
    return std::string(static_cast<const char *>(data), SizeofResource(Module, found));
  }

  std::set<WORD> Languages(LPCWSTR type, LPCWSTR name) {
    std::set<WORD> languages;
    EnumResourceLanguagesW(Module, type, name, CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
    return languages;
  }

  std::vector<GroupEntry> IconGroup(LPCWSTR name) {
    const std::string group = Bytes(kGroupIcon, name, kEnglishUS);
    std::vector<GroupEntry> entries;
    if (group.size() < 6) return entries;
    const auto *bytes = reinterpret_cast<const unsigned char *>(group.data());
    const WORD count = Read<WORD>(bytes + 4);
    EXPECT_EQ(Read<WORD>(bytes), 0);      // reserved
    EXPECT_EQ(Read<WORD>(bytes + 2), 1);  // an icon, not a cursor
    EXPECT_EQ(group.size(), 6u + 14u * count);
    for (WORD i = 0; i < count && 6u + 14u * (i + 1u) <= group.size(); ++i) {
      const unsigned char *entry = bytes + 6 + 14 * i;
      entries.push_back({entry[0], entry[1], Read<WORD>(entry + 6), Read<uint32_t>(entry + 8),
                         Read<WORD>(entry + 12)});
    }
    return entries;
  }

  HMODULE Module;
};

TEST_F(RelayStoreResources, OptionDescriptionIsTheJsonDocumentByteForByte) {
  const std::string expected = ReadFile(SOURCE_ROOT "/relaystore/resources/option_desc.json");
  ASSERT_FALSE(expected.empty()) << "the document could not be read from the source tree";
  const std::string resource = Bytes(L"TEXT", L"IDR_OPTION_DESC_JSON", kJapanese);
  EXPECT_EQ(resource.size(), expected.size());
  EXPECT_TRUE(resource == expected) << "the resource differs from relaystore/resources/option_desc.json";
  EXPECT_TRUE(resource == option_document::Bytes()) << "the resource differs from the listed document";
}

TEST_F(RelayStoreResources, OptionDescriptionIsInJapaneseOnly) {
  EXPECT_EQ(Languages(L"TEXT", L"IDR_OPTION_DESC_JSON"), std::set<WORD>{kJapanese});
  EXPECT_EQ(FindResourceExW(Module, L"TEXT", L"IDR_OPTION_DESC_JSON", kEnglishUS), nullptr);
}

TEST_F(RelayStoreResources, OptionDescriptionIsNotFoundByNumbers) {
  // Neither a numeric type nor a numeric name leads to the document.
  EXPECT_EQ(FindResourceExW(Module, kRcData, L"IDR_OPTION_DESC_JSON", kJapanese), nullptr);
  EXPECT_EQ(FindResourceExW(Module, kHtml, L"IDR_OPTION_DESC_JSON", kJapanese), nullptr);
  for (WORD id : {0, 1, 100, 101}) {
    EXPECT_EQ(FindResourceExW(Module, L"TEXT", MAKEINTRESOURCEW(id), kJapanese), nullptr) << id;
  }
  std::vector<std::wstring> names;
  EnumResourceNamesW(Module, L"TEXT", CollectName, reinterpret_cast<LONG_PTR>(&names));
  EXPECT_EQ(names, std::vector<std::wstring>{L"IDR_OPTION_DESC_JSON"});
}

TEST_F(RelayStoreResources, CarriesTheDocumentAndOneIconGroupOnly) {
  std::set<std::wstring> types;
  EnumResourceTypesW(Module, CollectType, reinterpret_cast<LONG_PTR>(&types));
  EXPECT_EQ(types, (std::set<std::wstring>{L"TEXT", Describe(kIcon), Describe(kGroupIcon)}));
  std::vector<std::wstring> groups;
  EnumResourceNamesW(Module, kGroupIcon, CollectName, reinterpret_cast<LONG_PTR>(&groups));
  EXPECT_EQ(groups.size(), 1u);
}

TEST_F(RelayStoreResources, IconGroupHoldsFourImagesInEnglishUS) {
  std::vector<std::wstring> groups;
  EnumResourceNamesW(Module, kGroupIcon, CollectName, reinterpret_cast<LONG_PTR>(&groups));
  ASSERT_EQ(groups.size(), 1u);
  // The one group is resource 1 (see relaystore.rc).
  ASSERT_EQ(groups[0], L"#1");
  EXPECT_EQ(Languages(kGroupIcon, MAKEINTRESOURCEW(1)), std::set<WORD>{kEnglishUS});

  const std::vector<GroupEntry> entries = IconGroup(MAKEINTRESOURCEW(1));
  ASSERT_EQ(entries.size(), 4u);
  const int sides[] = {256, 48, 32, 16};
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE("image " + std::to_string(sides[i]));
    const GroupEntry &entry = entries[i];
    EXPECT_EQ(entry.Width == 0 ? 256 : entry.Width, sides[i]);
    EXPECT_EQ(entry.Height == 0 ? 256 : entry.Height, sides[i]);
    EXPECT_EQ(entry.BitCount, 32);
    EXPECT_EQ(Languages(kIcon, MAKEINTRESOURCEW(entry.Id)), std::set<WORD>{kEnglishUS});
    const std::string image = Bytes(kIcon, MAKEINTRESOURCEW(entry.Id), kEnglishUS);
    EXPECT_EQ(image.size(), entry.Bytes);
    ASSERT_GE(image.size(), 40u);
    const auto *bytes = reinterpret_cast<const unsigned char *>(image.data());
    if (sides[i] == 256) {
      // PNG: the signature, then the IHDR chunk with big-endian width and height.
      EXPECT_EQ(image.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
      EXPECT_EQ(image.compare(12, 4, "IHDR"), 0);
      EXPECT_EQ((bytes[16] << 24) | (bytes[17] << 16) | (bytes[18] << 8) | bytes[19], 256);
      EXPECT_EQ((bytes[20] << 24) | (bytes[21] << 16) | (bytes[22] << 8) | bytes[23], 256);
    } else {
      // Device-independent bitmap: the colour rows and the AND mask, so the
      // height counts twice.
      const auto header = Read<BITMAPINFOHEADER>(bytes);
      EXPECT_EQ(header.biSize, 40u);
      EXPECT_EQ(header.biWidth, sides[i]);
      EXPECT_EQ(header.biHeight, 2 * sides[i]);
      EXPECT_EQ(header.biBitCount, 32);
      EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
      const size_t maskStride = ((sides[i] + 31) / 32) * 4;
      EXPECT_EQ(image.size(), 40u + 4u * sides[i] * sides[i] + maskStride * sides[i]);
    }
  }
}

}  // namespace
