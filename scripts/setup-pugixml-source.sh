#!/usr/bin/env bash
# Puts pugixml's sources in /usr/local/src/pugixml for the Windows build of the
# configuration server: Debian ships pugixml compiled for Linux only, so the
# win32 preset compiles Debian's own source package of it with MinGW.
# Run by scripts/setup.sh when QMDC_WIN32=1.
set -euo pipefail

target=/usr/local/src/pugixml
[[ -f $target/src/pugixml.cpp ]] && exit 0

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A source list of our own, so that the machine's apt configuration and its
# locks are left alone: only the sources index of the release is read.
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
echo "deb-src http://deb.debian.org/debian $codename main" >"$work/sources.list"
mkdir -p "$work/lists/partial" "$work/cache/archives/partial"
apt_private=(apt-get -qq -o "Dir::Etc::SourceList=$work/sources.list"
             -o Dir::Etc::SourceParts=/nonexistent -o "Dir::State::Lists=$work/lists"
             -o "Dir::Cache=$work/cache" -o APT::Sandbox::User=root)
echo "Fetching Debian's pugixml source package into $target"
"${sudo_cmd[@]}" "${apt_private[@]}" update
(cd "$work" && "${sudo_cmd[@]}" "${apt_private[@]}" source --download-only pugixml)

tarball=$(find "$work" -maxdepth 1 -name 'pugixml_*.orig.tar.*' | head -n 1)
[[ -n $tarball ]] || { echo "no pugixml source tarball came down" >&2; exit 1; }
"${sudo_cmd[@]}" mkdir -p "$target.new"
"${sudo_cmd[@]}" tar -xf "$tarball" -C "$target.new" --strip-components=1
"${sudo_cmd[@]}" rm -rf "$target"
"${sudo_cmd[@]}" mv "$target.new" "$target"
