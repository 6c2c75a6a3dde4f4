#!/usr/bin/env bash
# Prints the URI of the Debian archive that this machine's apt already uses
# (the archive of its own release suite, main component, as apt's package
# lists name it), or fails with a message when apt knows none:
#   archive=$(tools/debian_archive.sh)
# DEBIAN_ARCHIVE, when set, is printed instead. Nothing here names an
# archive of its own: the machine's apt sources are the only source.
set -euo pipefail
if [ -n "${DEBIAN_ARCHIVE:-}" ]; then
  echo "$DEBIAN_ARCHIVE"
  exit 0
fi
# Suites with a dash are -updates, -security, -backports: not the release.
archive="$(apt-get indextargets --format '$(ORIGIN)|$(REPO_URI)|$(RELEASE)|$(COMPONENT)' 'Created-By: Packages' 2>/dev/null |
  awk -F'|' '$1 == "Debian" && $3 !~ /-/ && $4 == "main" { print $2; exit }')"
if [ -z "$archive" ]; then
  echo "No Debian archive in apt's package lists: run apt-get update (with a Debian archive in apt's sources), or set DEBIAN_ARCHIVE." >&2
  exit 1
fi
echo "$archive"
