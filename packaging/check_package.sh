#!/usr/bin/env bash
# Takes one package apart in a throw-away folder and checks it as an operator
# would find it: its files, the conffile, the dependencies computed for it, the
# desktop entry, the service unit, and that the program in it runs.
#
#   packaging/check_package.sh PACKAGE.deb SAMPLE.kss
#
# Every failed check is named; the exit status is 1 when there was one.
set -euo pipefail
deb="$(realpath "$1")"
sample="$(realpath "$2")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

name="$(dpkg-deb -f "$deb" Package)"
version="$(dpkg-deb -f "$deb" Version)"
failures=0
fail() { echo "FAILED ($name): $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok ($name): $*"; }
# pass_section TEXT: "ok" only when no check failed since the last mark.
mark=0
pass_section() { [ "$failures" -eq "$mark" ] && pass "$*"; mark=$failures; }

dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
root="$work/root"
program="$root/usr/bin/varne4-decoder"
unit="$root/lib/systemd/system/varne4-decoder.service"
doc="/usr/share/doc/$name"

# The files.
wanted=(/usr/bin/varne4-decoder /lib/systemd/system/varne4-decoder.service /etc/varne4-decoder/online_conf.ini
        /usr/share/man/man1/varne4-decoder.1.gz "$doc/examples/online_conf.ini" "$doc/README.md" "$doc/copyright"
        "$doc/changelog.gz")
desktop=(/usr/share/applications/varne4-decoder.desktop /usr/share/icons/hicolor/scalable/apps/varne4-decoder.svg)
case "$name" in
    varne4-decoder) wanted+=("${desktop[@]}"); other=varne4-decoder-headless; unwanted=() ;;
    varne4-decoder-headless) other=varne4-decoder; unwanted=("${desktop[@]}") ;;
    *) fail "unknown package name"; exit 1 ;;
esac
for f in "${wanted[@]}"; do
    [ -f "$root$f" ] || fail "no $f"
done
for f in "${unwanted[@]}"; do
    [ ! -e "$root$f" ] || fail "$f in a package without windows"
done
[ -x "$program" ] || fail "the program is not executable"
cmp -s "$root/etc/varne4-decoder/online_conf.ini" "$root$doc/examples/online_conf.ini" ||
    fail "the conffile differs from the example"
grep -qx /etc/varne4-decoder/online_conf.ini "$work/control/conffiles" 2>/dev/null ||
    fail "/etc/varne4-decoder/online_conf.ini is not a conffile"
for script in postinst prerm postrm; do
    [ -x "$work/control/$script" ] || fail "no executable $script"
done
pass_section "files: ${#wanted[@]} present, conffile declared"

# The dependencies: computed from the libraries the program links, plus adduser.
depends="$(dpkg-deb -f "$deb" Depends)"
needed=(adduser libc6 libqt6core6 libqt6network6)
refused=()
if [ "$name" = varne4-decoder ]; then needed+=(libqt6widgets6 libqt6charts6); else refused=(libqt6widgets6 libqt6gui6); fi
for p in "${needed[@]}"; do
    grep -Eq "(^|, )$p( |,|$)" <<<"$depends" || fail "Depends lacks $p: $depends"
done
for p in "${refused[@]}"; do
    grep -Eq "(^|, )$p( |,|$)" <<<"$depends" && fail "Depends has $p: $depends"
done
[ "$(dpkg-deb -f "$deb" Conflicts)" = "$other" ] || fail "does not conflict with $other"
[ "$(dpkg-deb -f "$deb" Replaces)" = "$other" ] || fail "does not replace $other"
pass_section "Depends: $depends"

# The desktop entry.
mark=$failures
if [ "$name" = varne4-decoder ]; then
    if out="$(desktop-file-validate "$root/usr/share/applications/varne4-decoder.desktop" 2>&1)" && [ -z "$out" ]; then
        pass "desktop-file-validate"
    else
        fail "desktop-file-validate: $out"
    fi
    grep -qx 'Icon=varne4-decoder' "$root/usr/share/applications/varne4-decoder.desktop" || fail "Icon= is not varne4-decoder"
    grep -q '<svg ' "$root/usr/share/icons/hicolor/scalable/apps/varne4-decoder.svg" || fail "the icon is not an SVG"
fi

# The service. There is no running systemd here, so the unit is verified offline,
# as a copy whose ExecStart names the extracted program (verify wants it to exist).
mkdir -p "$work/unit"
sed "s|^ExecStart=/usr/bin/varne4-decoder |ExecStart=$program |" "$unit" >"$work/unit/varne4-decoder.service"
grep -q "^ExecStart=$program " "$work/unit/varne4-decoder.service" || fail "ExecStart does not start /usr/bin/varne4-decoder"
if out="$(SYSTEMD_LOG_COLOR=0 systemd-analyze verify "$work/unit/varne4-decoder.service" 2>&1)" &&
    ! grep -q 'varne4-decoder.service' <<<"$out"; then
    pass "systemd-analyze verify"
else
    fail "systemd-analyze verify: $out"
fi
for line in 'User=varne4' 'Restart=on-failure' 'StandardOutput=journal' 'ProtectSystem=strict' \
    'StateDirectory=varne4-decoder' 'NoNewPrivileges=yes' 'PrivateTmp=yes'; do
    grep -qx "$line" "$unit" || fail "the unit lacks $line"
done
# The program takes the service's own options: with --version added it parses them and answers.
read -r -a exec_args <<<"$(sed -n 's|^ExecStart=/usr/bin/varne4-decoder ||p' "$unit")"
out="$("$program" "${exec_args[@]}" --version 2>&1)" || fail "the program refuses ExecStart's options: $out"
grep -q -- '--data /var/lib/varne4-decoder' "$unit" || fail "the unit does not name the data folder"

# The program from the extracted tree (it links the system's Qt).
out="$("$program" --version 2>&1)" || fail "--version exits with $?"
[ "$out" = "varne4-decoder $version" ] && pass "--version: $out" || fail "--version says \"$out\", not \"varne4-decoder $version\""
if out="$("$program" decode "$sample" 2>&1)"; then
    frames="$(grep -c '^{' <<<"$out" || true)"
    [ "$frames" -gt 0 ] && pass "decode: $frames frames from $(basename "$sample")" || fail "decode printed no frame"
else
    fail "decode exits with $?: $out"
fi

if [ "$failures" -ne 0 ]; then
    echo "package check of $(basename "$deb"): $failures check(s) FAILED" >&2
    exit 1
fi
echo "package check of $(basename "$deb"): all passed"
