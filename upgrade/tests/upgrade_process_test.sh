#!/usr/bin/env bash
# The upgrade tool run as a process, as an administrator runs it: a staged
# installation (DESTDIR) made into an earlier release, then damaged release
# folders, a second upgrade while one runs, stop signals and SIGKILL at every
# journal point, a file-size limit; and the library search path of every
# shipped binary. Each run has its own HOME, XDG_RUNTIME_DIR, class registry
# and temporary folder.
#
#   upgrade_process_test.sh BUILD_DIR RELEASE_DIR MODULES_DIR MANIFEST_SCRIPT
set -euo pipefail
build=$1
release=$2
modules=$3
manifest_script=$4

tmp=$(mktemp -d)
trap 'kill -KILL $(jobs -p) 2>/dev/null || true; rm -rf "$tmp"' EXIT
export HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" TMPDIR="$tmp/tmp"
export XDG_CONFIG_HOME="$tmp/home/.config" XDG_DATA_HOME="$tmp/home/.local/share"
export SORVANTA_CLASS_REGISTRY="$tmp/registry/classes.reg"
mkdir -p "$HOME" "$TMPDIR" && mkdir -m 700 "$XDG_RUNTIME_DIR"
unset SORVANTA_UPGRADE_TEST_HALT

fail() { echo "FAIL: $*" >&2; exit 1; }

# ---- Staged install: succeeds, registers nothing, ships the tool and helper.
DESTDIR="$tmp/stage" cmake --install "$build" --prefix /opt/sorvanta >/dev/null
[ ! -e "$SORVANTA_CLASS_REGISTRY" ] || fail "a staged install registered the control"
staged="$tmp/stage/opt/sorvanta/lib/Calverdine"
for f in Sorvanta SorvantaUpgrade norvikel-regsvr; do
  [ -x "$staged/Sorvanta/$f" ] || fail "not installed beside the program: $f"
done

