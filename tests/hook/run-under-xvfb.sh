#!/usr/bin/env bash
# Runs a test program on a private X server of its own: run-under-xvfb.sh PROGRAM [ARGS...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source-path=SCRIPTDIR source=../desktop/desktop-session.sh
source "$here/../desktop/desktop-session.sh"
session_require_tools Xvfb xauth || exit 1
session_dir="$(mktemp -d "${TMPDIR:-/tmp}/pelkora-xvfb.XXXXXX")"
trap 'session_stop; rm -rf "$session_dir"' EXIT
session_start_x || exit 1
"$@"
