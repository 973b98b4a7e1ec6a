#include "net/IdStack.h"
#include "base/Exception.h"
#include "net/IdException.h"
#include "support/FakeWinsock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

class Loopback : public ::testing::Test {
protected:
    TSocket Open(int type) {
        const TSocket s = stack.CreateSocket(AF_INET, type, 0);
        EXPECT_NE(s, InvalidSocket);
        opened.push_back(s);
        return s;
    }
    void TearDown() override {
        for (const TSocket s : opened) {
            stack.CloseSocket(s);
        }
    }
    uint16_t LocalPort(TSocket s) {
        int family = 0;
        std::string ip;
        uint16_t port = 0;
        stack.SocketAddress(s, family, ip, port);
        EXPECT_EQ(family, AF_INET);
        return port;
    }

    TIdStackWinsock stack;
    std::vector<TSocket> opened;
};

} // namespace

TEST_F(Loopback, StreamsConnectAcceptSendReceiveAndShutDown) {
    const TSocket server = Open(SOCK_STREAM);
    ASSERT_EQ(stack.BindSocket(server, AF_INET, "127.0.0.1", 0), 0);
    ASSERT_EQ(stack.ListenOn(server, 5), 0);
    const uint16_t port = LocalPort(server);
    ASSERT_NE(port, 0);

    // Nothing to accept yet: the wait runs out.
    TIdSocketList ready{server};
    EXPECT_EQ(stack.SelectReady(&ready, nullptr, nullptr, 50), 0);
    EXPECT_TRUE(ready.empty());

    const TSocket client = Open(SOCK_STREAM);
    ASSERT_EQ(stack.ConnectSocket(client, AF_INET, "127.0.0.1", port), 0);
    ready = {server};
    EXPECT_EQ(stack.SelectReady(&ready, nullptr, nullptr, -2), 1);
    EXPECT_EQ(ready, TIdSocketList{server});

    std::string peer;
    uint16_t peerPort = 0;
    const TSocket accepted = stack.AcceptConnection(server, peer, peerPort);
    ASSERT_NE(accepted, InvalidSocket);
    opened.push_back(accepted);
    EXPECT_EQ(peer, "127.0.0.1");
    EXPECT_EQ(peerPort, LocalPort(client));

    int family = 0;
    std::string ip;
    uint16_t remote = 0;
    stack.PeerAddress(client, family, ip, remote);
    EXPECT_EQ(ip, "127.0.0.1");
    EXPECT_EQ(remote, port);

    EXPECT_EQ(stack.SendData(client, "hello", 5, 0), 5);
    char buffer[16] = {};
    EXPECT_EQ(stack.ReceiveData(accepted, buffer, sizeof buffer, 0), 5);
    EXPECT_STREQ(buffer, "hello");

    EXPECT_EQ(stack.ShutdownSocket(client, SHUT_WR), 0);
    EXPECT_EQ(stack.ReceiveData(accepted, buffer, sizeof buffer, 0), 0);
}

TEST_F(Loopback, DatagramsCarryTheirSender) {
    const TSocket receiver = Open(SOCK_DGRAM);
    const TSocket sender = Open(SOCK_DGRAM);
    ASSERT_EQ(stack.BindSocket(receiver, AF_INET, "127.0.0.1", 0), 0);
    ASSERT_EQ(stack.BindSocket(sender, AF_INET, "", 0), 0);
    EXPECT_EQ(stack.SendDatagram(sender, "ping", 4, 0, "127.0.0.1", LocalPort(receiver)), 4);
    char buffer[8] = {};
    std::string from;
    uint16_t fromPort = 0;
    EXPECT_EQ(stack.ReceiveDatagram(receiver, buffer, sizeof buffer, 0, from, fromPort), 4);
    EXPECT_STREQ(buffer, "ping");
    EXPECT_EQ(from, "127.0.0.1");
    EXPECT_EQ(fromPort, LocalPort(sender));
}