# ---- Every shipped binary searches its libraries in its own folder only.
for dir in "$release" "$staged/Sorvanta"; do
  count=0
  for f in "$dir"/*; do
    head -c 4 "$f" | grep -q "ELF" || continue
    count=$((count + 1))
    paths=$(readelf -d "$f" | grep -E '\((RUNPATH|RPATH)\)' || true)
    [ "$(wc -l <<<"$paths")" = 1 ] && grep -qF '(RUNPATH)' <<<"$paths" &&
      grep -qF 'Library runpath: [$ORIGIN]' <<<"$paths" || fail "$f: search path $paths"
  done
  [ "$count" -ge 6 ] || fail "only $count binaries in $dir"
done

# ---- An earlier release, installed where earlier releases were (PREFIX/share):
# an older program and TIFF library, no chart styles, no thumbnail control.
prefix="$tmp/prefix"
inst="$prefix/share/Calverdine"
old="$tmp/old"
mkdir -p "$old/share"
cp -a "$staged" "$old/share/"
printf 'earlier program' > "$old/share/Calverdine/Sorvanta/Sorvanta"
cp "$modules/old/libStrandel.so" "$old/share/Calverdine/Sorvanta/libStrandel.so"
rm -f "$old/share/Calverdine/Utility Files/"*.sty "$old/share/Calverdine/Sorvanta/libNorvikel.so"

rel="$tmp/release"
cp -a "$release" "$rel"

# The installation lies in a shared prefix (not under the user's home): its
# control is registered in the installation's own registry, which every user
# reads (inside the tree compared below); the user's registry stays as it
# was, absent.
reset() {
  rm -rf "$prefix" "$tmp/registry"
  cp -a "$old" "$prefix"
}
upgrade() { "$rel/SorvantaUpgrade" --unattended "${1:-yes}" --prefix "$prefix"; }
# Leftovers: hidden files of the installation (diff -r sees any other file
# there) and every file in the registry folder but the registry itself.
hidden() {
  { find "$prefix" -name '.*'
    [ ! -d "$tmp/registry" ] || find "$tmp/registry" -mindepth 1 ! -path "$SORVANTA_CLASS_REGISTRY"
  } | head -5
}
same_tree() { diff -r "$1" "$prefix" >/dev/null; }
same_registry() { # $1: reference file, or "none"
  if [ "$1" = none ]; then [ ! -e "$SORVANTA_CLASS_REGISTRY" ]; else cmp -s "$1" "$SORVANTA_CLASS_REGISTRY"; fi
}
is_old() { same_tree "$old" && same_registry none && [ ! -e "$tmp/registry" ] && [ -z "$(hidden)" ]; }
is_new() { same_tree "$tmp/new" && same_registry none && [ ! -e "$tmp/registry" ] && [ -z "$(hidden)" ]; }

# The upgraded installation, as a run that nothing disturbs leaves it.
reset
out=$(upgrade) || fail "reference upgrade: $out"
grep -qF "Upgrade this system to Sorvanta Version" <<<"$out"
grep -qF "InprocServer=$inst/Sorvanta/libNorvikel.so" "$inst/classes.reg" ||
  fail "control not registered for every user: $(cat "$inst/classes.reg" 2>&1)"
[ "$(stat -c %a "$inst/classes.reg")" = 644 ] || fail "the installation's registry is not readable by every user"
[ ! -e "$SORVANTA_CLASS_REGISTRY" ] || fail "the user's own registry was written"
cp -a "$prefix" "$tmp/new"
[ -z "$(hidden)" ] || fail "hidden files after an upgrade: $(hidden)"

# ---- Damaged releases: refused with status 1 and the file's name, nothing changed.
damage_cases=(
  "libVarnholde.so|printf 'X' | dd of=libVarnholde.so bs=1 seek=4096 conv=notrunc status=none"
  "libVarnholde.so|truncate -s 50000 libVarnholde.so"
  "libVarnholde.so|: > libVarnholde.so"
  "libStrandel.so|cp libVarnholde.so libStrandel.so"
  "Colorfill Contour.sty|rm 'Colorfill Contour.sty'"
  "release.manifest|rm release.manifest"
  "release.manifest|printf 'not a manifest\n' >> release.manifest"
  "norvikel-regsvr|sed -i '/norvikel-regsvr/d' release.manifest"
)
for c in "${damage_cases[@]}"; do
  name=${c%%|*}
  rm -rf "$rel" && cp -a "$release" "$rel"
  (cd "$rel" && eval "${c#*|}")
  reset
  set +e; out=$(upgrade); rc=$?; set -e
  [ "$rc" = 1 ] || fail "damaged release ($c): status $rc"
  grep -qF "\"$name\"" <<<"$out" || fail "damaged release ($c) not named: $out"
  grep -qF "The system has not been modified." <<<"$out" || fail "($c): $out"
  is_old || fail "damaged release ($c) changed the installation"
done

# A 5 KB program, even with a manifest that matches it: no question with a
# blank version, status 1.
rm -rf "$rel" && cp -a "$release" "$rel"
head -c 5000 /dev/urandom > "$rel/Sorvanta"
cmake -DFOLDER="$rel" -P "$manifest_script"
reset
set +e; out=$(upgrade); rc=$?; set -e
[ "$rc" = 1 ] || fail "release without a readable program: status $rc"
! grep -q "Upgrade this system" <<<"$out" || fail "asked with a blank version: $out"
grep -qF '"Sorvanta"' <<<"$out" || fail "$out"
is_old || fail "release without a readable program changed the installation"
rm -rf "$rel" && cp -a "$release" "$rel"

# ---- A file-size limit: the copy fails (EFBIG), the upgrade is rolled back.
reset
set +e; out=$(ulimit -f 1000; upgrade); rc=$?; set -e
[ "$rc" = 1 ] || fail "file-size limit: status $rc ($out)"
grep -qF "File too large" <<<"$out" || fail "file-size limit not named: $out"
is_old || fail "file-size limit left a changed installation"

# ---- SIGKILL at every journal point, then a start that declines (it only
# recovers) and one that upgrades.
kills=0
for n in $(seq 1 40); do
  reset
  set +e; SORVANTA_UPGRADE_TEST_HALT=kill:$n upgrade >/dev/null; rc=$?; set -e
  [ "$rc" = 0 ] && break
  [ "$rc" = 137 ] || fail "kill:$n: status $rc"
  kills=$((kills + 1))
  set +e; out=$(upgrade no); rc=$?; set -e
  [ "$rc" = 3 ] || fail "kill:$n, then declined: status $rc ($out)"
  is_old || is_new || fail "kill:$n: neither the old nor the new installation after recovery ($(hidden))"
  out=$(upgrade) || fail "kill:$n, then upgrade: $out"
  is_new || fail "kill:$n: the next upgrade did not give the new installation ($(hidden))"
done
[ "$kills" -ge 15 ] || fail "only $kills journal points"
last=$kills

# ---- SIGINT, SIGTERM and SIGHUP roll back before the tool ends: early, just
# after the registration, and at the last point before the commit.
for c in "term:3:143" "int:$((last - 1)):130" "hup:$((last - 1)):129" "term:$((last - 2)):143"; do
  how=${c%:*}
  reset
  set +e; SORVANTA_UPGRADE_TEST_HALT=$how upgrade >/dev/null 2>"$tmp/err"; rc=$?; set -e
  [ "$rc" = "${c##*:}" ] || fail "$how: status $rc"
  grep -qF "The system has not been modified." "$tmp/err" || fail "$how: $(cat "$tmp/err")"
  is_old || fail "$how: not rolled back ($(hidden))"
done

# ---- The registration child killed while it writes the registry through its
# temporary file (the hook stops it there: SORVANTA_REGISTRY_TEST_HALT=write),
# alone or with the tool. First in the installation's registry of the shared
# prefix, then in the user's own registry of the user's own installation
# (under the home), whose folder the run makes.
# The child of $1 once it has stopped itself; the guard only ends a hang.
stopped_child() {
  local c
  for _ in $(seq 1 2400); do
    c=$(cat /proc/[0-9]*/stat 2>/dev/null |
        awk -v parent="$1" '{ pid = $1; sub(/^[^(]*\(.*\) /, ""); split($0, f, " ") }
                            f[1] == "T" && f[2] == parent { print pid; exit }')
    [ -n "$c" ] && { echo "$c"; return 0; }
    kill -0 "$1" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}
