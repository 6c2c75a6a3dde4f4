#!/usr/bin/env bash
# Fetches OpenAL Soft's upstream source tarball through Debian's source
# package for Debian 13 ("trixie") with apt-get, and checks its checksum:
#   tools/fetch_openal_source.sh DIR
# leaves DIR/openal-soft_1.24.2.orig.tar.gz (nothing is done when it is
# already there with the right checksum).
#
# apt runs on a private configuration under DIR/apt (its own deb-src list,
# package lists and cache), so the machine's apt set-up is not changed. The
# archive is the one the machine already uses for Debian packages; set
# DEBIAN_ARCHIVE to use another. Only the upstream tarball is needed: when
# the package's .dsc or Debian tarball cannot be fetched, apt-get exits
# non-zero although the tarball arrived, so success is judged by the
# tarball's checksum, not by apt-get's exit code.
set -euo pipefail
tarball=openal-soft_1.24.2.orig.tar.gz
sha256=7efd383d70508587fbc146e4c508771a2235a5fc8ae05bf6fe721c20a348bd7c
dest="${1:?usage: $0 DIR}"
mkdir -p "$dest"
dest="$(cd "$dest" && pwd)"

checksum_ok() { [ -f "$dest/$tarball" ] && echo "$sha256  $dest/$tarball" | sha256sum -c --status; }
if checksum_ok; then
  exit 0
fi

archive="${DEBIAN_ARCHIVE:-}"
if [ -z "$archive" ]; then
  # The archive of the machine's own release suite (not -updates or
  # -security), main component, as apt's sources name it.
  archive="$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Created-By: Packages' |
    awk '$2 !~ /-/ && $3 == "main" { print $1; exit }')"
fi
if [ -z "$archive" ]; then
  echo "No Debian archive found in apt's package lists (run apt-get update first), or set DEBIAN_ARCHIVE." >&2
  exit 1
fi

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
  -o APT::Sandbox::User=root
)
[ "$(id -u)" -eq 0 ] || apt_options=("${apt_options[@]:0:8}")

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
