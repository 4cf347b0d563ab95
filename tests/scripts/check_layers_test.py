#!/usr/bin/python3
"""The layer check fails on each kind of offence and passes a clean tree."""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "check-layers")


def run(files):
    with tempfile.TemporaryDirectory() as root:
        for path, text in files.items():
            os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write(text)
        r = subprocess.run([SCRIPT, "--root", root], capture_output=True, text=True)
        return r.returncode, r.stdout


CLEAN = {
    "base/utf.h": "#pragma once\n#include <cstddef>\n",
    "service/protocol.cpp": '#include "service/protocol.h"\n#include "base/utf.h"\n',
    "service/protocol.h": '#include "base/utf.h"\n',
    "shell/startup.cpp": '#include "playback/player.h"\n#include "resources/resource.h"\n',
    "shell/app.h": "#pragma once\nextern HWND video_window;\nextern int idle_ticks;\n",
    "relay/stream_relay.h": "#pragma once\n",
    "playback/player.cpp": '#include <vlc/vlc.h>\n#include "relay/stream_relay.h"\n'
                           "void f() { libvlc_new(0, 0); }\n// the video_window is named in a comment only\n",
}


class CheckLayers(unittest.TestCase):
    def test_a_tree_whose_includes_run_downward_passes(self):
        code, out = run(CLEAN)
        self.assertEqual(code, 0, out)

    def test_each_offence_fails_and_is_named(self):
        cases = {
            "upward": ({"service/protocol.cpp": '#include "shell/app.h"\n'}, "a layer above service/"),
            "outside": ({"account/login.cpp": '#include "tests/win32/harness.h"\n'}, "not part of the program"),
            "cycle": ({"account/a.cpp": '#include "account/b.h"\n', "account/b.h": '#include "account/a.h"\n'},
                      "account/a -> account/b -> account/a"),
            "libvlc": ({"shell/panels.cpp": "void f() { libvlc_audio_set_volume(0, 1); }\n"},
                       "shell/panels.cpp: uses libvlc"),
            "state": ({"playback/switching.cpp": "void f() { idle_ticks = 0; }\n"},
                      "playback/switching.cpp: names idle_ticks, state of shell/"),
            "relay": ({"account/login.cpp": '#include "relay/stream_relay.h"\n'}, "only playback/ may"),
        }
        for name, (extra, words) in cases.items():
            with self.subTest(name):
                code, out = run({**CLEAN, **extra})
                self.assertEqual(code, 1, out)
                self.assertIn(words, out)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
