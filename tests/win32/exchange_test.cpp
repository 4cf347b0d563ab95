// One exchange with the service, in this process: what reaches the caller
// and which message shows for each way the service answers or fails.
#include "tests/win32/prelude.h"

namespace {

const char error_caption[] = "Грешка!";

// Runs one exchange of the version request against the service named by
// TVCLIENT_SERVICE, with the buffer filled with a marker first.
struct exchange_result {
    std::vector<char> buffer;
    std::vector<seen_message> messages;
    DWORD elapsed_ms;
};

exchange_result exchange(uint32_t size = response_size, char marker = 0) {
    exchange_result r;
    r.buffer.assign(size, marker);
    char line[request_line_size];
    format_version_request(line, sizeof line, service_host());
    message_watch watch;
    DWORD start = GetTickCount();
    service_request(line, r.buffer.data(), size);
    r.elapsed_ms = GetTickCount() - start;
    Sleep(100);
    r.messages = watch.seen();
    return r;
}

bool all_equal(const std::vector<char>& b, char value) {
    for (char c : b)
        if (c != value) return false;
    return true;
}

TEST(Exchange, AWholeResponseArrivesWithZerosAfterIt) {
    scripted_server server({send_step("0.03"), close_step()});
    scoped_env env("TVCLIENT_SERVICE", server.address().c_str());
    exchange_result r = exchange(response_size, '\x55');
    EXPECT_TRUE(r.messages.empty());
    EXPECT_EQ(std::string(r.buffer.data(), 5), std::string("0.03\0", 5));
    EXPECT_TRUE(all_equal(std::vector<char>(r.buffer.begin() + 4, r.buffer.end()), 0));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], version_line(server.address()));
}

TEST(Exchange, AServiceThatNeverAnswersTimesOutWithAnEmptyBuffer) {
    scripted_server server({pause_step(9000)});
    scoped_env env("TVCLIENT_SERVICE", server.address().c_str());
    exchange_result r = exchange(response_size, '\x55');
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text, "TimeOut!");
    EXPECT_EQ(r.messages[0].caption, error_caption);
    EXPECT_TRUE(all_equal(r.buffer, 0));
}

TEST(Exchange, AServiceThatClosesAtOnceGivesAnEmptyResponseAndNoMessage) {
    scripted_server server({close_step()});
    scoped_env env("TVCLIENT_SERVICE", server.address().c_str());
    exchange_result r = exchange(response_size, '\x55');
    EXPECT_TRUE(r.messages.empty());
    EXPECT_TRUE(all_equal(r.buffer, 0));
}

TEST(Exchange, ARefusedConnectionLeavesTheBufferUntouched) {
    std::string address = "127.0.0.1:" + std::to_string(unused_port());
    scoped_env env("TVCLIENT_SERVICE", address.c_str());
    exchange_result r = exchange(64, '\x55');
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text, "Грешка при свъзването!");
    EXPECT_EQ(r.messages[0].caption, error_caption);
    EXPECT_TRUE(all_equal(r.buffer, '\x55'));
}

TEST(Exchange, AnUnresolvableHostLeavesTheBufferUntouched) {
    for (const char* host : {"no-such-host.invalid", "127.0.0.1:99999", "bad host"}) {
        scoped_env env("TVCLIENT_SERVICE", host);
        exchange_result r = exchange(64, '\x55');
        ASSERT_EQ(r.messages.size(), 1u) << host;
        EXPECT_EQ(r.messages[0].text, "Невалиден host!");
        EXPECT_EQ(r.messages[0].caption, error_caption);
        EXPECT_TRUE(all_equal(r.buffer, '\x55'));
    }
}

TEST(Exchange, AResponseOver32000BytesIsCut) {
    std::string big;
    for (int i = 0; i < 40000; ++i) big.push_back(static_cast<char>('a' + i % 26));
    // Sent slowly enough that every receive brings a chunk, as the network would.
    std::vector<server_step> script;
    for (size_t at = 0; at < big.size(); at += 4000) {
        script.push_back(send_step(big.substr(at, 4000)));
        script.push_back(pause_step(5));
    }
    script.push_back(pause_step(8000));  // the connection stays open
    scripted_server server(script);
    scoped_env env("TVCLIENT_SERVICE", server.address().c_str());

    exchange_result r = exchange(response_size);
    EXPECT_TRUE(r.messages.empty());
    EXPECT_EQ(std::string(r.buffer.data(), response_size), big.substr(0, response_size));
    EXPECT_LT(r.elapsed_ms, 4000u) << "reception must stop at the bound, not wait for the close";

    exchange_result k = exchange(keepsession_response_size);
    EXPECT_EQ(std::string(k.buffer.data(), keepsession_response_size), big.substr(0, keepsession_response_size));
}

TEST(Exchange, AResponseThatStallsHalfwayReturnsWhatArrived) {
    scripted_server server({send_step("sessio"), pause_step(30000)});
    scoped_env env("TVCLIENT_SERVICE", server.address().c_str());
    exchange_result r = exchange(keepsession_response_size, '\x55');
    EXPECT_TRUE(r.messages.empty());
    EXPECT_EQ(std::string(r.buffer.data()), "sessio");
    EXPECT_TRUE(all_equal(std::vector<char>(r.buffer.begin() + 6, r.buffer.end()), 0));
    // Bounded by the 5-second wait (generous margin for a loaded machine).
    EXPECT_LT(r.elapsed_ms, 20000u);
}

TEST(Exchange, ATrailingZeroByteEndsTheResponseWhileTheConnectionStaysOpen) {
    scripted_server server({send_step(std::string("0.03\0", 5)), pause_step(30000)});
    scoped_env env("TVCLIENT_SERVICE", server.address().c_str());
    exchange_result r = exchange();
    EXPECT_TRUE(r.messages.empty());
    EXPECT_STREQ(r.buffer.data(), "0.03");
    EXPECT_LT(r.elapsed_ms, 4000u);
}

TEST(Exchange, AHostThatNeverAcceptsGivesTheConnectionMessage) {
    // A listener whose queue is full drops further connection attempts, so
    // the connect waits until the exchange gives up.
    sockaddr_in at;
    SOCKET full = loopback_socket(&at);
    listen(full, 0);
    std::vector<SOCKET> fillers;
    for (int i = 0; i < 4; ++i) {
        SOCKET f = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        u_long nb = 1;
        ioctlsocket(f, FIONBIO, &nb);
        connect(f, reinterpret_cast<sockaddr*>(&at), sizeof at);
        fillers.push_back(f);
    }
    Sleep(200);
    std::string address = "127.0.0.1:" + std::to_string(ntohs(at.sin_port));
    scoped_env env("TVCLIENT_SERVICE", address.c_str());
    exchange_result r = exchange(64, '\x55');
    for (SOCKET f : fillers) closesocket(f);
    closesocket(full);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text, "Грешка при свъзването!");
    EXPECT_TRUE(all_equal(r.buffer, '\x55'));
    EXPECT_LT(r.elapsed_ms, 20000u);
}

}  // namespace
