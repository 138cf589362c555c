#!/bin/sh
# SPDX-License-Identifier: MIT
# How the Windows build runs one of its programs (a test, a test listing)
# under Wine; the toolchain file makes it CMAKE_CROSSCOMPILING_EMULATOR.
#   wine-run.sh <wine> <program> [<argument>...]
#
# Wine's server quits 3 s after its last program ends, and a program that
# starts in that moment fails at once ("wine client error:0: recvmsg:
# Connection reset by peer"). A test run starts programs one after another,
# and now and then hits it. So the server is started first, to stay a minute
# after its last program; where one runs already, this does nothing.
#
# The first program of a new server also starts Wine's own background
# services, which inherit its standard output and error and live as long as
# the server: started by a test, they would hold ctest's pipe, and ctest
# would wait for them. So a program with no output starts them instead.
wine=$1
shift
server=$(dirname "$wine")/wineserver
[ -x "$server" ] || server=wineserver
if "$server" -p60 </dev/null >/dev/null 2>&1; then
  "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1
fi
exec "$wine" "$@"
