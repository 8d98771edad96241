#!/usr/bin/env bash
# Usage: check_install.sh CMAKE BUILD_DIR
# Installs BUILD_DIR into a scratch prefix (and once more through DESTDIR, as a package
# build does) and fails on any missing file or any complaint of a validator.
set -uo pipefail

cmake=$1
build=$2
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

expected=(
    bin/quorvel
    bin/quorvel-send
    share/applications/quorvel.desktop
    share/icons/hicolor/32x32/apps/quorvel.png
    share/man/man1/quorvel.1
    share/man/man1/quorvel-send.1
    lib/systemd/user/quorvel.service
    lib/systemd/user/quorvel@.service
)

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

# The installed programs run from where they were put.
"$prefix/bin/quorvel" --version >/dev/null || fail "installed quorvel --version"
"$prefix/bin/quorvel-send" --help >/dev/null || fail "installed quorvel-send --help"

quiet "desktop file" desktop-file-validate "$prefix/share/applications/quorvel.desktop"
desktop=$prefix/share/applications/quorvel.desktop
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$prefix/bin/$exec_name" ] || fail "desktop Exec=$exec_name is not an installed program"
[ -f "$prefix/share/icons/hicolor/32x32/apps/$icon_name.png" ] ||
    fail "desktop Icon=$icon_name is not an installed icon"

export LC_ALL=C.UTF-8 MANWIDTH=80 MANPAGER=cat PAGER=cat
for page in quorvel quorvel-send; do
    file=$prefix/share/man/man1/$page.1
    [ -f "$file" ] || continue
    quiet "man page $page" groff -man -t -ww -z -Tutf8 "$file"
    # man -l renders it, as a user sees it, without a warning.
    if ! man --warnings -l "$file" >"$work/$page.txt" 2>"$work/$page.err" || [ -s "$work/$page.err" ]; then
        fail "man -l $file"
        cat "$work/$page.err" >&2
    fi
    for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" "SEE ALSO"; do
        grep -q "^$section\$" "$work/$page.txt" || fail "$page(1) has no $section section"
    done
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
if command -v systemd-analyze >/dev/null; then
    export XDG_RUNTIME_DIR=$work/runtime MANPATH=$prefix/share/man
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    # The template checked through an instance, as systemctl would load it.
    quiet "systemd unit" systemd-analyze --user verify "$units/quorvel.service" \
        "$units/quorvel@ttyUSB0.service"
else
    echo "systemd-analyze not installed: units not verified" >&2
fi

[ "$failures" -eq 0 ] || { echo "$failures install check(s) failed" >&2; exit 1; }
echo "install checks passed"
