#include "net/ftp/ftp_framing.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace nsFTP {
namespace {

TEST(FtpFraming, CompleteLinesAreTakenWhateverThePiecesAre) {
  const std::string stream = "220-first\r\n220 last\r\n331 x\n5";
  const std::vector<std::string> expected = {"220-first\r\n", "220 last\r\n", "331 x\n"};
  // Feed the same bytes split at every point into two pieces, and one byte at
  // a time: the lines must come out the same.
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    SCOPED_TRACE(cut);
    std::string pending;
    std::deque<std::string> lines;
    pending += stream.substr(0, cut);
    TakeCompleteLines(pending, lines);
    pending += stream.substr(cut);
    TakeCompleteLines(pending, lines);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.end()), expected);
    EXPECT_EQ(pending, "5");
  }
  std::string pending;
  std::deque<std::string> lines;
  for (const char c : stream) {
    pending += c;
    TakeCompleteLines(pending, lines);
  }
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.end()), expected);
}

TEST(FtpFraming, ReplyCodeNeedsFirstDigitOneToFiveAndSecondZeroToFive) {
  struct Case {
    std::wstring text;
    std::wstring code;  // empty: no valid code
  };
  const Case cases[] = {
      {L"220 ready", L"220"},
      {L"150", L"150"},
      {L"559 x", L"559"},
      {L"25", L""},
      {L"260 odd", L""},
      {L"620 x", L""},
      {L"020 x", L""},
      {L"2x0 x", L""},
      {L"", L""},
      {L"227x", L"227"},
      {L"22a weird third digit", L"22a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    FtpReply reply;
    reply.text = c.text;
    EXPECT_EQ(AssignReplyCode(reply), !c.code.empty());
    EXPECT_EQ(std::wstring(reply.code), c.code);
  }
}

TEST(FtpFraming, SizeReplyNumber) {
  struct Case {
    std::wstring text;
    std::uint32_t size;
  };
  const Case cases[] = {
      {L"213 1234", 1234},
      {L"213 0", 0},
      {L"213 77 bytes", 77},
      {L"550 No such file", 0},
      {L"213", 0},
      {L"213 ", 0},
      {L"213 4294967295", 4294967295u},
      {L"213 99999999999", 4294967295u},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SizeFromReply(c.text), c.size) << std::string(c.text.begin(), c.text.end());
  }
}

TEST(FtpFraming, PassiveReplyParsedExactlyAsWritten) {
  struct Case {
    std::wstring text;
    bool ok;
    std::uint32_t address;
    std::uint16_t port;
  };
  const Case cases[] = {
      {L"227 Entering Passive Mode (192,168,1,5,19,137).", true, 0xc0a80105, 5001},
      {L"227 =(127,0,0,1,255,255)", true, 0x7f000001, 65535},
      {L"227 (1,2,3,4,256,1)", true, 0x01020304, 1},  // 256*256 kept to 16 bits
      {L"227 Entering Passive Mode 127,0,0,1,4,1", false, 0, 0},
      {L"227 (127, 0, 0, 1, 4, 1)", false, 0, 0},
      {L"227 (127,0,0,1,4)", false, 0, 0},
      {L"227 (127,0,0,1,4,1", false, 0, 0},
      {L"227 (127,0,0,1;4,1)", false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    EXPECT_EQ(ParsePassiveReply(c.text, address, port), c.ok);
    if (c.ok) {
      EXPECT_EQ(address, c.address);
      EXPECT_EQ(port, c.port);
    }
  }
}

TEST(FtpFraming, TypeCommandCarriesAFormatOnlyForAsciiAndEbcdic) {
  using R = RepresentationType;
  using F = TypeFormat;
  struct Case {
    FtpRepresentation representation;
    std::wstring line;
  };
  const Case cases[] = {
      {{R::Ascii, F::NonPrint}, L"TYPE A N"},     {{R::Ebcdic, F::CarriageControl}, L"TYPE E C"},
      {{R::Ascii, F::TelnetFormat}, L"TYPE A T"}, {{R::Ascii, static_cast<F>(9)}, L"TYPE A"},
      {{R::Image, F::TelnetFormat}, L"TYPE I"},   {{R::LocalByte, F::NonPrint}, L"TYPE L 0"},
      {{static_cast<R>(4), F::NonPrint}, L""},
  };
  for (const Case& c : cases) EXPECT_EQ(RepresentationCommand(c.representation), c.line);
}

}  // namespace
}  // namespace nsFTP
