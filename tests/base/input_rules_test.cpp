// Rules for names and texts that come from servers, packages and operators.
#include "base/file_names.h"
#include "base/xml_guard.h"

#include <gtest/gtest.h>

#include <string>

namespace halvora {
namespace {

TEST(FileNames, PlainNamesExcludeDevicesDotsAndTrailingBlanks) {
  const struct {
    const wchar_t* name;
    bool device, plain;
  } cases[] = {
      {L"demo-app", false, true},     {L"setup.exe", false, true},
      {L"CON", true, false},          {L"con", true, false},
      {L"nul.txt", true, false},      {L"Aux .zip", true, false},
      {L"COM1", true, false},         {L"lpt9.exe", true, false},
      {L"COM0", false, true},         {L"COM10", false, true},
      {L"CONSOLE", false, true},      {L"xcon", false, true},
      {L".", false, false},           {L"..", false, false},
      {L"", false, false},            {L"name.", false, false},
      {L"name ", false, false},       {L".hidden", false, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsDeviceName(c.name), c.device) << '"' << c.name << '"';
    EXPECT_EQ(IsPlainFileName(c.name), c.plain) << '"' << c.name << '"';
  }
}

std::string Nested(int levels, const std::string& inner = "") {
  std::string text;
  for (int i = 0; i < levels; ++i) text += "<e>";
  text += inner;
  for (int i = 0; i < levels; ++i) text += "</e>";
  return text;
}

std::string WithAttributes(int count) {
  std::string text = "<e";
  for (int i = 0; i < count; ++i) text += " a" + std::to_string(i) + "=\"x\"";
  return text + "/>";
}

TEST(XmlGuard, DepthAttributesAndSizeAreBoundedBeforeParsing) {
  const struct {
    const char* what;
    std::string text;
    int maxDepth;
    bool within;
  } cases[] = {
      {"an answer", "<?xml version=\"1.0\"?><r><app name=\"a > b\" id='x/'/></r>", 64, true},
      {"64 levels", Nested(64), 64, true},
      {"65 levels", Nested(65), 64, false},
      {"closed elements do not add up", Nested(40) + Nested(40), 64, true},
      {"empty elements do not nest", "<r><e/><e /><e\n/><e a='1'/></r>", 1, true},
      {"256 attributes", WithAttributes(256), 64, true},
      {"257 attributes", WithAttributes(257), 64, false},
      {"'=' in a quoted value", "<e a=\"1=2=3\" b='=' />", 64, true},
      {"comments, CDATA and declarations hide tags",
       "<!DOCTYPE r><r><!-- <e><e> --><![CDATA[<e><e>]]><?pi <e>?></r>", 1, true},
      {"over the size", std::string(4097, ' '), 64, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(XmlWithinLimits(c.text, XmlLimits{4096, c.maxDepth, 256}), c.within) << c.what;
  }
}

}  // namespace
}  // namespace halvora
