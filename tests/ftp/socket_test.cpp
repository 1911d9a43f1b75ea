#include "net/ftp/blocking_socket.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "tests/ftp/script_server.h"

namespace {

using ftptest::Loopback;
using nsSocket::CBlockingSocket;
using nsSocket::CBlockingSocketException;

using nsSocket::kStreamSocket;

// A connected pair of sockets on loopback, closed at the end.
struct Pair {
  CBlockingSocket listener, client, server;
  Pair() {
    listener.Create(kStreamSocket);
    listener.Bind(Loopback(0));
    listener.Listen();
    sockaddr_in bound{};
    listener.GetSockName(bound);
    client.Create(kStreamSocket);
    client.Connect(bound, 10, nullptr);
    sockaddr_in peer{};
    EXPECT_TRUE(listener.Accept(server, peer));
    EXPECT_EQ(peer.sin_addr.s_addr, htonl(0x7f000001));
  }
  ~Pair() {
    listener.Discard();
    client.Discard();
    server.Discard();
  }
};

std::wstring LabelOf(void (*operation)()) {
  try {
    operation();
  } catch (const CBlockingSocketException& e) {
    return e.Label();
  }
  return L"(nothing thrown)";
}

TEST(SocketException, DescribesLabelAndCode) {
  struct Case {
    const char* name;
    const wchar_t* label;
    std::int32_t code;  // what the library reports as its last error
    unsigned capacity;
    std::wstring expected;
  };
  const Case cases[] = {
      {"with code", L"Connect", 10061, 512, L"Connect error 0x0000274d"},
      {"negative code as unsigned hex", L"Send", -1, 512, L"Send error 0xffffffff"},
      {"code 0 leaves out the hex part", L"Receive timeout", 0, 512, L"Receive timeout error"},
      {"cut at the capacity", L"GetHostByName", 0, 8, L"GetHost"},
      {"capacity 1 holds only the terminator", L"Close", 5, 1, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
#ifdef _WIN32
    WSASetLastError(c.code);
#else
    errno = c.code;
#endif
    const CBlockingSocketException e(c.label);
    EXPECT_EQ(e.ErrorCode(), c.code);
    wchar_t buffer[512];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    EXPECT_TRUE(e.DescribeInto(buffer, c.capacity, nullptr));
    EXPECT_EQ(std::wstring(buffer), c.expected);
    if (c.capacity == 512) {
      EXPECT_EQ(e.Describe(), c.expected);
    }
  }
}

TEST(BlockingSocket, HandleIsSetFromCreateUntilCloseOrDiscard) {
  CBlockingSocket socket;
  EXPECT_EQ(socket.Handle(), 0u);
  socket.Close();  // closing nothing is no failure
  socket.Create(kStreamSocket);
  EXPECT_NE(socket.Handle(), 0u);
  socket.Close();
  EXPECT_EQ(socket.Handle(), 0u);
  socket.Create(kStreamSocket);
  socket.Discard();
  EXPECT_EQ(socket.Handle(), 0u);
  socket.Discard();
  EXPECT_EQ(socket.Handle(), 0u);

  auto fresh = socket.NewInstance();
  EXPECT_EQ(fresh->Handle(), 0u);
}

TEST(BlockingSocket, ReceiveReturnsZeroWhenPeerHasClosed) {
  Pair pair;
  pair.server.SendAll("abc", 3, 5);
  pair.server.Close();
  char buffer[16];
  EXPECT_EQ(pair.client.Receive(buffer, sizeof buffer, 5), 3);
  EXPECT_EQ(std::string(buffer, 3), "abc");
  EXPECT_EQ(pair.client.Receive(buffer, sizeof buffer, 5), 0);
}

TEST(BlockingSocket, ZeroTimeoutPollsAndTimeoutLeavesSocketUsable) {
  Pair pair;
  char buffer[8];
  EXPECT_FALSE(pair.client.IsReadable());
  try {
    pair.client.Receive(buffer, sizeof buffer, 0);
    FAIL() << "no time-out";
  } catch (const CBlockingSocketException& e) {
    EXPECT_EQ(e.Label(), L"Receive timeout");
  }
  pair.server.SendAll("x", 1, 5);
  EXPECT_EQ(pair.client.Receive(buffer, sizeof buffer, 5), 1);
}

TEST(BlockingSocket, SendAllDeliversEverythingPastPartialSends) {
  Pair pair;
  // Far more than the socket buffers hold: send() comes back short.
  const std::string payload(8 * 1024 * 1024 + 7, 'q');
  std::string received;
  std::thread reader([&] {
    char buffer[65536];
    int n;
    while ((n = pair.server.Receive(buffer, sizeof buffer, 10)) > 0) received.append(buffer, n);
  });
  EXPECT_EQ(pair.client.SendAll(payload.data(), static_cast<int>(payload.size()), 10),
            static_cast<int>(payload.size()));
  pair.client.Close();
  reader.join();
  EXPECT_EQ(received.size(), payload.size());
  EXPECT_EQ(received, payload);
}

TEST(BlockingSocket, PeerThatNeverReadsGivesSendTimeout) {
  Pair pair;
  const std::string block(65536, 'z');
  std::wstring label;
  try {
    for (int i = 0; i < 100000; ++i)
      pair.client.Send(block.data(), static_cast<int>(block.size()), 0);
  } catch (const CBlockingSocketException& e) {
    label = e.Label();
  }
  EXPECT_EQ(label, L"Send timeout");
}

TEST(BlockingSocket, FailuresNameTheOperation) {
  struct Case {
    const char* name;
    void (*operation)();
    const wchar_t* label;
  };
  const Case cases[] = {
      {"connect to a closed port",
       [] {
         CBlockingSocket probe;
         probe.Create(kStreamSocket);
         probe.Bind(Loopback(0));
         sockaddr_in unused{};
         probe.GetSockName(unused);  // a port nobody listens on
         CBlockingSocket socket;
         socket.Create(kStreamSocket);
         try {
           socket.Connect(unused, 10, nullptr);
         } catch (...) {
           socket.Discard();
           probe.Discard();
           throw;
         }
       },
       L"Connect"},
#ifndef _WIN32
      // A listener whose queue is full drops new connection requests: only
      // the time-out ends such a connect.
      {"connect that nobody answers",
       [] {
         CBlockingSocket listener;
         listener.Create(kStreamSocket);
         listener.Bind(Loopback(0));
         ASSERT_EQ(nsSocket::platform::ListenOn(listener.Handle(), 0), 0);
         sockaddr_in bound{};
         listener.GetSockName(bound);
         CBlockingSocket queued[4];
         try {
           for (CBlockingSocket& socket : queued) {
             socket.Create(kStreamSocket);
             socket.Connect(bound, 1, nullptr);
           }
         } catch (...) {
           for (CBlockingSocket& socket : queued) socket.Discard();
           listener.Discard();
           throw;
         }
       },
       L"Connect"},
#endif
      {"listen twice on one port",
       [] {
         CBlockingSocket first, second;
         first.Create(kStreamSocket);
         first.Bind(Loopback(0));
         first.Listen();
         sockaddr_in bound{};
         first.GetSockName(bound);
         second.Create(kStreamSocket);
         try {
           second.Bind(bound);
         } catch (...) {
           first.Discard();
           second.Discard();
           throw;
         }
       },
       L"Bind"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LabelOf(c.operation), c.label);
  }
}

TEST(BlockingSocket, ResolvesDottedAddressWithPort) {
  CBlockingSocket socket;
  const sockaddr_in address = socket.GetHostByName("127.0.0.1", 2121);
  EXPECT_EQ(address.sin_family, AF_INET);
  EXPECT_EQ(address.sin_port, htons(2121));
  EXPECT_EQ(address.sin_addr.s_addr, htonl(0x7f000001));
}

}  // namespace
