#pragma once
// A check of an XML text's shape before it reaches the parser. TinyXML
// recurses once per nesting level and compares every attribute with all
// those before it, so a small hostile answer can exhaust the stack or spend
// seconds of processor time; texts from servers and packages pass here
// first.

#include <cstddef>
#include <cstdio>
#include <string_view>

namespace halvora {

struct XmlLimits {
  std::size_t maxBytes;
  int maxDepth;       // elements open at once
  int maxAttributes;  // on one element
};

// Limits for service answers and the small files that packages carry.
inline constexpr XmlLimits kAnswerXmlLimits{1 << 20, 64, 256};

// True when the text is within the limits. Comments, CDATA sections,
// declarations and quoted attribute values are skipped, so what they hold
// counts for nothing; a text that is not well formed may pass, and is then
// refused by the parser.
bool XmlWithinLimits(std::string_view text, const XmlLimits& limits);

// The same for an open file, read from its start; the file is rewound to
// its start afterwards, for the parser.
bool XmlFileWithinLimits(std::FILE* file, const XmlLimits& limits);

}  // namespace halvora
