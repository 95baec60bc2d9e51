#!/usr/bin/env bash
# The installation as a distribution ships it: a staged install into a prefix
# with spaces, unpacked as a package manager does; nothing architecture-
# dependent under share/, no Results folder, links in bin/, a desktop entry
# that validates, the icon; every path with an explicit mode whatever the
# installer's umask (027 and 002 tried), and every path the install made
# recorded in install_manifest.txt; then the printed post-install step run
# (as a package runs it) with one HOME, and the installed program, started
# through PREFIX/bin by another user with another HOME, creates the thumbnail
# control and opens the browser. Run as root, that other user is a real
# second account: an unused uid taken with setpriv, at umask 027 (no account
# is created, so there is nothing to clean up); otherwise only the HOME
# differs. Each run has its own HOME, XDG_RUNTIME_DIR and class registry.
#
#   installation_test.sh BUILD_DIR
set -euo pipefail
build=$1
tmp=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Every wait below is on the event itself (a line printed, a window shown),
# looked for again every tenth of a second; its guard, two minutes on a
# machine however busy, only ends a hung test.
guard=1200
unset SORVANTA_CLASS_REGISTRY XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME WAYLAND_DISPLAY

prefix="$tmp/a prefix"
# Every path of a staged tree has the mode every user needs, and the
# manifest the install wrote names each path it made, no more, no less.
check_modes_and_manifest() { # $1: staged prefix, $2: the umask it was installed at, $3: the stage
  local bad
  bad=$(find "$1" -type d ! -perm 755 -printf '%m %p\n'
        find "$1" -type f ! -perm 755 ! -perm 644 -printf '%m %p\n' | head -5)
  [ -z "$bad" ] || fail "umask $2: paths without their explicit mode: $bad"
  for f in "lib/Calverdine/Sorvanta/sorvanta-analyze" "lib/Calverdine/Sorvanta/Sorvanta" \
           "lib/Calverdine/Sorvanta/libNorvikel.so"; do
    [ "$(stat -c %a "$1/$f")" = 755 ] || fail "umask $2: $f has mode $(stat -c %a "$1/$f")"
  done
  [ "$(stat -c %a "$1/share/applications/sorvanta.desktop")" = 644 ] || fail "umask $2: desktop entry mode"
  diff <(find "$1" ! -type d | sed "s|^$3||" | sort) <(sort "$build/install_manifest.txt") >&2 ||
    fail "umask $2: install_manifest.txt does not list exactly the paths the install made"
}
for mask in 002 027; do
  stage="$tmp/stage$mask"
  (umask $mask
   HOME="$tmp/packager" SORVANTA_CLASS_REGISTRY="$tmp/packager.reg" DESTDIR="$stage" \
     cmake --install "$build" --prefix "$prefix" >"$tmp/install.log")
  [ ! -e "$tmp/packager.reg" ] || fail "a staged install registered the control"
  check_modes_and_manifest "$stage$prefix" $mask "$stage"
done
staged="$stage$prefix"   # the one installed at umask 027

# ---- The tree.
elf_under_share=$(find "$staged/share" -type f -exec sh -c 'head -c 4 "$1" | grep -q ELF && echo "$1"' _ {} \;)
[ -z "$elf_under_share" ] || fail "ELF files under share/: $elf_under_share"
for f in Sorvanta libStrandel.so libVarnholde.so libNorvikel.so SorvantaUpgrade norvikel-regsvr; do
  [ -f "$staged/lib/Calverdine/Sorvanta/$f" ] || fail "not installed: lib/Calverdine/Sorvanta/$f"
done
[ -f "$staged/lib/Calverdine/Utility Files/Colorfill Contour.sty" ] || fail "no Utility Files"
[ -z "$(find "$staged" -name Results)" ] || fail "a Results folder is installed"
for f in Sorvanta sorvanta-analyze sorvanta-plot sorvanta-batch mkphase norvikel-regsvr norvikel-tool; do
  [ -L "$staged/bin/$f" ] || fail "no link bin/$f"
  [ "$(readlink "$staged/bin/$f")" = "../lib/Calverdine/Sorvanta/$f" ] || fail "bin/$f -> $(readlink "$staged/bin/$f")"
  [ -x "$staged/bin/$f" ] || fail "bin/$f does not reach a program"
