#!/usr/bin/env bash
# Fetches OpenAL Soft's upstream source tarball through Debian's source
# package for Debian 13 ("trixie") with apt-get, and checks its checksum:
#   tools/fetch_openal_source.sh DIR VERSION SHA256
# leaves DIR/openal-soft_VERSION.orig.tar.gz (nothing is done when it is
# already there with the right checksum). The version and checksum are
# the Windows build's (cmake/OpenALSoftWindows.cmake).
#
# apt runs on a private configuration under DIR/apt (its own deb-src list,
# package lists and cache), so the machine's apt set-up is not changed. The
# archive is the one the machine already uses for Debian packages
# (tools/debian_archive.sh; DEBIAN_ARCHIVE names another). Only the upstream tarball is needed: when
# the package's .dsc or Debian tarball cannot be fetched, apt-get exits
# non-zero although the tarball arrived, so success is judged by the
# tarball's checksum, not by apt-get's exit code.
set -euo pipefail
usage="usage: $0 DIR VERSION SHA256"
dest="${1:?$usage}"
tarball="openal-soft_${2:?$usage}.orig.tar.gz"
sha256="${3:?$usage}"
mkdir -p "$dest"
dest="$(cd "$dest" && pwd)"

checksum_ok() { [ -f "$dest/$tarball" ] && echo "$sha256  $dest/$tarball" | sha256sum -c --status; }
if checksum_ok; then
  exit 0
fi

archive="$("$(dirname "$0")/debian_archive.sh")"

apt_dir="$dest/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/sources.list.d"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
printf 'Types: deb-src\nURIs: %s\nSuites: trixie\nComponents: main\nSigned-By: %s\n' \
  "$archive" "$keyring" > "$apt_dir/sources.list.d/trixie-src.sources"
: > "$apt_dir/sources.list"
apt_options=(
  -o Dir::Etc::SourceList="$apt_dir/sources.list"
  -o Dir::Etc::SourceParts="$apt_dir/sources.list.d"
  -o Dir::State::Lists="$apt_dir/lists"
  -o Dir::Cache="$apt_dir/cache"
)
# As root, apt would hand the download to its sandbox user, who may not
# write into DIR; an ordinary user downloads as itself anyway.
[ "$(id -u)" -ne 0 ] || apt_options+=(-o APT::Sandbox::User=root)

# apt's own messages go to a log, shown only when the tarball is not right:
# the expected errors about the missing .dsc would only confuse.
log="$apt_dir/fetch.log"
{
  apt-get "${apt_options[@]}" update -qq &&
    (cd "$dest" && apt-get "${apt_options[@]}" source --download-only openal-soft/trixie)
} > "$log" 2>&1 || true

if ! checksum_ok; then
  cat "$log" >&2
  echo "$tarball did not arrive or its sha256 is not $sha256" >&2
  exit 1
fi
echo "$dest/$tarball: sha256 checked"
