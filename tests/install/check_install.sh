#!/usr/bin/env bash
# Usage: check_install.sh CMAKE BUILD_DIR VERSION [CPACK]
# Installs BUILD_DIR into a scratch prefix (and once more through DESTDIR, as a package
# build does) and fails on any missing file or any complaint of a validator. With CPACK it
# also builds the .deb into a scratch folder and checks its files, fields and lintian.
# The installs must leave the build folder as it was.
set -uo pipefail

cmake=$1
build=$2
version=$3
cpack=${4:-}
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Runs a validator; any output at all counts as a complaint.
quiet() {
    local what=$1
    shift
    local out
    if ! out=$("$@" 2>&1) || [ -n "$out" ]; then
        fail "$what: $*"
        [ -n "$out" ] && printf '%s\n' "$out" >&2
    fi
}

need() {
    command -v "$1" >/dev/null || { echo "FAIL: $1 is not installed (scripts/setup)" >&2; exit 1; }
}
need desktop-file-validate
need man
need groff
need lexgrog

# Tools a distribution checks with, but that a build does not need: their checks are
# skipped, said once, when they are missing.
have() {
    command -v "$1" >/dev/null && return
    echo "$1 not installed: $2 not checked" >&2
    return 1
}

# What the build folder holds, but for what ctest itself writes while tests run (Testing/,
# the test programs' folders).
build_listing() {
    find "$build" -mindepth 1 \( -path "$build/Testing" -o -path "$build/tests" \) -prune \
        -o -printf '%P %y %m %s %T@\n' | sort
}
build_listing >"$work/build-before"

id=io.github.quorvel.Quorvel
icon_sizes=(16 32 48 64 128 256)
expected=(
    bin/quorvel
    bin/quorvel-send
    lib/systemd/user/quorvel.service
    lib/systemd/user/quorvel@.service
    lib/udev/rules.d/70-quorvel-ir-receivers.rules
    "share/applications/$id.desktop"
    share/doc/quorvel/changelog.gz
    share/doc/quorvel/copyright
    "share/icons/hicolor/scalable/apps/$id.svg"
    share/man/man1/quorvel.1.gz
    share/man/man1/quorvel-send.1.gz
    "share/metainfo/$id.metainfo.xml"
)
for size in "${icon_sizes[@]}"; do
    expected+=("share/icons/hicolor/${size}x$size/apps/$id.png")
done

# Every expected file is there (programs executable) and nothing else is.
check_files() {
    local root=$1
    local path
    for path in "${expected[@]}"; do
        [ -f "$root/$path" ] || fail "not installed: $path"
    done
    for path in bin/quorvel bin/quorvel-send; do
        [ -x "$root/$path" ] || fail "not executable: $path"
    done
    local extra
    extra=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort |
        comm -23 - <(printf '%s\n' "${expected[@]}" | sort))
    [ -z "$extra" ] && return
    fail "installed but not expected:"
    local extras
    mapfile -t extras <<<"$extra"
    printf '  %s\n' "${extras[@]}" >&2
}

# The units start the program by the path it was installed to, not the build's prefix.
check_unit_paths() {
    local units=$1 bindir=$2
    local unit
    for unit in quorvel.service quorvel@.service; do
        grep -q "^ExecStart=.*\"$bindir/quorvel\"" "$units/$unit" ||
            fail "$unit does not start $bindir/quorvel:
$(grep '^ExecStart=' "$units/$unit")"
    done
}

prefix=$work/prefix
if ! "$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    fail "cmake --install into $prefix"
    exit 1
fi
check_files "$prefix"
check_unit_paths "$prefix/lib/systemd/user" "$prefix/bin"

# A package build: the units name /usr/bin, the files land under DESTDIR.
stage=$work/stage
if DESTDIR=$stage "$cmake" --install "$build" --prefix /usr >"$work/destdir.log" 2>&1; then
    check_files "$stage/usr"
    check_unit_paths "$stage/usr/lib/systemd/user" /usr/bin
else
    cat "$work/destdir.log" >&2
    fail "DESTDIR=$stage cmake --install --prefix /usr"
fi

build_listing >"$work/build-after"
diff "$work/build-before" "$work/build-after" >"$work/build.diff" ||
    { fail "cmake --install wrote into the build folder:"; cat "$work/build.diff" >&2; }

# The installed programs run from where they were put, and say the project's version.
got=$("$prefix/bin/quorvel" --version) || fail "installed quorvel --version"
[ "$got" = "quorvel $version" ] || fail "quorvel --version says '$got', not 'quorvel $version'"
"$prefix/bin/quorvel-send" --help >/dev/null || fail "installed quorvel-send --help"

# The menu entry, its icon and the metainfo are all named by the one id.
desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
quiet "desktop file" desktop-file-validate "$desktop"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$prefix/bin/$exec_name" ] || fail "desktop Exec=$exec_name is not an installed program"
[ "$icon_name" = "$id" ] || fail "desktop Icon=$icon_name is not $id"
grep -q "<id>$id</id>" "$metainfo" || fail "the metainfo's id is not $id"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
if have appstreamcli "the metainfo"; then
    # --no-net: the homepage and the screenshot are not fetched.
    appstreamcli validate --no-net "$metainfo" >"$work/appstream.txt" 2>&1 ||
        { fail "appstreamcli validate $metainfo"; cat "$work/appstream.txt" >&2; }
    # The tree as a software centre reads it: the metainfo with its menu entry and icon.
    appstreamcli validate-tree --no-net "$prefix" >"$work/appstream.txt" 2>&1 ||
        { fail "appstreamcli validate-tree $prefix"; cat "$work/appstream.txt" >&2; }