done
entry="$staged/share/applications/sorvanta.desktop"
desktop-file-validate "$entry" || fail "the desktop entry does not validate"
grep -qxF "Exec=\"$prefix/bin/Sorvanta\" %f" "$entry" || fail "Exec: $(grep Exec= "$entry")"
grep -qx "Icon=sorvanta" "$entry" || fail "no icon named"
for size in 16 32 48 256; do
  png="$staged/share/icons/hicolor/${size}x$size/apps/sorvanta.png"
  [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$png is no PNG"
  # Width and height in the IHDR chunk.
  [ "$(od -An -j16 -N8 -tu1 "$png" | awk '{print $3*256+$4, $7*256+$8}')" = "$size $size" ] || fail "$png size"
done

# ---- The post-install step the install printed, pasted into a shell.
cmd=$(sed -n 's/.*register the control for every user after installing with: //p' "$tmp/install.log")
[ -n "$cmd" ] || fail "no post-install command printed: $(cat "$tmp/install.log")"
mkdir -p "$(dirname "$prefix")"
cp -a "$staged" "$prefix"
mkdir -p "$tmp/root"
(umask 027; HOME="$tmp/root" bash -c "$cmd" >/dev/null) || fail "the post-install command failed: $cmd"
[ -f "$prefix/lib/Calverdine/classes.reg" ] || fail "no registry in the installation"
[ "$(stat -c %a "$prefix/lib/Calverdine/classes.reg")" = 644 ] || fail "the installation's registry is not for every user"
grep -qF "InprocServer=$prefix/lib/Calverdine/Sorvanta/libNorvikel.so" "$prefix/lib/Calverdine/classes.reg" ||
  fail "registered elsewhere: $(cat "$prefix/lib/Calverdine/classes.reg")"
[ ! -e "$tmp/root/.config" ] || fail "the post-install step wrote the installing user's own registry"

# ---- Another user. As root: a real second account, an unused uid (setpriv
# needs no account in the password database), at umask 027.
as_user=()
other_uid=""
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
  for uid in $(seq 61000 61999); do
    getent passwd "$uid" >/dev/null || getent group "$uid" >/dev/null || { other_uid=$uid; break; }
  done
fi
if [ -n "$other_uid" ]; then
  chmod 755 "$tmp"
  as_user=(setpriv --reuid="$other_uid" --regid="$other_uid" --clear-groups)
  echo "(the other user is uid $other_uid)"
else
  echo "(not root or no setpriv: the other user differs by HOME only)"
fi
# Makes a home (and its runtime folder) for the other user.
user_home() {
  mkdir -p "$1" "$1.run" && chmod 700 "$1.run"
  [ -z "$other_uid" ] || chown "$other_uid:$other_uid" "$1" "$1.run"
}
# Every command-line tool runs for that user through PREFIX/bin.
user_home "$tmp/cli"
for f in sorvanta-analyze sorvanta-plot sorvanta-batch mkphase norvikel-regsvr norvikel-tool; do
  (umask 027; HOME="$tmp/cli" XDG_RUNTIME_DIR="$tmp/cli.run" "${as_user[@]}" "$prefix/bin/$f" --help >/dev/null 2>"$tmp/cli.err") ||
    fail "another user cannot run bin/$f: $(cat "$tmp/cli.err")"
done

# ---- Another user starts the program through PREFIX/bin and opens the browser.
if ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null || ! command -v openbox >/dev/null; then
  echo "installation: ok (the program was not started: Xvfb, openbox or xdotool missing)"
  exit 0
fi
# The server never resets: by default it resets when its last client leaves
# and refuses a client that comes meanwhile (the window manager starting
# while an xprop below ends).
exec 3< <(Xvfb -displayfd 1 -noreset -screen 0 1024x768x24 -nolisten tcp 2>"$tmp/xvfb.log")
pids+=($!)
read -r -t $((guard / 10)) number <&3 || fail "no virtual X server: $(cat "$tmp/xvfb.log")"
export DISPLAY=":$number"
openbox >"$tmp/openbox.log" 2>&1 &
wm=$!
pids+=($wm)
# The window manager is up once it names itself on the root window; one that
# has ended will not.
for _ in $(seq 1 $guard); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  kill -0 "$wm" 2>/dev/null || break
  sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id" ||
  fail "the window manager did not start on $DISPLAY: $(cat "$tmp/openbox.log")"

# The first visible window whose title is exactly $1, waited for.
window() {
  local w=""
  for _ in $(seq 1 $guard); do
    w=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}
# Presses a key in the window titled $1 once it shows; ends the test when it
# never does (the program's output then says why).
key() {
  local w
  w=$(window "$1") || { cat "$home.log" >&2; fail "no window \"$1\" ($(xwininfo -root -tree | grep -o '"[^"]*": (' | tr '\n' ' '))"; }
  xdotool windowactivate --sync "$w" windowfocus --sync "$w" key --clearmodifiers "$2"
}

# Starts the installed program as a user with the home $1 and opens the
# browser; prints "browser" when it opens, "message" when the program says
# it cannot.
open_browser() {
  home=$1
  user_home "$home"
  (umask 027; exec env HOME="$home" XDG_RUNTIME_DIR="$home.run" QT_QPA_PLATFORM=xcb "${as_user[@]}" \
     "$prefix/bin/Sorvanta") >"$home.log" 2>&1 &
  local program=$!
  pids+=("$program")
  key "Display Configuration Warning" Return   # Continue
  key "Warning" Return                         # a new settings file
  key "Sorvanta Setup" Return                  # units: OK
  key "Load Phase Image" Escape
  key "Sorvanta Phase Image Display" alt+v     # View Thumbnails
  local result=""
  for _ in $(seq 1 $guard); do
    if xdotool search --onlyvisible --name "^Browse For Folder" >/dev/null 2>&1; then result=browser; break; fi
    if xdotool search --onlyvisible --name "^View Thumbnails\$" >/dev/null 2>&1; then result=message; break; fi
    sleep 0.1
  done
  kill "$program" 2>/dev/null || true
  wait "$program" 2>/dev/null || true
  echo "$result"
}

result=$(open_browser "$tmp/user") || exit 1
[ "$result" = browser ] || fail "the other user's program could not create the control"
[ ! -e "$tmp/user/.config/Sorvanta/classes.reg" ] || fail "the user's own registry was written"
# The program found its installation's Utility Files and copied them into
# the user's own folder (the sample image is built into nothing else).
cmp "$prefix/lib/Calverdine/Utility Files/Sample_ph.tif" "$tmp/user/.local/share/Calverdine/Utility Files/Sample_ph.tif" ||
  fail "the installation's Utility Files were not found"
# Without the installation's registry the same start says the control is not
# registered (so the step above is what made it work).
mv "$prefix/lib/Calverdine/classes.reg" "$tmp/moved.reg"
result=$(open_browser "$tmp/user2") || exit 1
[ "$result" = message ] || fail "without registration the browser still opened"
echo "installation: ok"
