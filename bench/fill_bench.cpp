// Times the filling of the channel table from the largest channelslist
// response the protocol allows. Runs the program's own program panel and
// fill against the service that TVCLIENT_SERVICE names:
//
//   fill_bench.exe USER PASSWORD RUNS
//
// Prints one line per run: "fill RUN BYTES ROWS EXCHANGE_US FILL_US PAINT_US"
// (the channelslist exchange, the rows added to the table, the table drawn).
#include "account/login.h"
#include "shell/app.h"
#include "base/trace.h"
#include "playback/channel_tables.h"
#include "playback/program_panel.h"
#include "resources/resource.h"
#include "service/exchange.h"
#include "service/protocol.h"
#include "shell/startup.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Handles what is waiting, so every run starts with a quiet table.
void pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: fill_bench.exe USER PASSWORD RUNS\n");
        return 2;
    }
    snprintf(user_name, sizeof user_name, "%s", argv[1]);
    snprintf(user_password, sizeof user_password, "%s", argv[2]);
    int32_t runs = atoi(argv[3]);

    prepare_first_class();
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
    program_panel = CreateDialogParamW(app_instance, MAKEINTRESOURCEW(IDD_PROGRAM_PANEL), nullptr,
                                       program_panel_proc, 0);
    if (program_panel == nullptr) {
        fprintf(stderr, "fill_bench: the program panel could not be made\n");
        return 1;
    }
    ShowWindow(program_panel, SW_SHOW);
    HWND list = GetDlgItem(program_panel, IDC_CHANNEL_LIST);
    pump();

    static char response[response_size + 1];
    for (int32_t run = 0; run < runs; ++run) {
        SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        pump();
        char line[request_line_size];
        memset(response, 0, sizeof response);
        format_channelslist_request(line, sizeof line, service_host(), user_name, user_password);
        int64_t start = trace_clock_us();
        service_request(line, response, response_size);
        int64_t received = trace_clock_us();
        fill_channel_rows(list, response);
        int64_t filled = trace_clock_us();
        RedrawWindow(program_panel, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        int64_t painted = trace_clock_us();
        printf("fill %d %zu %d %lld %lld %lld\n", run, strnlen(response, response_size), last_channel + 1,
               static_cast<long long>(received - start), static_cast<long long>(filled - received),
               static_cast<long long>(painted - filled));
        fflush(stdout);
    }
    DestroyWindow(program_panel);
    return 0;
}