fi
if have rsvg-convert "the icons against their drawing"; then
    "$source_dir/scripts/make_icons" --check || fail "scripts/make_icons --check"
fi

export LC_ALL=C.UTF-8 MANWIDTH=80 MANPAGER=cat PAGER=cat
for page in quorvel quorvel-send; do
    file=$prefix/share/man/man1/$page.1.gz
    [ -f "$file" ] || continue
    # shellcheck disable=SC2016  # expanded by the inner shell
    quiet "man page $page" sh -c 'zcat "$1" | groff -man -t -ww -z -Tutf8' sh "$file"
    # man -l renders it, as a user sees it, without a warning.
    if ! man --warnings -l "$file" >"$work/$page.txt" 2>"$work/$page.err" || [ -s "$work/$page.err" ]; then
        fail "man -l $file"
        cat "$work/$page.err" >&2
    fi
    for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" "SEE ALSO"; do
        grep -q "^$section\$" "$work/$page.txt" || fail "$page(1) has no $section section"
    done
    grep -q "^\.TH .* \"quorvel $version\" " <<<"$(zcat "$file")" ||
        fail "$page(1) is not of version $version: $(zcat "$file" | grep '^\.TH')"
    # whatis and apropos find it only when the NAME line parses.
    lexgrog "$file" >/dev/null || fail "lexgrog cannot read the NAME of $page(1)"
done
for topic in dialout /dev/serial/by-id FILES "Err" "COM READ ERROR!" "quorvel-send(1)"; do
    grep -qF -- "$topic" "$work/quorvel.txt" || fail "quorvel(1) does not mention $topic"
done

# quorvel.service: an option only for a variable that is set, a player name kept whole.
units=$prefix/lib/systemd/user
script=$(sed -n "s/^ExecStart=\/bin\/sh -c '\(.*\)' \".*\"\$/\1/p" "$units/quorvel.service" | sed 's/\$\$/$/g')
if [ -z "$script" ]; then
    fail "quorvel.service: no shell command line in ExecStart"
else
    # shellcheck disable=SC2016  # the stub's own $a
    printf '#!/bin/sh\nfor a; do printf "[%%s]" "$a"; done\n' >"$work/args"
    chmod +x "$work/args"
    got=$(env -i /bin/sh -c "$script" "$work/args")
    [ "$got" = "[--console]" ] || fail "quorvel.service with no variables passes $got"
    got=$(env -i QUORVEL_PORT=/dev/ttyUSB0 QUORVEL_PLAYER="VLC media player" \
        /bin/sh -c "$script" "$work/args")
    [ "$got" = "[--console][--port][/dev/ttyUSB0][--player][VLC media player]" ] ||
        fail "quorvel.service with both variables passes $got"
fi

# systemd's own checks when it is there; it is no build dependency.
if have systemd-analyze "the units"; then
    export XDG_RUNTIME_DIR=$work/runtime MANPATH=$prefix/share/man
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    # The template checked through an instance, as systemctl would load it.
    quiet "systemd unit" systemd-analyze --user verify "$units/quorvel.service" \
        "$units/quorvel@ttyUSB0.service"
fi

# The .deb: the same files under /usr owned by root, its version and computed
# dependencies, and nothing lintian warns of.
check_package() {
    (umask 022 && "$cpack" --config "$build/CPackConfig.cmake" -B "$work/package") \
        >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log" >&2; fail "cpack"; return; }
    local deb
    deb=$work/package/quorvel_${version}_$(dpkg --print-architecture).deb
    [ -f "$deb" ] || { fail "cpack made no $(basename "$deb")"; return; }

    dpkg-deb -c "$deb" >"$work/contents" || { fail "dpkg-deb -c $deb"; return; }
    local listed
    listed=$(awk '$1 !~ /^d/ { sub(/^\.\/usr\//, "", $6); print $6 }' "$work/contents" | sort)
    [ "$listed" = "$(printf '%s\n' "${expected[@]}" | sort)" ] ||
        fail "the package's files are not the expected ones:
$(diff <(printf '%s\n' "${expected[@]}" | sort) <(echo "$listed"))"
    local odd
    odd=$(awk '$2 != "root/root" || $6 !~ /^\.\/usr\// ||
               ($1 ~ /^d/ && $1 != "drwxr-xr-x") ||
               ($6 ~ /^\.\/usr\/bin\/./ && $1 != "-rwxr-xr-x") ||
               ($1 ~ /^-/ && $6 !~ /^\.\/usr\/bin\// && $1 != "-rw-r--r--")' "$work/contents")
    [ -z "$odd" ] || fail "entries not owned by root, outside /usr or with odd modes:
$odd"

    dpkg-deb -x "$deb" "$work/deb"
    check_unit_paths "$work/deb/usr/lib/systemd/user" /usr/bin

    local field
    field=$(dpkg-deb -f "$deb" Version)
    [ "$field" = "$version" ] || fail "package version $field, not $version"
    field=$(dpkg-deb -f "$deb" Depends)
    [[ $field == *libc6* && $field == *libqt6widgets6* && $field == *libsystemd0* ]] ||
        fail "Depends not computed from the programs: $field"

    if have lintian "the package"; then
        # Root is warned against on standard error; tags come on standard output.
        lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>"$work/lintian.err"
        local status=$?
        if [ "$status" -ne 0 ] || [ -s "$work/lintian.txt" ]; then
            fail "lintian $deb"
            cat "$work/lintian.txt" >&2
            grep -v 'root privileges' "$work/lintian.err" >&2
        fi
    fi
}
if [ -n "$cpack" ]; then
    check_package
else
    echo "sanitizer build: the package is not built" >&2
fi

[ "$failures" -eq 0 ] || { echo "$failures install check(s) failed" >&2; exit 1; }
echo "install checks passed"