TEST_F(Loopback, ARefusedConnectionReadsAsTheWindowsError) {
    const TSocket probe = Open(SOCK_STREAM);
    ASSERT_EQ(stack.BindSocket(probe, AF_INET, "127.0.0.1", 0), 0);
    const uint16_t port = LocalPort(probe);
    const TSocket client = Open(SOCK_STREAM);
    const int result = stack.ConnectSocket(client, AF_INET, "127.0.0.1", port);
    ASSERT_EQ(result, SocketError);
    try {
        stack.CheckSocketResult(result);
        FAIL();
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10061);
        EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
    }
    // An ignored code is no failure.
    EXPECT_EQ(stack.ConnectSocket(client, AF_INET, "127.0.0.1", port), SocketError);
    EXPECT_TRUE(stack.CheckSocketResult(SocketError, {10022, 10061, 10056}));

    // Binding a port in use.
    const TSocket server = Open(SOCK_STREAM);
    ASSERT_EQ(stack.BindSocket(server, AF_INET, "127.0.0.1", 0), 0);
    ASSERT_EQ(stack.ListenOn(server, 1), 0);
    const TSocket second = Open(SOCK_STREAM);
    EXPECT_EQ(stack.BindSocket(second, AF_INET, "127.0.0.1", LocalPort(server)), SocketError);
    EXPECT_EQ(stack.LastSocketError(), 10048);
}

TEST_F(Loopback, ServicesAndNames) {
    EXPECT_EQ(stack.ServicePort("http"), 80);
    EXPECT_EQ(stack.ServicePort("8080"), 8080);
    try {
        stack.ServicePort("no-such-service");
        FAIL();
    } catch (const EIdInvalidServiceName& e) {
        EXPECT_STREQ(e.what(), "no-such-service is not a valid service.");
    }
    const auto names = stack.ServiceNames(80);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), "http");
    EXPECT_TRUE(stack.ServiceNames(1).empty() || stack.ServiceNames(1).front() == "tcpmux");
    EXPECT_FALSE(stack.QueryHostName().empty());
    EXPECT_EQ(stack.ResolveHostAddress("localhost"), "127.0.0.1");
    EXPECT_EQ(stack.HostToNetShort(0x1234), htons(0x1234));
    EXPECT_EQ(stack.NetToHostLong(stack.HostToNetLong(0x01020304)), 0x01020304u);
    try {
        stack.ResolveHostAddress("no-such-host.invalid");
        FAIL();
    } catch (const EIdSocketError& e) {
        EXPECT_GE(e.ErrorCode, 11001);
        EXPECT_LE(e.ErrorCode, 11004);
    }
    // The machine's own addresses: one list, refilled, first entry first.
    const auto& first = stack.LocalAddressList();
    const std::vector<std::string> copy = first;
    EXPECT_EQ(&stack.LocalAddressList(), &first);
    EXPECT_EQ(first, copy);
    ASSERT_FALSE(copy.empty());
    EXPECT_EQ(stack.FirstLocalAddress(), copy.front());
}

TEST(IdStack, TextsAndAddresses) {
    ResetFakeWinsock();
    TIdStackWinsock stack(FakeLibrary());
    EXPECT_EQ(stack.TranslateErrorMessage(10061), "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(stack.TranslateErrorMessage(10035),
              "Socket Error # 10035\r\nOperation would block. ");
    EXPECT_EQ(stack.TranslateErrorMessage(10066), "Socket Error # 10066\r\nDirectory not empty");
    EXPECT_EQ(stack.TranslateErrorMessage(11001), "Socket Error # 11001\r\n");

    EXPECT_EQ(stack.AddressToText({10, 0, 0, 1}), "10.0.0.1");
    EXPECT_EQ(stack.AddressToText({0, 0, 0, 0}), "0.0.0.0");
    EXPECT_EQ(stack.AddressToText({192, 168, 1, 20}), "192.168.1.20");
    EXPECT_EQ(stack.TextToAddress("1.2.3.300"), (TIdIPAddress{1, 2, 3, 44}));
    EXPECT_EQ(stack.TextToAddress("$A.0x10. 7.-1"), (TIdIPAddress{10, 16, 7, 255}));
    EXPECT_EQ(stack.TextToAddress("1.2.3.4.5"), (TIdIPAddress{1, 2, 3, 4}));
    try {
        stack.TextToAddress("10.0.0");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'' is not a valid integer value");
    }
    EXPECT_THROW(stack.TextToAddress("1.x.3.4"), EConvertError);

    std::string text = "a.b.c";
    EXPECT_EQ(TakeToken(text, "."), "a");
    EXPECT_EQ(text, "b.c");
    EXPECT_EQ(TakeToken(text, ".", false), "b");
    EXPECT_EQ(text, "b.c");
    EXPECT_EQ(TakeToken(text, "::"), "b.c");
    EXPECT_EQ(text, "");
    std::string withNul("x\0y", 3);
    EXPECT_EQ(TakeToken(withNul, std::string(1, '\0')), "x");
    EXPECT_EQ(withNul, "y");
}

