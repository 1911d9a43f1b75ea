// Downloads against the scripted server: resume, REST, PASV, SIZE limits,
// final replies, the representation cache.
#include <gtest/gtest.h>

#include "tests/ftp/ftp_test_support.h"

namespace ftptest {
namespace {

using nsFTP::FtpRepresentation;
using nsFTP::RepresentationType;
using nsFTP::TypeFormat;

const FtpRepresentation kImage{RepresentationType::Image, TypeFormat::NonPrint};
const std::vector<Step> kQuit = {Expect("QUIT"), Reply("221 bye\r\n")};
const std::string kPassive = "227 Entering Passive Mode (127,0,0,1,{port}).\r\n";

std::vector<Step> SizeReply(const std::string& reply) {
  return {Expect("SIZE f.zip"), Reply(reply)};
}
std::vector<Step> TypeImage() { return {Expect("TYPE I"), Reply("200 binary\r\n")}; }
std::vector<Step> PassiveData(const std::string& reply = kPassive) {
  return {Expect("PASV"), OpenData(), Passive(reply), AcceptData()};
}
std::vector<Step> Retrieve() { return {Expect("RETR f.zip"), Reply("150 opening\r\n")}; }
std::vector<Step> Data(std::size_t offset, std::size_t count) {
  return {SendData(PatternBytes(offset, count)), CloseData(), Reply("226 done\r\n")};
}

struct DownloadCase {
  const char* name;
  bool localExists;
  std::size_t localLength;   // pattern bytes already in the local file
  std::vector<Step> script;  // after the logon
  bool result;
  std::string localAfter;
  std::uint32_t remoteSize;
  std::uint32_t position;
  std::uint32_t transferred;
};

TEST(FtpDownload, ResultsAndLocalFiles) {
  const DownloadCase cases[] = {
      {"fresh download", false, 0,
       Steps({TypeImage(),
              SizeReply("213 5000\r\n"),
              PassiveData(),
              Retrieve(),
              {SendData(PatternBytes(0, 1000)), Delay(20)},
              Data(1000, 4000),
              kQuit}),
       true, PatternBytes(0, 5000), 5000, 5000, 5000},
      {"resume after a partial file", true, 1500,
       Steps({TypeImage(),
              SizeReply("213 5000\r\n"),
              PassiveData(),
              {Expect("REST 1500"), Reply("350 restarting\r\n")},
              Retrieve(),
              Data(1500, 3500),
              kQuit}),
       true, PatternBytes(0, 5000), 5000, 5000, 3500},
      {"empty local file sends no REST", true, 0,
       Steps(
           {TypeImage(), SizeReply("213 300\r\n"), PassiveData(), Retrieve(), Data(0, 300), kQuit}),
       true, PatternBytes(0, 300), 300, 300, 300},
      {"REST refused: no RETR", true, 1500,
       Steps({TypeImage(),
              SizeReply("213 5000\r\n"),
              PassiveData(),
              {Expect("REST 1500"), Reply("502 not implemented\r\n")},
              kQuit}),
       false, PatternBytes(0, 1500), 5000, 1500, 0},
      // Without a size the end of the file cannot be told from a cut: the
      // download fails before anything is asked.
      {"SIZE refused: no RETR", true, 1500,
       Steps({TypeImage(), SizeReply("550 not a plain file\r\n"), kQuit}), false,
       PatternBytes(0, 1500), 0, 1500, 0},
      {"SIZE of an empty file and empty local file: nothing stored", false, 0,
       Steps({TypeImage(), SizeReply("213 0\r\n"), PassiveData(), Retrieve(), Data(0, 100), kQuit}),
       true, "", 0, 0, 0},
      {"data connection closed early: the final reply does not make it whole", false, 0,
       Steps({TypeImage(), SizeReply("213 5000\r\n"), PassiveData(), Retrieve(), Data(0, 3000),
              kQuit}),
       false, PatternBytes(0, 3000), 5000, 3000, 3000},
      {"more bytes than SIZE: the surplus is not stored", false, 0,
       Steps({TypeImage(), SizeReply("213 3000\r\n"), PassiveData(), Retrieve(), Data(0, 5000),
              kQuit}),
       true, PatternBytes(0, 3000), 3000, 3000, 3000},
      // Not a part of the remote file: nothing is asked or appended.
      {"local file longer than the remote size", true, 6000,
       Steps({TypeImage(), SizeReply("213 5000\r\n"), kQuit}), false, PatternBytes(0, 6000), 5000,
       6000, 0},
      {"PASV without parentheses", false, 0,
       Steps({TypeImage(),
              SizeReply("213 5000\r\n"),
              {Expect("PASV"), Reply("227 Entering Passive Mode 127,0,0,1,4,1\r\n")},
              kQuit}),
       false, "", 5000, 0, 0},
      {"PASV with blanks", false, 0,
       Steps({TypeImage(),
              SizeReply("213 5000\r\n"),
              {Expect("PASV"), Reply("227 Entering Passive Mode (127, 0, 0, 1, 4, 1)\r\n")},
              kQuit}),
       false, "", 5000, 0, 0},
      {"PASV refused", false, 0,
       Steps(
           {TypeImage(), SizeReply("213 5000\r\n"), {Expect("PASV"), Reply("425 no\r\n")}, kQuit}),
       false, "", 5000, 0, 0},
      {"PASV naming another host: the data goes to the control peer", false, 0,
       Steps({TypeImage(), SizeReply("213 700\r\n"),
              PassiveData("227 Entering Passive Mode (127,0,0,2,{port}).\r\n"), Retrieve(),
              Data(0, 700), kQuit}),
       true, PatternBytes(0, 700), 700, 700, 700},
      {"TYPE refused", false, 0, Steps({{Expect("TYPE I"), Reply("504 no\r\n")}, kQuit}), false, "",
       0, 0, 0},
      {"RETR refused", false, 0,
       Steps({TypeImage(),
              SizeReply("213 5000\r\n"),
              PassiveData(),
              {Expect("RETR f.zip"), Reply("550 denied\r\n")},
              kQuit}),
       false, "", 5000, 0, 0},
      {"final reply refused", false, 0,
       Steps({TypeImage(),
              SizeReply("213 400\r\n"),
              PassiveData(),
              Retrieve(),
              {SendData(PatternBytes(0, 400)), CloseData(), Reply("426 broken\r\n")},
              kQuit}),
       false, PatternBytes(0, 400), 400, 400, 400},
  };
  for (const DownloadCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const auto local = folder.path / "f.zip";
    if (c.localExists) WriteFile(local, PatternBytes(0, c.localLength));
    const std::vector<Step> script = Steps({LogonSteps(), c.script});
    ScriptServer server(script);
    {
      auto client = NewClient();
      ASSERT_TRUE(client->Logon(DirectLogon(server)));
      EXPECT_EQ(client->DownloadFile(L"f.zip", Wide(local), kImage), c.result);
      EXPECT_EQ(client->lastTransferEnd,
                c.result ? nsFTP::TransferEnd::Completed : nsFTP::TransferEnd::Failed);
      EXPECT_EQ(client->remoteSize, c.remoteSize);
      EXPECT_EQ(client->position, c.position);
      EXPECT_EQ(client->transferredBytes, c.transferred);
      EXPECT_FALSE(client->transferInProgress);
      EXPECT_FALSE(client->abortRequested);
      client->Logout();
    }
    EXPECT_EQ(server.Transcript(), ExpectedLines(script));
    EXPECT_EQ(server.Errors(), std::vector<std::string>());
    EXPECT_TRUE(ReadFile(local) == c.localAfter) << "local file differs";
  }
}

TEST(FtpDownload, WithoutResumeTheFileIsRewrittenFromTheStart) {
  TempFolder folder;
  const auto local = folder.path / "f.zip";
  WriteFile(local, std::string(9000, 'o'));
  const std::vector<Step> script = Steps({LogonSteps(), TypeImage(), SizeReply("213 800\r\n"),
                                          PassiveData(), Retrieve(), Data(0, 800), kQuit});
  ScriptServer server(script);
  {
    auto client = NewClient();
    client->resumeEnabled = false;
    ASSERT_TRUE(client->Logon(DirectLogon(server)));
    EXPECT_TRUE(client->DownloadFile(L"f.zip", Wide(local), kImage));
    EXPECT_EQ(client->position, 800u);
  }
  EXPECT_EQ(server.Transcript(), ExpectedLines(script));
  EXPECT_TRUE(ReadFile(local) == PatternBytes(0, 800));
}

TEST(FtpDownload, TypeIsSentOncePerConnection) {
  const std::vector<Step> script = Steps({LogonSteps(),
                                          TypeImage(),
                                          SizeReply("213 10\r\n"),
                                          PassiveData(),
                                          Retrieve(),
                                          Data(0, 10),
                                          SizeReply("213 10\r\n"),
                                          PassiveData(),
                                          Retrieve(),
                                          Data(0, 10),
                                          kQuit,
                                          {AcceptControl()},
                                          LogonSteps(),
                                          TypeImage(),
                                          SizeReply("213 10\r\n"),
                                          PassiveData(),
                                          Retrieve(),
                                          Data(0, 10),
                                          kQuit});
  ScriptServer server(script);
  TempFolder folder;
  {
    auto client = NewClient();
    client->resumeEnabled = false;
    ASSERT_TRUE(client->Logon(DirectLogon(server)));
    EXPECT_TRUE(client->DownloadFile(L"f.zip", Wide(folder.path / "1"), kImage));
    EXPECT_TRUE(client->DownloadFile(L"f.zip", Wide(folder.path / "2"), kImage));
    ASSERT_TRUE(client->Logon(DirectLogon(server)));
    EXPECT_TRUE(client->DownloadFile(L"f.zip", Wide(folder.path / "3"), kImage));
  }
  EXPECT_EQ(server.Transcript(), ExpectedLines(script));
  EXPECT_EQ(server.Errors(), std::vector<std::string>());
}

TEST(FtpDownload, MissingLocalFolderFailsWithoutTraffic) {
  const std::vector<Step> script = Steps({LogonSteps(), kQuit});
  ScriptServer server(script);
  TempFolder folder;
  {
    auto client = NewClient();
    ASSERT_TRUE(client->Logon(DirectLogon(server)));
    EXPECT_FALSE(client->DownloadFile(L"f.zip", Wide(folder.path / "no" / "f.zip"), kImage));
  }
  EXPECT_EQ(server.Transcript(), ExpectedLines(script));
}

TEST(FtpDownload, DataReceiveTimeoutKeepsWhatArrived) {
  // The one data-side time-out: 1 s of silence after 1000 bytes.
  const std::vector<Step> script =
      Steps({LogonSteps(),
             TypeImage(),
             SizeReply("213 5000\r\n"),
             PassiveData(),
             Retrieve(),
             {SendData(PatternBytes(0, 1000)), WaitForSignal(), CloseData()},
             kQuit});
  ScriptServer server(script);
  TempFolder folder;
  const auto local = folder.path / "f.zip";
  {
    auto client = NewClient();
    ASSERT_TRUE(client->Logon(DirectLogon(server)));
    client->timeoutSeconds = 1;
    EXPECT_FALSE(client->DownloadFile(L"f.zip", Wide(local), kImage));
    EXPECT_EQ(client->lastTransferEnd, nsFTP::TransferEnd::Failed);
    EXPECT_EQ(client->position, 1000u);
    server.Signal();
    // The final reply of the failed RETR stays unread; the server answers
    // QUIT next.
    client->timeoutSeconds = 3;
  }
  EXPECT_EQ(server.Transcript(), ExpectedLines(script));
  EXPECT_EQ(server.Errors(), std::vector<std::string>());
  EXPECT_TRUE(ReadFile(local) == PatternBytes(0, 1000));
}

#ifndef _WIN32
// A full disk: the bytes did not reach the file, so the file is not complete.
TEST(FtpDownload, AFailedLocalWriteFailsTheDownload) {
  const std::vector<Step> script = Steps(
      {LogonSteps(), TypeImage(), SizeReply("213 300\r\n"), PassiveData(), Retrieve(), Data(0, 300),
       kQuit});
  ScriptServer server(script);
  auto client = NewClient();
  ASSERT_TRUE(client->Logon(DirectLogon(server)));
  client->resumeEnabled = false;
  EXPECT_FALSE(client->DownloadFile(L"/dev/full", L"/dev/full", kImage));
  EXPECT_EQ(client->lastTransferEnd, nsFTP::TransferEnd::Failed);
  client->Logout();
}
#endif

}  // namespace
}  // namespace ftptest
