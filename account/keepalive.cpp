#include "account/keepalive.h"

#include "account/keepalive_rules.h"
#include "account/login.h"
#include "account/user_panel.h"
#include "base/countof.h"
#include "base/trace.h"
#include "base/ui_text.h"
#include "base/utf.h"
#include "service/exchange.h"

#include <cstring>

namespace {

void (*refused_action)() = nullptr;

void show_credit(const char* credit, size_t length, void*) {
    char16_t wide[64];
    utf8n_to_utf16(credit, length, wide, countof(wide));
    set_credit_text(wide);
}

void say_session_refused(void*) { show_message(nullptr, "Недостатъчен кредит!", "ТВ ЗЕЛУР", MB_OK); }

void session_refused(void* context) {
    if (refused_action != nullptr) refused_action();
    say_session_refused(context);
}

// The seeder id: the first word of the account list's current entry.
void current_seeder_id(char* out, size_t out_size) {
    memset(out, 0, out_size);
    char16_t entry[1024];
    if (!read_selected_account(entry, countof(entry))) return;
    // The account id keeps at most 127 bytes, as an entry read back into 128.
    seeder_id_from_entry(entry, out, out_size < 128 ? out_size : 128);
}

// The keepsession request for the account chosen now; false when it cannot
// be made (it is then not sent).
bool make_keepsession_line(char* line, size_t size) {
    char seeder[128];
    current_seeder_id(seeder, sizeof seeder);
    return format_keepsession_request(line, size, service_host(), user_name, user_password, account.session_id,
                                      seeder) > 0;
}

}  // namespace

void set_session_refused_action(void (*action)()) { refused_action = action; }

void begin_keep_session(session_check* check) {
    memset(check->line, 0, sizeof check->line);
    if (make_keepsession_line(check->line, sizeof check->line))
        exchange_connect(&check->exchange);
    else
        check->line[0] = 0;
}

void send_keep_session(session_check* check) {
    if (check->line[0] == 0) return;
    exchange_send(&check->exchange, check->line);
    if (check->exchange.sent) trace_event("keepsession.sent");
}

void finish_keep_session(session_check* check) {
    char response[keepsession_response_size];
    memset(response, 0, sizeof response);
    if (check->line[0] != 0) exchange_finish(&check->exchange, response, sizeof response);
    keepsession_actions actions = {show_credit, say_session_refused, nullptr};
    walk_keepsession_response(response, sizeof response, actions);
}

void keep_session() {
    char line[request_line_size];
    char response[keepsession_response_size];
    memset(response, 0, sizeof response);
    if (make_keepsession_line(line, sizeof line)) service_request(line, response, sizeof response);
    keepsession_actions actions = {show_credit, session_refused, nullptr};
    walk_keepsession_response(response, sizeof response, actions);
}
