// The record document: what an append does to each kind of existing file,
// printed as the library prints it (LF here; the Windows suite checks the
// file's CR LF).

#include "app/records/installed_apps.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cstdio>
#include <string>

#include "base/scoped_file.h"

namespace halvora {
namespace {

std::string Printed(const TiXmlDocument& document) {
  const ScopedFile file(std::tmpfile());
  document.Print(file.get(), 0);
  std::string text(static_cast<size_t>(std::ftell(file.get())), '\0');
  std::rewind(file.get());
  EXPECT_EQ(std::fread(text.data(), 1, text.size(), file.get()), text.size());
  return text;
}

TEST(InstalledAppRecords, AppendToEachKindOfDocument) {
  const struct {
    const char* name;
    const char* existing;  // null: no file yet
    std::string appId;
    std::string type;
    bool appended;
    const char* printed;  // null: as loaded
  } cases[] = {
      // clang-format off
      {"new file", nullptr, "a1", "3|1", true,
       "<root>\n    <item appid=\"a1\" type=\"3|1\" />\n</root>\n"},
      {"second record of the same id", "<root>\n    <item appid=\"a1\" type=\"3|1\" />\n</root>\n",
       "a1", "3|1", true,
       "<root>\n    <item appid=\"a1\" type=\"3|1\" />\n    <item appid=\"a1\" type=\"3|1\" />\n"
       "</root>\n"},
      {"foreign root, declaration, comment and attributes kept",
       "<?xml version=\"1.0\" ?><!-- mine --><apps v=\"2\"><x>t</x></apps><tail/>", "b", "8|0",
       true,
       "<?xml version=\"1.0\" ?>\n<!-- mine -->\n<apps v=\"2\">\n    <x>t</x>\n"
       "    <item appid=\"b\" type=\"8|0\" />\n</apps>\n<tail />\n"},
      {"empty root", "<root/>", "c", "6|0", true,
       "<root>\n    <item appid=\"c\" type=\"6|0\" />\n</root>\n"},
      {"escaped ampersand", nullptr, "a&b", "3|1", true,
       "<root>\n    <item appid=\"a&amp;b\" type=\"3|1\" />\n</root>\n"},
      // With a double quote in the value the library switches to single quotes.
      {"escaped double quote", nullptr, "a\"b<", "3|1&2", true,
       "<root>\n    <item appid='a&quot;b&lt;' type=\"3|1&amp;2\" />\n</root>\n"},
      {"no element", "<?xml version=\"1.0\" ?><!-- only a comment -->", "a1", "3|1", false,
       nullptr},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TiXmlDocument document;
    if (c.existing) {
      document.Parse(c.existing);
      ASSERT_FALSE(document.Error());
    } else {
      StartRecordList(document);
    }
    const std::string before = Printed(document);
    EXPECT_EQ(AppendRecord(document, c.appId, c.type), c.appended);
    EXPECT_EQ(Printed(document), c.printed ? c.printed : before);
  }
}

TEST(InstalledAppRecords, TypeTextAndFolder) {
  EXPECT_EQ(RecordTypeText(3, 1), "3|1");
  EXPECT_EQ(RecordTypeText(-1, 12), "-1|12");
  EXPECT_EQ(RecordsFolder(L"C:\\Users\\u\\AppData\\Roaming"),
            L"C:\\Users\\u\\AppData\\Roaming\\Orbanta Apps\\");
  // Without a user folder there is nowhere to write: not the drive's root.
  EXPECT_EQ(RecordsFolder(L""), L"");
}

}  // namespace
}  // namespace halvora
