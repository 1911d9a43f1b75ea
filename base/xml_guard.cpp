#include "base/xml_guard.h"

#include <string>

namespace halvora {

namespace {

// The position just past `end` from `from`, or the text's size when it does
// not occur.
std::size_t SkipPast(std::string_view text, std::size_t from, std::string_view end) {
  const std::size_t at = text.find(end, from);
  return at == std::string_view::npos ? text.size() : at + end.size();
}

bool StartsAt(std::string_view text, std::size_t at, std::string_view prefix) {
  return text.substr(at, prefix.size()) == prefix;
}

}  // namespace

bool XmlWithinLimits(std::string_view text, const XmlLimits& limits) {
  if (text.size() > limits.maxBytes) return false;
  int depth = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '<') {
      ++i;
    } else if (StartsAt(text, i, "<!--")) {
      i = SkipPast(text, i + 4, "-->");
    } else if (StartsAt(text, i, "<![CDATA[")) {
      i = SkipPast(text, i + 9, "]]>");
    } else if (StartsAt(text, i, "<?")) {
      i = SkipPast(text, i + 2, "?>");
    } else if (StartsAt(text, i, "<!")) {
      i = SkipPast(text, i + 2, ">");
    } else if (StartsAt(text, i, "</")) {
      if (depth > 0) --depth;
      i = SkipPast(text, i + 2, ">");
    } else {
      // A start tag: every '=' outside a quoted value starts an attribute.
      int attributes = 0;
      char quote = 0;
      char last = 0;
      for (++i; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '=') {
          if (++attributes > limits.maxAttributes) return false;
        } else if (c == '>') {
          break;
        }
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') last = c;
      }
      ++i;
      if (last != '/' && ++depth > limits.maxDepth) return false;
    }
  }
  return true;
}

bool XmlFileWithinLimits(std::FILE* file, const XmlLimits& limits) {
  std::rewind(file);
  std::string text;
  char buffer[64 * 1024];
  for (;;) {
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, file);
    if (n == 0) break;
    if (text.size() + n > limits.maxBytes) {
      std::rewind(file);
      return false;
    }
    text.append(buffer, n);
  }
  const bool readWhole = !std::ferror(file);
  std::rewind(file);
  return readWhole && XmlWithinLimits(text, limits);
}

}  // namespace halvora