TEST(IdStack, CheckingAResultReadsTheErrorOnlyAfterAFailure) {
    ResetFakeWinsock();
    TIdStackWinsock stack(FakeLibrary());
    EXPECT_FALSE(stack.CheckSocketResult(0));
    EXPECT_FALSE(stack.CheckSocketResult(5));
    EXPECT_EQ(FakeState().lastErrorReads, 0);
    FakeState().lookUpError = 10054;
    EXPECT_THROW(stack.CheckSocketResult(SocketError), EIdSocketError);
    EXPECT_EQ(FakeState().lastErrorReads, 1);
}

TEST(IdStack, SelectTakesAtMost64SocketsAndChecksBeforeCalling) {
    ResetFakeWinsock();
    TIdStackWinsock stack(FakeLibrary());
    TIdSocketList full(64, 3);
    EXPECT_EQ(stack.SelectReady(&full, nullptr, nullptr, 10), 0);
    EXPECT_EQ(FakeState().selectCalls, 1);
    TIdSocketList over(65, 3);
    try {
        stack.SelectReady(nullptr, &over, nullptr, 10);
        FAIL();
    } catch (const EIdStackSetSizeExceeded& e) {
        EXPECT_STREQ(e.what(), "Set Size Exceeded.");
    }
    EXPECT_EQ(FakeState().selectCalls, 1);
    EXPECT_EQ(over.size(), 65u);
}

TEST(IdStack, LocalAddressesKeepTheResolversOrderAndFailuresReadWell) {
    ResetFakeWinsock();
    FakeState().addresses = {"192.168.7.2", "10.1.1.1"};
    TIdStackWinsock stack(FakeLibrary());
    const auto& list = stack.LocalAddressList();
    EXPECT_EQ(list, (std::vector<std::string>{"192.168.7.2", "10.1.1.1"}));
    FakeState().addresses = {"10.9.9.9"};
    EXPECT_EQ(&stack.LocalAddressList(), &list);
    EXPECT_EQ(list, std::vector<std::string>{"10.9.9.9"});
    EXPECT_EQ(stack.FirstLocalAddress(), "10.9.9.9");

    FakeState().addresses.clear();
    try {
        stack.FirstLocalAddress();
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (0)");
    }
    FakeState().lookUpError = 11001;
    try {
        stack.FirstLocalAddress();
        FAIL();
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 11001);
        EXPECT_STREQ(e.what(), "Socket Error # 11001\r\n");
    }
    EXPECT_TRUE(list.empty());
}

TEST(IdStack, LoadAndStartUpFailuresLeaveNothingLoaded) {
    ResetFakeWinsock();
    FakeState().loads = false;
    try {
        TIdStackWinsock stack(FakeLibrary());
        FAIL();
    } catch (const EIdStackCanNotLoadWinsock& e) {
        EXPECT_STREQ(e.what(), "fake.dll could not be loaded.");
    }
    ResetFakeWinsock();
    FakeState().startupResult = 10091;
    try {
        TIdStackWinsock stack(FakeLibrary());
        FAIL();
    } catch (const EIdStackInitializationFailed& e) {
        EXPECT_STREQ(e.what(), "Winsock Initialization Error.");
    }
    EXPECT_EQ(FakeState().loadCount, FakeState().unloadCount);
    ResetFakeWinsock();
    {
        TIdStackWinsock stack(FakeLibrary());
        EXPECT_EQ(stack.Version().Name, "Winsock stack");
    }
    EXPECT_EQ(FakeState().unloadCount, 1);
}
