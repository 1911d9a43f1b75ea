#include "net/ftp/ftp_framing.h"

#include <limits>

namespace nsFTP {

namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

}  // namespace

void TakeCompleteLines(std::string& pending, std::deque<std::string>& lines) {
  std::size_t start = 0;
  for (std::size_t end = pending.find('\n'); end != std::string::npos;
       end = pending.find('\n', start)) {
    lines.emplace_back(pending, start, end + 1 - start);
    start = end + 1;
  }
  pending.erase(0, start);
}

std::size_t LineTextLength(const std::string& line) {
  std::size_t n = line.size();
  if (n > 0 && line[n - 1] == '\n') --n;
  if (n > 0 && line[n - 1] == '\r' && n < line.size()) --n;
  return n;
}

std::wstring StripLineEnd(std::wstring line) {
  const std::size_t n = line.size();
  if (n >= 2 && line[n - 2] == L'\r' && line[n - 1] == L'\n') line.resize(n - 2);
  return line;
}

bool OpensMultiLineReply(const std::wstring& line) { return line.size() > 3 && line[3] == L'-'; }

unsigned long LeadingNumber(const std::wstring& line) {
  constexpr unsigned long kCap = std::numeric_limits<unsigned long>::max() / 10 - 9;
  unsigned long number = 0;
  for (std::size_t i = 0; i < line.size() && IsDigit(line[i]); ++i) {
    if (number > kCap) return std::numeric_limits<unsigned long>::max();
    number = number * 10 + static_cast<unsigned long>(line[i] - L'0');
  }
  return number;
}

bool ClosesMultiLineReply(const std::wstring& line, unsigned long code) {
  return line.size() > 3 && line[3] == L' ' && LeadingNumber(line) == code;
}

bool AssignReplyCode(FtpReply& reply) {
  const std::wstring& t = reply.text;
  const bool valid = t.size() >= 3 && t[0] >= L'1' && t[0] <= L'5' && t[1] >= L'0' && t[1] <= L'5';
  for (int i = 0; i < 3; ++i) reply.code[i] = valid ? t[static_cast<std::size_t>(i)] : L'\0';
  reply.code[3] = L'\0';
  return valid;
}

FtpResult ResultOf(const FtpReply& reply, wchar_t successDigit) {
  if (reply.code[0] == successDigit) return FtpResult::Ok;
  if (reply.code[0] == L'4' || reply.code[0] == L'5') return FtpResult::Refused;
  return FtpResult::Error;
}

std::uint32_t SizeFromReply(const std::wstring& text) {
  if (text.size() <= 4) return 0;
  std::size_t i = 4;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  std::uint64_t size = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    size = size * 10 + static_cast<std::uint64_t>(text[i] - L'0');
    if (size > std::numeric_limits<std::uint32_t>::max())
      return std::numeric_limits<std::uint32_t>::max();
  }
  return static_cast<std::uint32_t>(size);
}

bool ParsePassiveReply(const std::wstring& text, std::uint32_t& address, std::uint16_t& port) {
  int state = 0;
  int numbersDone = 0;
  std::uint32_t number = 0;  // digits are taken as they come: no range check
  std::uint32_t parsedAddress = 0;
  std::uint16_t parsedPort = 0;
  for (const wchar_t c : text) {
    switch (state) {
      case 0:
        if (c == L'(') state = 1;
        break;
      case 1:
        if (IsDigit(c)) {
          number = number * 10 + static_cast<std::uint32_t>(c - L'0');
        } else if (c == L',') {
          static const int kShift[4] = {24, 16, 8, 0};
          parsedAddress += number << kShift[numbersDone];
          number = 0;
          if (++numbersDone == 4) state = 2;
        } else {
          return false;
        }
        break;
      case 2:
        if (IsDigit(c)) {
          number = number * 10 + static_cast<std::uint32_t>(c - L'0');
        } else if (c == L',') {
          parsedPort = static_cast<std::uint16_t>(number * 256);
          number = 0;
          state = 3;
        } else {
          return false;
        }
        break;
      case 3:
        if (IsDigit(c)) {
          number = number * 10 + static_cast<std::uint32_t>(c - L'0');
        } else if (c == L')') {
          parsedPort = static_cast<std::uint16_t>(parsedPort + number);
          state = 4;
        } else {
          return false;
        }
        break;
      default:
        break;
    }
  }
  if (state != 4) return false;
  address = parsedAddress;
  port = parsedPort;
  return true;
}

std::wstring RepresentationCommand(const FtpRepresentation& representation) {
  std::wstring line;
  switch (representation.type) {
    case RepresentationType::Ascii:
      line = L"TYPE A";
      break;
    case RepresentationType::Ebcdic:
      line = L"TYPE E";
      break;
    case RepresentationType::Image:
      return L"TYPE I";
    case RepresentationType::LocalByte:
      return L"TYPE L 0";
    default:
      return std::wstring();
  }
  switch (representation.format) {
    case TypeFormat::NonPrint:
      line += L" N";
      break;
    case TypeFormat::TelnetFormat:
      line += L" T";
      break;
    case TypeFormat::CarriageControl:
      line += L" C";
      break;
    default:
      break;
  }
  return line;
}

std::wstring DataCommandLine(DataCommand command, const std::wstring& path) {
  switch (command) {
    case DataCommand::List:
      return path.empty() ? L"LIST" : L"LIST " + path;
    case DataCommand::NameList:
      return path.empty() ? L"NLST" : L"NLST " + path;
    case DataCommand::Retrieve:
      return L"RETR " + path;
    case DataCommand::Store:
      return L"STOR " + path;
    case DataCommand::StoreUnique:
      return L"STOU " + path;
    case DataCommand::Append:
      return L"APPE " + path;
  }
  return std::wstring();
}

}  // namespace nsFTP
