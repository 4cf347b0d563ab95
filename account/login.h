// Logging in: the login dialog, the account state it yields and the walk of
// the login response into the user panel.
#pragma once

#include "account/login_walk.h"
#include "base/win32.h"
#include "service/protocol.h"

// The user name and password as typed (ANSI bytes, at most 31 each); sent
// in every request but the version request.
extern char user_name[32];
extern char user_password[32];
// The account info response as received.
extern char login_response[response_size];
// What the login response said: session id, account id and names, credit.
extern login_account account;

// The modal login dialog (resource 100). Ends with IDOK after an accepted
// login; a refused login or closing the dialog ends the program.
INT_PTR CALLBACK login_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Asks for the accounts shared with this one and adds them to the user
// panel's account list after the own entry; the selection stays on it.
void load_shared_accounts();

// Reads login_response into the account state and the user panel's account
// list and credit; asks for the shared accounts when there are any.
void parse_login_response();
