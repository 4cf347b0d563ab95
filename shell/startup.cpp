#include "shell/win32.h"

#include "shell/startup.h"
#include "service/service_request.h"
#include "shell/ui_text.h"
#include "shell/version.h"

#include <cstring>

#ifndef TVCLIENT_DOWNLOAD_SITE
#define TVCLIENT_DOWNLOAD_SITE "http://127.0.0.1:8080/download"
#endif

namespace {
char version_response[response_size];
}

bool check_service_version() {
    char line[request_line_size];
    memset(version_response, 0, sizeof version_response);
    if (format_version_request(line, sizeof line, service_host()) > 0)
        service_request(line, version_response, sizeof version_response);
    if (version_response_ok(version_response)) return true;

    char message[512];
    format_version_message(message, sizeof message, TVCLIENT_DOWNLOAD_SITE);
    show_message(nullptr, message, "внимание!!!", MB_OK);
    return false;
}
