"""The service a package's program talks to, read from the build it is
made from: a package for subscribers must name the operator's service,
never a loopback address (installed for a subscriber, the program would send
the login to whatever listens there). A demo package, which talks to the
stand-in on the same machine, says so in its name."""

import os
import sys

HOW = ("make %s SERVICE_HOST=tv.example.bg (the operator's service, host or host:port), "
       "or make %s DEMO=1 for a demo package")


def compiled_service(build):
    """The service the build's program was compiled for (TVCLIENT_SERVICE_HOST), or None."""
    try:
        with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8", errors="replace") as f:
            for line in f:
                if line.startswith("TVCLIENT_SERVICE_HOST:"):
                    return line.split("=", 1)[1].strip()
    except OSError:
        pass
    return None


def is_loopback(service):
    """Whether host or host:port names this machine."""
    host = service.strip().lower()
    if host.startswith("["):
        host = host[1:].split("]", 1)[0]
    elif host.count(":") == 1:
        host = host.split(":", 1)[0]
    return host in ("", "localhost", "::1", "0.0.0.0", "::") or host.startswith("127.") or host.endswith(".localhost")


def package_version(tool, build, version, demo, mark):
    """The version a package is named by: VERSION, or VERSION plus mark for a
    demo package. Ends the tool with the way to make one for a build whose
    program names no service of an operator's."""
    if demo:
        return version + mark
    service = compiled_service(build)
    if service is None:
        sys.exit("%s: %s names no service (no CMakeCache.txt); %s" % (tool, build, HOW % (tool, tool)))
    if is_loopback(service):
        sys.exit("%s: the program in %s talks to %s, this machine: a package for subscribers must name the "
                 "operator's service. Make one with %s" % (tool, build, service, HOW % (tool, tool)))
    return version