# Starts an upgrade ($@: more options) whose registration stops at its write;
# sets $first and $child.
start_halted() {
  SORVANTA_REGISTRY_TEST_HALT=write "$rel/SorvantaUpgrade" --unattended yes "$@" >"$tmp/out" 2>&1 &
  first=$!
  child=$(stopped_child "$first") || fail "the registration did not stop at its write: $(cat "$tmp/out")"
}
# The final message matches the state left: put back, and said so.
said_put_back() {
  grep -qF "The upgrade could not be completed" "$tmp/out" && grep -qF "The system has not been modified." "$tmp/out" &&
    ! grep -qF "Not everything could be put back" "$tmp/out"
}

reset
start_halted --prefix "$prefix"
[ -n "$(find "$inst" -maxdepth 1 -name '.classes.reg.??????')" ] || fail "no temporary registry at the write"
kill -KILL "$child"
set +e; wait "$first"; rc=$?; set -e
[ "$rc" = 1 ] || fail "registration killed: status $rc ($(cat "$tmp/out"))"
said_put_back || fail "registration killed: $(cat "$tmp/out")"
grep -qF "Process failed in signaled state or time-out." "$tmp/out" || fail "$(cat "$tmp/out")"
is_old || fail "registration killed: not put back ($(hidden))"

reset
start_halted --prefix "$prefix"
kill -KILL "$first"
wait "$first" 2>/dev/null || true
set +e; out=$(upgrade no); rc=$?; set -e
[ "$rc" = 3 ] || fail "tool and registration killed, then declined: status $rc ($out)"
grep -qF "An interrupted upgrade has been undone." <<<"$out" || fail "$out"
is_old || fail "tool and registration killed: not put back ($(hidden))"

