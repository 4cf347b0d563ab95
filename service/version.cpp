#include "service/version.h"

#include <cstdio>
#include <cstring>

bool version_response_ok(const char* response) {
    return memcmp(response, expected_version, sizeof expected_version) == 0;
}

void format_version_message(char* out, size_t out_size, const char* download_site) {
    if (out == nullptr || out_size == 0) return;
    memset(out, 0, out_size);
    snprintf(out, out_size, "Невалидна версия или липса на интернет!\n%s\n",
             download_site ? download_site : "");
}
