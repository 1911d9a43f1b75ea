#include "env/local_cfg.h"

#include <tinyxml.h>

#include <cstdio>
#include <string_view>

#include "base/scoped_file.h"
#include "base/text.h"
#include "base/xml_guard.h"

namespace {

bool IsUtf8EncodingName(std::string_view name) {
  // "UTF8" is wrong but common; the parser accepts it too.
  for (std::string_view utf8 : {"UTF-8", "UTF8"}) {
    if (name.size() != utf8.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i) {
      const char c = name[i];
      same = (c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) == utf8[i];
    }
    if (same) return true;
  }
  return false;
}

bool DeclaresUtf8(const TiXmlDocument& document) {
  for (const TiXmlNode* node = document.FirstChild(); node; node = node->NextSibling()) {
    if (const TiXmlDeclaration* declaration = node->ToDeclaration()) {
      return IsUtf8EncodingName(declaration->Encoding());
    }
  }
  return false;
}

// Loads the file and tells whether its texts are UTF-8: a byte-order mark, or
// a declaration naming UTF-8. The parser's own guess would also take a
// declaration without an encoding for UTF-8, and reading ANSI text as UTF-8
// can swallow the quote after a GBK character whose second byte looks like
// the start of a UTF-8 sequence; so the mode is chosen here.
bool LoadLocalCfg(const std::string& path, TiXmlDocument& document, bool& utf8) {
  halvora::ScopedFile file(std::fopen(path.c_str(), "rb"));
  // The file comes with a package: one too large or too deeply built for
  // the parser is not read.
  if (!file || !halvora::XmlFileWithinLimits(file.get(), halvora::kAnswerXmlLimits)) return false;
  unsigned char head[3] = {};
  utf8 = std::fread(head, 1, sizeof(head), file.get()) == sizeof(head) && head[0] == 0xef &&
         head[1] == 0xbb && head[2] == 0xbf;
  // LoadFile reads the whole file from its start, whatever was read before.
  if (!utf8) {
    if (!document.LoadFile(file.get(), TIXML_ENCODING_LEGACY)) return false;
    utf8 = DeclaresUtf8(document);
    if (!utf8) return true;
  }
  // Parsed again as UTF-8: character references then become UTF-8 too.
  return document.LoadFile(file.get(), TIXML_ENCODING_UTF8);
}

void AppendCodePoint(std::wstring& out, char32_t codePoint) {
  if (sizeof(wchar_t) == 2 && codePoint >= 0x10000) {
    codePoint -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xd800 + (codePoint >> 10)));
    out.push_back(static_cast<wchar_t>(0xdc00 + (codePoint & 0x3ff)));
    return;
  }
  out.push_back(static_cast<wchar_t>(codePoint));
}

// A byte that starts no valid sequence becomes U+FFFD, as bytes the ANSI
// conversion cannot decode do.
std::wstring Utf8ToWide(std::string_view text) {
  std::wstring wide;
  wide.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    char32_t codePoint = 0, smallest = 0;
    if (lead < 0x80) {
      length = 1;
      codePoint = lead;
    } else if ((lead & 0xe0) == 0xc0) {
      length = 2;
      codePoint = lead & 0x1f;
      smallest = 0x80;
    } else if ((lead & 0xf0) == 0xe0) {
      length = 3;
      codePoint = lead & 0x0f;
      smallest = 0x800;
    } else if ((lead & 0xf8) == 0xf0) {
      length = 4;
      codePoint = lead & 0x07;
      smallest = 0x10000;
    }
    bool valid = length > 0 && length <= text.size() - i;
    for (size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xc0) == 0x80;
      codePoint = (codePoint << 6) | (next & 0x3f);
    }
    valid = valid && codePoint >= smallest && codePoint <= 0x10ffff &&
            (codePoint < 0xd800 || codePoint > 0xdfff);
    if (!valid) {
      wide.push_back(L'\ufffd');
      ++i;
      continue;
    }
    AppendCodePoint(wide, codePoint);
    i += length;
  }
  return wide;
}

}  // namespace

bool ReadLocalCfg(const std::wstring& path, std::wstring& mainProgName,
                  std::wstring& versionFolder) {
  TiXmlDocument document;
  bool utf8 = false;
  if (!LoadLocalCfg(halvora::WideToAnsi(path), document, utf8)) return false;
  const TiXmlElement* root = document.RootElement();
  if (!root) return false;
  const TiXmlElement* version = root->FirstChildElement("Version");
  if (!version) return false;
  const TiXmlElement* mainProg = version->FirstChildElement("MainProg");
  if (!mainProg) return false;
  const auto toWide = utf8 ? Utf8ToWide : halvora::AnsiToWide;
  if (const char* name = mainProg->Attribute("name")) mainProgName = toWide(name);
  if (const char* ver = mainProg->Attribute("ver")) versionFolder = toWide(ver);
  return !mainProgName.empty() && !versionFolder.empty();
}
