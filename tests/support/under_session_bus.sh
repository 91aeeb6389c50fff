#!/usr/bin/env bash
# Runs a test on a session bus of its own, as a desktop session's programs
# share one: never the bus of the user who runs the suite.
set -euo pipefail
QUORVANA_TEST_BUS=1 exec dbus-run-session -- "$@"
