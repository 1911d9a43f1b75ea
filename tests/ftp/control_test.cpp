// The control connection against the scripted server: logon sequences,
// reply framing, simple commands.
#include <gtest/gtest.h>

#include <thread>

#include "net/ftp/ftp_framing.h"
#include "tests/ftp/ftp_test_support.h"

namespace ftptest {
namespace {

using nsFTP::FirewallType;
using nsFTP::FtpReply;
using nsFTP::FtpResult;

const std::vector<Step> kQuit = {Expect("QUIT"), Reply("221 bye\r\n")};

struct LogonCase {
  const char* name;
  FirewallType type;
  std::uint16_t serverPort;  // the port of the server behind the firewall
  std::vector<Step> script;  // after the connection is accepted
  bool loggedOn;
};

TEST(FtpLogon, SequencesSendTheirCommandLines) {
  // Behind a firewall the client connects to the firewall (our script) and
  // names the real server only in its command lines.
  const std::vector<Step> serverLogon = {Expect("USER u"), Reply("331 pw\r\n"), Expect("PASS p"),
                                         Reply("230 in\r\n")};
  const std::vector<Step> cwd = {Expect("CWD /"), Reply("250 ok\r\n")};
  const std::vector<Step> firewallLogon = {Reply("220 fw\r\n"), Expect("USER fu"),
                                           Reply("331 pw\r\n"), Expect("PASS fp"),
                                           Reply("230 fw ok\r\n")};
  const LogonCase cases[] = {
      {"direct", FirewallType::None, 21, Steps({{Reply("220 hi\r\n")}, serverLogon, cwd, kQuit}),
       true},
      {"230 to USER needs no PASS", FirewallType::None, 21,
       Steps({{Reply("220 hi\r\n"), Expect("USER u"), Reply("230 in\r\n")}, cwd, kQuit}), true},
      {"332 to PASS leads to ACCT", FirewallType::None, 21,
       Steps({{Reply("220 hi\r\n"), Expect("USER u"), Reply("331 pw\r\n"), Expect("PASS p"),
               Reply("332 acct\r\n"), Expect("ACCT a"), Reply("230 in\r\n")},
              cwd,
              kQuit}),
       true},
      {"3xx to ACCT is refused", FirewallType::None, 21,
       Steps({{Reply("220 hi\r\n"), Expect("USER u"), Reply("331 pw\r\n"), Expect("PASS p"),
               Reply("332 acct\r\n"), Expect("ACCT a"), Reply("332 again\r\n")},
              kQuit}),
       false},
      {"530 to PASS", FirewallType::None, 21,
       Steps({{Reply("220 hi\r\n"), Expect("USER u"), Reply("331 pw\r\n"), Expect("PASS p"),
               Reply("530 no\r\n")},
              kQuit}),
       false},
      {"greeting 120 is not ready", FirewallType::None, 21,
       Steps({{Reply("120 later\r\n")}, kQuit}), false},
      {"multi-line greeting is one reply", FirewallType::None, 21,
       Steps({{Reply("220-Welcome\r\n220-second line\r\n220 ready\r\n")}, serverLogon, cwd, kQuit}),
       true},
      {"CWD / refused", FirewallType::None, 21,
       Steps({{Reply("220 hi\r\n")}, serverLogon, {Expect("CWD /"), Reply("550 no\r\n")}, kQuit}),
       false},
      {"site host", FirewallType::SiteHost, 2121,
       Steps({firewallLogon,
              {Expect("SITE 127.0.0.2:2121"), Reply("331 connected\r\n")},
              serverLogon,
              cwd,
              kQuit}),
       true},
      {"site host: 2xx to SITE is refused", FirewallType::SiteHost, 2121,
       Steps({firewallLogon, {Expect("SITE 127.0.0.2:2121"), Reply("200 hm\r\n")}, kQuit}), false},
      {"site host, port 21 leaves the port out", FirewallType::SiteHost, 21,
       Steps({{Reply("220 fw\r\n"), Expect("USER fu"), Reply("230 fw ok\r\n"),
               Expect("SITE 127.0.0.2"), Reply("331 connected\r\n")},
              serverLogon,
              cwd,
              kQuit}),
       true},
      {"user after firewall logon", FirewallType::UserAfterFirewallLogon, 2121,
       Steps({firewallLogon,
              {Expect("USER u@127.0.0.2:2121"), Reply("331 pw\r\n"), Expect("PASS p"),
               Reply("230 in\r\n")},
              cwd,
              kQuit}),
       true},
      {"proxy open", FirewallType::ProxyOpen, 2121,
       Steps({{Reply("220 proxy\r\n"), Expect("OPEN 127.0.0.2:2121"), Reply("220 open\r\n")},
              serverLogon,
              cwd,
              kQuit}),
       true},
      {"transparent", FirewallType::Transparent, 2121,
       Steps({firewallLogon, serverLogon, cwd, kQuit}), true},
      {"user at host", FirewallType::UserAtHost, 2121,
       Steps({{Reply("220 fw\r\n"), Expect("USER u@127.0.0.2:2121"), Reply("331 pw\r\n"),
               Expect("PASS p"), Reply("230 in\r\n")},
              cwd,
              kQuit}),
       true},
      {"firewall user at host", FirewallType::FirewallUserAtHost, 2121,
       Steps({{Reply("220 fw\r\n"), Expect("USER fu@127.0.0.2:2121"), Reply("331 pw\r\n"),
               Expect("PASS fp"), Reply("230 fw ok\r\n")},
              serverLogon,
              cwd,
              kQuit}),
       true},
      {"user at host firewall user", FirewallType::UserAtHostFirewallUser, 2121,
       Steps({{Reply("220 fw\r\n"), Expect("USER u@127.0.0.2:2121 fu"), Reply("331 pw\r\n"),
               Expect("PASS p"), Reply("230 in\r\n")},
              cwd,
              kQuit}),
       true},
      {"user at host firewall user: 2xx to USER is refused", FirewallType::UserAtHostFirewallUser,
       2121,
       Steps(
           {{Reply("220 fw\r\n"), Expect("USER u@127.0.0.2:2121 fu"), Reply("230 in\r\n")}, kQuit}),
       false},
      {"user at firewall user at host", FirewallType::UserAtFirewallUserAtHost, 2121,
       Steps({{Reply("220 fw\r\n"), Expect("USER u@fu@127.0.0.2:2121"), Reply("331 pw\r\n"),
               Expect("PASS p@fp"), Reply("230 in\r\n")},
              cwd,
              kQuit}),
       true},
  };
  for (const LogonCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptServer server(c.script);
    nsFTP::FtpLogonInfo info;
    if (c.type == FirewallType::None) {
      info = DirectLogon(server);
    } else {
      info = nsFTP::FtpLogonInfo(L"127.0.0.2", c.serverPort, L"u", L"p", L"a");
      info.firewallHost = L"127.0.0.1";
      info.firewallPort = server.Port();
    }
    info.account = L"a";
    info.firewallUser = L"fu";
    info.firewallPassword = L"fp";
    info.firewallType = c.type;
    {
      auto client = NewClient();
      EXPECT_EQ(client->Logon(info), c.loggedOn);
    }  // the destructor logs out
    EXPECT_EQ(server.Transcript(), ExpectedLines(c.script));
    EXPECT_EQ(server.Errors(), std::vector<std::string>());
  }
}

TEST(FtpLogon, FirewallTypeOutsideTheRangeDoesNotConnect) {
  ScriptServer server({Reply("220 hi\r\n")});
  nsFTP::FtpLogonInfo info = DirectLogon(server);
  info.firewallType = static_cast<FirewallType>(9);
  auto client = NewClient();
  EXPECT_FALSE(client->Logon(info));
  info.firewallType = static_cast<FirewallType>(-1);
  EXPECT_FALSE(client->Logon(info));
  EXPECT_FALSE(client->IsConnected());
  server.Transcript();
  EXPECT_EQ(server.ControlConnections(), 0);
}

TEST(FtpLogon, SecondLogonLogsOutFirst) {
  const std::vector<Step> script =
      Steps({LogonSteps(), kQuit, {AcceptControl()}, LogonSteps("u", "p"), kQuit});
  ScriptServer server(script);
  {
    auto client = NewClient();
    EXPECT_TRUE(client->Logon(DirectLogon(server)));
    EXPECT_TRUE(client->Logon(DirectLogon(server)));
  }
  EXPECT_EQ(server.Transcript(), ExpectedLines(script));
  EXPECT_EQ(server.Errors(), std::vector<std::string>());
}

struct ReadCase {
  const char* name;
  std::vector<Step> script;  // what the server sends after the connection opens
  struct Read {
    bool ok;
    std::wstring text;
    std::wstring code;
  };
  std::vector<Read> reads;  // ReadReply calls, in order
};

// Each byte in a send of its own, apart from the next.
std::vector<Step> ByteByByte(const std::string& bytes) {
  std::vector<Step> steps;
  for (char c : bytes) {
    steps.push_back(Reply(std::string(1, c)));
    steps.push_back(Delay(2));
  }
  return steps;
}

TEST(FtpReplies, FramingOfRepliesAsTheyArrive) {
  const std::string longLine(nsFTP::kMaxReplyBytes + 10, 'x');
  std::string longReply = "220-start\r\n";
  while (longReply.size() <= nsFTP::kMaxReplyBytes)
    longReply += "220-" + std::string(200, 'y') + "\r\n";
  longReply += "220 end\r\n";
  // Reply texts of exactly the limit and one byte beyond, without the CR LF.
  const std::string atLimit = "200 " + std::string(nsFTP::kMaxReplyBytes - 4, 'z');
  const std::string overLimit = atLimit + "z";
  const ReadCase cases[] = {
      {"reply split into pieces",
       {Reply("22"), Delay(30), Reply("0 hel"), Delay(30), Reply("lo\r\n")},
       {{true, L"220 hello", L"220"}}},
      {"two replies in one read",
       {Reply("200 one\r\n201 two\r\n")},
       {{true, L"200 one", L"200"}, {true, L"201 two", L"201"}}},
      {"multi-line reply split at its line ends",
       {Reply("230-a\r"), Delay(30), Reply("\n230-b\r\n230"), Delay(30), Reply(" c\r\n")},
       {{true, L"230-a\r\n230-b\r\n230 c", L"230"}}},
      {"a line that ends in LF alone keeps it", {Reply("200 lf\n")}, {{true, L"200 lf\n", L"200"}}},
      {"no valid code",
       {Reply("260 odd\r\n20\r\n")},
       {{false, L"260 odd", L""}, {false, L"20", L""}}},
      {"closed connection ends the lines",
       {Reply("221 bye\r\n"), Hangup()},
       {{true, L"221 bye", L"221"}, {false, L"", L""}}},
      {"unterminated last line before the close",
       {Reply("421 going"), Hangup()},
       {{true, L"421 going", L"421"}, {false, L"", L""}}},
      {"multi-line reply split byte by byte",
       ByteByByte("230-a\r\n230 b\r\n"),
       {{true, L"230-a\r\n230 b", L"230"}}},
      {"line longer than the limit", {Reply(longLine)}, {{false, L"", L""}}},
      // However the line is cut into reads, the limit is the same.
      {"line of the limit with its CR and LF apart",
       {Reply(atLimit + "\r"), Delay(30), Reply("\n")},
       {{true, std::wstring(atLimit.begin(), atLimit.end()), L"200"}}},
      {"line one byte over the limit, its end with the CR LF",
       {Reply(overLimit.substr(0, overLimit.size() - 1)), Delay(30), Reply("z\r\n")},
       {{false, L"", L""}}},
      {"line one byte over the limit in one piece",
       {Reply(overLimit + "\r\n")},
       {{false, L"", L""}}},
      {"multi-line reply longer than the limit", {Reply(longReply)}, {{false, L"", L""}}},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptServer server(c.script);
    auto client = NewClient();
    ASSERT_TRUE(client->OpenControlConnection(L"127.0.0.1", server.Port()));
    for (const auto& read : c.reads) {
      FtpReply reply;
      EXPECT_EQ(client->ReadReply(reply), read.ok);
      if (read.ok || !read.text.empty()) {
        EXPECT_EQ(reply.text, read.text);
        EXPECT_EQ(std::wstring(reply.code), read.code);
      }
    }
    client->CloseControlConnection();
    server.Transcript();
    EXPECT_EQ(server.Errors(), std::vector<std::string>());
  }
}

TEST(FtpReplies, MultiLineReplyClosedWithAnotherCodeTimesOut) {
  ScriptServer server({Reply("220-start\r\n221 not the end\r\n")});
  auto client = NewClient();
  client->timeoutSeconds = 1;
  ASSERT_TRUE(client->OpenControlConnection(L"127.0.0.1", server.Port()));
  FtpReply reply;
  EXPECT_FALSE(client->ReadReply(reply));
  // A time-out discards the connection.
  EXPECT_FALSE(client->IsConnected());
  EXPECT_FALSE(client->SendCommand(L"NOOP"));
}

TEST(FtpCommands, SimpleCommandsAndTheirResults) {
  const std::vector<Step> script =
      Steps({LogonSteps(),
             {Expect("CWD /pub/a b"), Reply("250 ok\r\n"), Expect("CWD missing"),
              Reply("550 no\r\n"), Expect("CWD odd"), Reply("150 what\r\n")},
             kQuit});
  ScriptServer server(script);
  auto client = NewClient();
  ASSERT_TRUE(client->Logon(DirectLogon(server)));
  EXPECT_EQ(client->ChangeWorkingDirectory(L"/pub/a b"), FtpResult::Ok);
  EXPECT_EQ(client->ChangeWorkingDirectory(L"missing"), FtpResult::Refused);
  EXPECT_EQ(client->ChangeWorkingDirectory(L"odd"), FtpResult::Error);
  // A line break would smuggle a second command onto the wire.
  EXPECT_FALSE(client->SendCommand(L"CWD x\r\nDELE y"));
  EXPECT_EQ(client->ChangeWorkingDirectory(L"x\nDELE y"), FtpResult::Error);
  // With nothing running there is nothing to stop: Abort sends nothing.
  EXPECT_EQ(client->Abort(), FtpResult::Ok);
  EXPECT_FALSE(client->abortRequested);
  EXPECT_EQ(client->Logout(), FtpResult::Ok);
  EXPECT_FALSE(client->IsConnected());
  EXPECT_EQ(client->Logout(), FtpResult::Error);
  EXPECT_EQ(server.Transcript(), ExpectedLines(script));
  EXPECT_EQ(server.Errors(), std::vector<std::string>());
}

TEST(FtpCommands, FileSizeAndModifiedTimeFromEveryReplyRead) {
  // The connection starts in ASCII mode, where servers may refuse SIZE: the
  // first query switches to binary, the later ones find it set.
  const std::vector<Step> script = Steps(
      {LogonSteps(),
       {Expect("TYPE I"), Reply("200 binary\r\n"), Expect("SIZE a.zip"), Reply("213 1048576\r\n"),
        Expect("SIZE gone.zip"), Reply("550 No such file\r\n"), Expect("MDTM a.zip"),
        Reply("213 20261210093000.5 \r\n"), Expect("MDTM gone.zip"), Reply("550 no\r\n"),
        Expect("SIZE late.zip")},
       {Hangup()}});
  ScriptServer server(script);
  auto client = NewClient();
  ASSERT_TRUE(client->Logon(DirectLogon(server)));
  std::uint32_t size = 7;
  EXPECT_EQ(client->FileSize(L"a.zip", size), FtpResult::Ok);
  EXPECT_EQ(size, 1048576u);
  EXPECT_EQ(client->FileSize(L"gone.zip", size), FtpResult::Refused);
  EXPECT_EQ(size, 0u);
  std::string stamp = "none";
  EXPECT_TRUE(client->ModifiedTime(L"a.zip", stamp));
  EXPECT_EQ(stamp, "20261210093000.5");
  EXPECT_FALSE(client->ModifiedTime(L"gone.zip", stamp));
  EXPECT_EQ(stamp, "20261210093000.5");
  size = 7;
  EXPECT_EQ(client->FileSize(L"late.zip", size), FtpResult::Error);
  EXPECT_EQ(size, 7u);  // no reply, no change
  EXPECT_EQ(server.Transcript(), ExpectedLines(script));
  EXPECT_EQ(server.Errors(), std::vector<std::string>());
}

TEST(FtpCommands, DestructorClosesTheConnectionAfterAFailedLogout) {
  // QUIT answered without a valid code: the log-out fails, and the socket,
  // which does not close itself, must still be closed.
  const std::vector<Step> script =
      Steps({LogonSteps(), {Expect("QUIT"), Reply("bye\r\n"), ExpectHangup()}});
  ScriptServer server(script);
  {
    auto client = NewClient();
    ASSERT_TRUE(client->Logon(DirectLogon(server)));
  }
  EXPECT_EQ(server.Transcript(), ExpectedLines(script));
  EXPECT_EQ(server.Errors(), std::vector<std::string>());
}

// A client being abandoned: a reply that never comes is not waited for, and
// nothing later goes on the wire.
TEST(FtpCommands, InterruptEndsAWaitForAReplyAndEveryLaterCommand) {
  const std::vector<Step> script =
      Steps({LogonSteps(), {Expect("TYPE I"), WaitForSignal()}});
  ScriptServer server(script);
  auto client = NewClient();
  ASSERT_TRUE(client->Logon(DirectLogon(server)));
  client->timeoutSeconds = 3600;  // only the interrupt can end the wait
  std::uint32_t size = 0;
  FtpResult result = FtpResult::Ok;
  std::thread worker([&] { result = client->FileSize(L"f.zip", size); });
  EXPECT_TRUE(server.AwaitLines(ExpectedLines(script).size()));
  client->Interrupt();
  worker.join();
  EXPECT_EQ(result, FtpResult::Error);
  EXPECT_FALSE(client->Logon(DirectLogon(server)));
  server.Signal();
  EXPECT_EQ(server.Transcript(), ExpectedLines(script));
}

}  // namespace
}  // namespace ftptest
