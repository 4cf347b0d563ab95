// What every Win32 test file includes: the harness (GoogleTest, the
// scripted service, the message box watcher), the fixture of the program
// against the stand-in, the watching tests' base class, and the program's
// headers that the tests reach into.
#pragma once

#include "tests/win32/harness.h"
#include "tests/win32/fixture.h"
#include "tests/win32/watching.h"

#include "account/keepalive.h"
#include "account/login.h"
#include "account/user_panel.h"
#include "shell/app.h"
#include "base/countof.h"
#include "base/sockets.h"
#include "base/ui_text.h"
#include "playback/channel_rules.h"
#include "playback/channel_tables.h"
#include "playback/info_panel.h"
#include "playback/player.h"
#include "playback/program_panel.h"
#include "relay/stream_relay.h"
#include "playback/switching.h"
#include "resources/resource.h"
#include "service/exchange.h"
#include "service/protocol.h"
#include "shell/panels.h"
#include "shell/startup.h"
#include "shell/video_window.h"

#include <commctrl.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>
