// The relay on its own, without the player: logs in to the service that
// TVCLIENT_SERVICE names, then fetches the first bytes of a channel's stream
// CHANGES times, each time as a channel change does (a new address from the
// relay, a new connection to it), or straight from the host (direct):
//
//   relay_bench.exe USER PASSWORD CHANNEL_ID CHANGES relay|direct
//
// Prints "fetch N MICROSECONDS" for each fetch (from asking the relay for
// an address to the first RELAY_BENCH_BYTES, 16384 unless set, of the
// answer; -1 when they did not come) and "rss N KIB" after every 50th, so
// that the time and the memory of the relay's own road can be told from
// the player's.
#include "account/login_walk.h"
#include "base/sockets.h"
#include "base/trace.h"
#include "base/utf.h"
#include "base/win32.h"
#include "playback/channel_rules.h"
#include "relay/stream_relay.h"
#include "service/exchange.h"
#include "service/protocol.h"

#include <psapi.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int32_t wanted_bytes = 16 * 1024;

// One fetch of url's first bytes; false when they did not come.
bool fetch(const char* url) {
    const char* rest = strncmp(url, "http://", 7) == 0 ? url + 7 : url;
    const char* slash = strchr(rest, '/');
    const char* colon = strchr(rest, ':');
    if (slash == nullptr || colon == nullptr || colon > slash) return false;
    char host[64];
    lstrcpynA(host, rest, static_cast<int>(colon - rest + 1 < 64 ? colon - rest + 1 : 64));
    sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(atoi(colon + 1)));
    if (inet_pton(AF_INET, host, &to.sin_addr) != 1) return false;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return false;
    bool ok = false;
    if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        char request[2048];
        int n = snprintf(request, sizeof request, "GET %s HTTP/1.1\r\nHost: %.*s\r\nUser-Agent: relay_bench\r\n\r\n",
                         slash, static_cast<int>(slash - rest), rest);
        static char buffer[256 * 1024];
        int32_t got = 0;
        if (n > 0 && send_all(s, request, n)) {
            for (int r = 1; r > 0 && got < wanted_bytes;) {
                r = recv(s, buffer, sizeof buffer, 0);
                if (r > 0) got += r;
            }
        }
        ok = got >= wanted_bytes;
    }
    closesocket(s);
    return ok;
}

uint64_t resident_kib() {
    PROCESS_MEMORY_COUNTERS counters;
    memset(&counters, 0, sizeof counters);
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.WorkingSetSize / 1024 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        fprintf(stderr, "usage: relay_bench.exe USER PASSWORD CHANNEL_ID CHANGES relay|direct\n");
        return 2;
    }
    bool relayed = strcmp(argv[5], "relay") == 0;
    if (getenv("RELAY_BENCH_BYTES") != nullptr) wanted_bytes = atoi(getenv("RELAY_BENCH_BYTES"));
    int32_t changes = atoi(argv[4]);
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);

    static char response[response_size + 1];
    char line[request_line_size];
    format_account_info_request(line, sizeof line, service_host(), argv[1], argv[2]);
    service_request(line, response, response_size);
    static char16_t wide[response_size + 1];
    utf8_to_utf16(response, wide, response_size + 1);
    static login_account account;
    walk_login_response(wide, &account);
    char address[256];
    snprintf(address, sizeof address, "%s/live?ch=%s", service_host(), argv[3]);
    char url[stream_url_size];
    if (account.session_id[0] == 0 || !format_stream_url(url, sizeof url, address, account.session_id, argv[3])) {
        fprintf(stderr, "relay_bench: no session (%s)\n", response);
        return 1;
    }

    int32_t failures = 0;
    for (int32_t n = 1; n <= changes; ++n) {
        char relayed_url[256];
        int64_t start = trace_clock_us();
        bool ok = relayed ? relay_address_for(url, relayed_url, sizeof relayed_url) && fetch(relayed_url) : fetch(url);
        int64_t took = trace_clock_us() - start;
        if (!ok) ++failures;
        printf("fetch %d %lld\n", n, ok ? static_cast<long long>(took) : -1LL);
        if (n % 50 == 0) printf("rss %d %llu\n", n, static_cast<unsigned long long>(resident_kib()));
        fflush(stdout);
    }
    if (relayed) end_relayed_requests();
    return failures == 0 ? 0 : 1;
}