# The user's own installation: "~/.local/lib", from an earlier release.
own="$HOME/.local/lib"
own_reset() { rm -rf "$own" "$tmp/registry"; mkdir -p "$own"; cp -a "$old/share/Calverdine" "$own/"; }
own_is_old() { diff -r "$old/share/Calverdine" "$own/Calverdine" >/dev/null && [ ! -e "$tmp/registry" ] &&
  [ -z "$(find "$own" -name '.*' | head -3)" ]; }
own_reset
start_halted
[ -n "$(find "$tmp/registry" -maxdepth 1 -name '.classes.reg.??????')" ] || fail "no temporary user registry at the write"
kill -KILL "$child"
set +e; wait "$first"; rc=$?; set -e
[ "$rc" = 1 ] || fail "user's registration killed: status $rc ($(cat "$tmp/out"))"
said_put_back || fail "user's registration killed: $(cat "$tmp/out")"
own_is_old || fail "user's registration killed: the installation or the registry folder stayed"

# Tool and child killed; meanwhile someone puts a file into the registry
# folder the run made. The next start undoes the upgrade, keeps that file
# and its folder, and the one after upgrades.
own_reset
start_halted
kill -KILL "$first"
wait "$first" 2>/dev/null || true
printf 'not the upgrade'"'"'s\n' > "$tmp/registry/notes.txt"
set +e; out=$("$rel/SorvantaUpgrade" --unattended no); rc=$?; set -e
[ "$rc" = 3 ] || fail "user's tool killed, then declined: status $rc ($out)"
grep -qF "An interrupted upgrade has been undone." <<<"$out" || fail "$out"
[ "$(ls -A "$tmp/registry")" = notes.txt ] || fail "the registry folder holds: $(ls -A "$tmp/registry")"
diff -r "$old/share/Calverdine" "$own/Calverdine" >/dev/null || fail "the user's installation was not put back"
out=$("$rel/SorvantaUpgrade" --unattended yes) || fail "the upgrade after: $out"
grep -qF "InprocServer=$own/Calverdine/Sorvanta/libNorvikel.so" "$SORVANTA_CLASS_REGISTRY" ||
  fail "the user's own installation is not registered in the user's registry"
rm -rf "$own" "$tmp/registry"

# ---- Two upgrades at once: the second says so, exits 1 and touches nothing.
reset
SORVANTA_UPGRADE_TEST_HALT=stop:5 "$rel/SorvantaUpgrade" --unattended yes --prefix "$prefix" >/dev/null &
first=$!
# Wait until the first run has stopped itself there, however long its start
# takes; a run that ends instead fails at once, and the guard (two minutes)
# only ends a hang.
state() { awk '{print $3}' "/proc/$first/stat" 2>/dev/null || true; }
for _ in $(seq 1 2400); do
  case "$(state)" in
    T) break ;;
    Z | "") fail "the first upgrade ended before its stop point" ;;
  esac
  sleep 0.05
done
[ "$(state)" = T ] || fail "the first upgrade did not reach its stop point"
before=$(cd "$tmp" && find prefix $(ls -d registry 2>/dev/null) -exec ls -ld --time-style=+%s.%N {} + | sort; find prefix -type f -exec md5sum {} + | sort)
set +e; out=$(upgrade); rc=$?; set -e
after=$(cd "$tmp" && find prefix $(ls -d registry 2>/dev/null) -exec ls -ld --time-style=+%s.%N {} + | sort; find prefix -type f -exec md5sum {} + | sort)
[ "$rc" = 1 ] || fail "second upgrade: status $rc"
grep -qF "Another upgrade of this system is running." <<<"$out" || fail "$out"
[ "$before" = "$after" ] || fail "the second upgrade touched the installation"
kill -CONT "$first"
wait "$first" || fail "the first upgrade failed after the second"
is_new || fail "the first upgrade did not complete"

echo "upgrade as a process: ok ($kills journal points)"
