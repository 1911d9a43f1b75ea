#pragma once
// Framing of the FTP control connection and the texts of its commands: pure
// functions, no sockets. The client (ftp_client.cpp) sequences commands with
// them; the transfer code (ftp_transfer.cpp) moves the data.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "net/ftp/ftp_types.h"

namespace nsFTP {

// Bytes of one reply line without its ending, and of the text of one
// (multi-line) reply, beyond which the exchange fails: a server cannot make
// the client's memory grow without limit.
constexpr std::size_t kMaxReplyBytes = 64 * 1024;

// Moves every complete line (up to and including its LF) from the front of
// `pending` to the back of `lines`; an unterminated tail stays in `pending`.
void TakeCompleteLines(std::string& pending, std::deque<std::string>& lines);

// Bytes of a line without its ending (CR LF, or a lone LF).
std::size_t LineTextLength(const std::string& line);

// The reply line as the client hands it on: a trailing CR LF removed (a lone
// LF stays).
std::wstring StripLineEnd(std::wstring line);

// A line that opens a multi-line reply ("123-...").
bool OpensMultiLineReply(const std::wstring& line);
// The decimal number at the start of a line (0 when there is none).
unsigned long LeadingNumber(const std::wstring& line);
// A line that closes the multi-line reply opened with `code` ("123 ...").
bool ClosesMultiLineReply(const std::wstring& line, unsigned long code);

// Sets reply.code from reply.text; true when the code is valid: first digit
// 1-5, second 0-5 (the third is not examined).
bool AssignReplyCode(FtpReply& reply);

// successDigit xx -> Ok, 4xx/5xx -> Refused, anything else -> Error. Most
// commands succeed with 2xx; REST succeeds with 3xx (350).
FtpResult ResultOf(const FtpReply& reply, wchar_t successDigit = L'2');

// The number a SIZE reply carries after "213 " (0 when there is none;
// saturates at the largest 32-bit value).
std::uint32_t SizeFromReply(const std::wstring& text);

// Address (host order, first number most significant) and port of a PASV
// reply "... (h1,h2,h3,h4,p1,p2)...". False when the text is malformed.
bool ParsePassiveReply(const std::wstring& text, std::uint32_t& address, std::uint16_t& port);

// "TYPE A N", "TYPE I", "TYPE L 0", ...; empty for a type outside the set.
std::wstring RepresentationCommand(const FtpRepresentation& representation);
// "RETR path", "LIST", ...; empty for a command outside the set.
std::wstring DataCommandLine(DataCommand command, const std::wstring& path);

}  // namespace nsFTP
