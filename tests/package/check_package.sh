#!/usr/bin/env bash
# Checks a built Debian package of Quorvane (scripts/package makes it):
#   check_package.sh quorvane_VERSION-1_ARCH.deb
# - the files a user relies on are in it, with their owners and modes, and
#   nothing from outside /usr (the installer is not packaged);
# - the control fields, and a Depends line that names the Qt, OpenSSL, JPEG
#   and zlib libraries the programs load;
# - the packaged programs are stripped and run from the package's tree;
# - the menu entry, the metainfo and the manual pages pass their validators.
# Exits 77 (skipped) when there is no package to check, 1 on the first
# batch of failures, 0 when everything holds.
set -uo pipefail

deb=${1:?usage: check_package.sh FILE.deb}
if [[ ! -f $deb ]]; then
    echo "skipped: no package at $deb (scripts/package builds it)"
    exit 77
fi

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

contents=$(dpkg-deb -c "$deb") || { echo "FAIL: dpkg-deb cannot read $deb"; exit 1; }

# Every expected path with its mode; every entry is owned by root.
programs=(quorvane qvget qvdbf qvrender)
expected=()
for p in "${programs[@]}"; do
    expected+=("-rwxr-xr-x ./usr/bin/$p")
    expected+=("-rw-r--r-- ./usr/share/man/man1/$p.1.gz")
done
for size in 16 32 48 64 128 256; do
    expected+=("-rw-r--r-- ./usr/share/icons/hicolor/${size}x${size}/apps/quorvane.png")
done
expected+=(
    "-rw-r--r-- ./usr/share/applications/quorvane.desktop"
    "-rw-r--r-- ./usr/share/metainfo/org.example.quorvane.metainfo.xml"
    "-rw-r--r-- ./usr/share/doc/quorvane/copyright"
    "-rw-r--r-- ./usr/share/doc/quorvane/changelog.Debian.gz"
)
for entry in "${expected[@]}"; do
    mode=${entry%% *}
    path=${entry#* }
    line=$(awk -v p="$path" '$6 == p' <<<"$contents")
    if [[ -z $line ]]; then
        fail "missing $path"
    elif [[ $(awk '{print $1, $2}' <<<"$line") != "$mode root/root" ]]; then
        fail "$path is $(awk '{print $1, $2}' <<<"$line"), expected $mode root/root"
    fi
done
while read -r mode owner _ _ _ path _; do
    [[ $owner == root/root ]] || fail "$path is owned by $owner"
    [[ $path == ./ || $path == ./usr/* ]] || fail "$path lies outside /usr"
    if [[ $mode == d* && $mode != drwxr-xr-x ]]; then
        fail "folder $path has mode $mode"
    fi
done <<<"$contents"
for stray in setup uninst draw_icons; do
    grep -q "/$stray\$" <<<"$contents" && fail "$stray is packaged"
done

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
version=$(sed -n 's/^project(Quorvane VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
arch=$(dpkg --print-architecture)
fields=(
    "Package=quorvane"
    "Version=${version}-1"
    "Architecture=${arch}"
    "Section=web"
    "Priority=optional"
)
for f in "${fields[@]}"; do
    name=${f%%=*}
    want=${f#*=}
    got=$(field "$name")
    [[ $got == "$want" ]] || fail "$name is '$got', expected '$want'"
done
[[ $(basename "$deb") == "quorvane_${version}-1_${arch}.deb" ]] ||
    fail "file name $(basename "$deb") is not quorvane_${version}-1_${arch}.deb"
[[ $(field Maintainer) == *@* ]] || fail "no maintainer address"
[[ -n $(field Description) ]] || fail "no description"

# Depends is computed from the programs' libraries: each of these must be
# named (with a version), and the window-system plugins by hand.
depends=$(field Depends)
# The package names alone, one a line ("libc6 (>= 2.34)" -> "libc6").
depends_names=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//')
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libssl3 \
    libjpeg62-turbo zlib1g qt6-qpa-plugins; do
    grep -Fxq "$lib" <<<"$depends_names" || fail "Depends does not name $lib: $depends"
done
grep -q '(>= ' <<<"$depends" || fail "Depends carries no library versions: $depends"

# The programs as packaged: stripped, and they start.
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree" || fail "cannot unpack $deb"
for p in "${programs[@]}"; do
    description=$(file -b "$tree/usr/bin/$p")
    [[ $description == *ELF* && $description == *", stripped"* ]] || fail "$p: $description"
done
export QT_QPA_PLATFORM=offscreen
[[ $("$tree/usr/bin/quorvane" --version 2>&1) == "Quorvane $version" ]] ||
    fail "quorvane --version does not print 'Quorvane $version'"
# Each tool prints its usage line and exits with 2 without arguments.
for p in qvget qvdbf qvrender; do
    out=$("$tree/usr/bin/$p" 2>&1)
    rc=$?
    # Qt may add a notice of its own on stderr; the usage line must be there.
    [[ $rc == 2 ]] && grep -q "^usage: $p " <<<"$out" ||
        fail "$p without arguments: exit $rc, '$out'"
done

# Validators, where installed.
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$tree/usr/share/applications/quorvane.desktop" ||
        fail "desktop entry is not valid"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$tree/usr/share/metainfo/org.example.quorvane.metainfo.xml" \
        >/dev/null || fail "metainfo is not valid"
fi
for p in "${programs[@]}"; do
    page="$tree/usr/share/man/man1/$p.1.gz"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "man page of $p: $warnings"
    zcat "$page" | grep -q "^\.SH NAME" || fail "man page of $p has no NAME section"
done

if ((failures > 0)); then
    echo "$failures check(s) failed for $deb"
    exit 1
fi
echo "package checks passed: $deb"
