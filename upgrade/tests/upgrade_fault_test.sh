#!/usr/bin/env bash
# The upgrade tool as a process on file systems that misbehave, made by the
# preloaded stand-in fs_faults.so: a read-only part of the installation or
# of the registry folder, hard links refused (backups by copy keep the
# owner, or the file is not replaced), the order of renames and folder syncs;
# and a release folder whose name is not UTF-8. Each run has its own HOME,
# XDG_RUNTIME_DIR, class registry and temporary folder.
#
#   upgrade_fault_test.sh BUILD_DIR RELEASE_DIR MODULES_DIR FAULTS_LIBRARY
set -euo pipefail
build=$1
release=$2
modules=$3
faults=$4

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" TMPDIR="$tmp/tmp"
export XDG_CONFIG_HOME="$tmp/home/.config" XDG_DATA_HOME="$tmp/home/.local/share"
export SORVANTA_CLASS_REGISTRY="$tmp/registry/classes.reg"
mkdir -p "$HOME" "$TMPDIR" && mkdir -m 700 "$XDG_RUNTIME_DIR"
unset SORVANTA_UPGRADE_TEST_HALT SORVANTA_FAULT_READONLY SORVANTA_FAULT_NO_HARDLINK SORVANTA_FAULT_NO_CHOWN SORVANTA_FAULT_LOG

fail() { echo "FAIL: $*" >&2; exit 1; }

# An earlier release in the installation's place: an older program and TIFF
# library, no chart styles, no thumbnail control. It is the user's own
# installation, under the home: without a registry of its own, its control
# is registered in the user's registry, where the registry rows below
# put their faults.
DESTDIR="$tmp/stage" cmake --install "$build" --prefix /opt/sorvanta >/dev/null
prefix="$HOME/sorvanta"
inst="$prefix/lib/Calverdine"
old="$tmp/old"
mkdir -p "$old/lib"
cp -a "$tmp/stage/opt/sorvanta/lib/Calverdine" "$old/lib/"
printf 'earlier program' > "$old/lib/Calverdine/Sorvanta/Sorvanta"
cp "$modules/old/libStrandel.so" "$old/lib/Calverdine/Sorvanta/libStrandel.so"
rm -f "$old/lib/Calverdine/Utility Files/"*.sty "$old/lib/Calverdine/Sorvanta/libNorvikel.so"

reset() {
  rm -rf "$prefix" "$tmp/registry"
  cp -a "$old" "$prefix"
}
# The tool with the stand-in preloaded (the sanitizers' runtime then does not
# come first, which is as intended here); the timeout only ends a hung run.
upgrade() {
  timeout 120 env LD_PRELOAD="$faults" ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" \
    "${rel:-$release}/SorvantaUpgrade" --unattended yes --prefix "$prefix"
}
same_tree() { diff -r "$old" "$prefix" >/dev/null; }
owners() { stat -c '%u:%g' "$inst/Sorvanta/Sorvanta" "$inst/Sorvanta/libStrandel.so" | tr '\n' ' '; }

# ---- A read-only folder: the rollback is complete and says nothing failed;
# no journal stays, and the next run is refused the same way, not by a
# recovery that cannot be done.
reset
mkdir -p "$tmp/registry"
printf '# registry\n[ProgID/Other.Thing.1]\nCLSID={0}\n' > "$SORVANTA_CLASS_REGISTRY"
cp "$SORVANTA_CLASS_REGISTRY" "$tmp/registry.before"
for ro in "$inst/Utility Files" "$tmp/registry"; do
  for run in 1 2; do
    set +e; out=$(SORVANTA_FAULT_READONLY="$ro" upgrade); rc=$?; set -e
    [ "$rc" = 1 ] || fail "read-only $ro, run $run: status $rc ($out)"
    grep -qF "Read-only file system" <<<"$out" || fail "read-only $ro not named: $out"
    ! grep -qF "Not everything could be put back" <<<"$out" || fail "read-only $ro, run $run: $out"
    ! grep -qF "could not be undone" <<<"$out" || fail "read-only $ro, run $run: $out"
    [ ! -e "$inst/.upgrade-journal" ] || fail "read-only $ro, run $run: the journal stayed"
    same_tree || fail "read-only $ro, run $run: the installation changed"
    cmp -s "$tmp/registry.before" "$SORVANTA_CLASS_REGISTRY" || fail "read-only $ro: the registry changed"
    [ "$(ls -A "$tmp/registry")" = classes.reg ] || fail "read-only $ro: left $(ls -A "$tmp/registry")"
  done
done

# ---- Hard links refused: the backups are copies. A rollback (the control's
# registration fails: its registry would lie under a file) puts back the
# owners too, where the system lets the tool keep them.
if [ "$(id -u)" = 0 ]; then
  reset
  chown 4242:4243 "$inst/Sorvanta/Sorvanta" "$inst/Sorvanta/libStrandel.so"
  printf 'a file' > "$tmp/plain"
  set +e
  out=$(SORVANTA_FAULT_NO_HARDLINK=1 SORVANTA_CLASS_REGISTRY="$tmp/plain/classes.reg" upgrade); rc=$?
  set -e
  [ "$rc" = 1 ] || fail "registration under a file: status $rc ($out)"
  [ "$(owners)" = "4242:4243 4242:4243 " ] || fail "owners after the rollback: $(owners)"
  chown 0:0 "$inst/Sorvanta/Sorvanta" "$inst/Sorvanta/libStrandel.so"
  diff -r "$old" "$prefix" >&2 || fail "the rollback after copied backups left a changed installation"
else
  echo "(not root: the owner row needs files of another user; skipped)"
fi
# Where the owner cannot be kept, the file is not replaced at all.
reset
set +e; out=$(SORVANTA_FAULT_NO_HARDLINK=1 SORVANTA_FAULT_NO_CHOWN=1 upgrade); rc=$?; set -e
[ "$rc" = 1 ] || fail "owner not kept: status $rc ($out)"
grep -qF "the owner of $inst/Sorvanta/Sorvanta cannot be kept" <<<"$out" || fail "owner not kept: $out"
same_tree || fail "a file whose backup could not keep its owner was replaced"
rm -rf "$tmp/registry"

# ---- Every rename, link, folder made and removal is followed by a sync of
# its folder before the next journal record is written, and before the tool
# ends: in an upgrade that completes and in one rolled back.
check_order() { # $1: log
  awk -v journal="$inst/.upgrade-journal" '
    function folder(p) { sub("/[^/]*$", "", p); return p }
    $3 == journal && $2 == "fsync" { if (tool == "") tool = $1 }
    { lines[NR] = $0 }
    END {
      for (i = 1; i <= NR; ++i) {
        split(lines[i], f, " ")
        if (f[1] != tool) continue
        path = substr(lines[i], length(f[1] f[2]) + 3)
        if (f[2] == "fsync" && path == journal) {
          for (p in pending) { print "not synced before a journal record: " pending[p]; bad = 1 }
          delete pending
        } else if (f[2] == "fsyncdir") {
          for (p in pending) if (folder(p) == path) delete pending[p]
        } else if (f[2] != "fsync" && f[2] != "renamefrom") {
          pending[path] = f[2] " " path
        }
      }
      for (p in pending) { print "not synced before the end: " pending[p]; bad = 1 }
      if (tool == "") { print "no journal record seen"; bad = 1 }
      exit bad
    }' "$1"
}
# Every file renamed into place, by the tool or its registration child (a
# copy, a backup copy, the class registry), was synced under its temporary
# name before the rename.
check_synced_before_rename() { # $1: log
  awk '
    { path = $1 " " substr($0, length($1 $2) + 3) }
    $2 == "fsync" { synced[path] = 1 }
    $2 == "renamefrom" {
      renames++
      if (!(path in synced)) { print "renamed into place unsynced: " path; bad = 1 }
      delete synced[path]
    }
    END { if (renames < 5) { print "only " renames + 0 " renames seen"; bad = 1 } exit bad }' "$1"
}
reset
SORVANTA_FAULT_LOG="$tmp/ops.log" upgrade >/dev/null || fail "logged upgrade failed"
check_order "$tmp/ops.log" || fail "folders not synced in an upgrade"
check_synced_before_rename "$tmp/ops.log" || fail "a file was renamed into place before it was synced"
grep -q " renamefrom .*/\.upgnew_Sorvanta\$" "$tmp/ops.log" || fail "the program's copy was not logged"
grep -q " renamefrom $tmp/registry/\.classes\.reg\.[A-Za-z0-9]\{6\}\$" "$tmp/ops.log" || fail "the registry write was not logged"
grep -q " fsyncdir $inst\$" "$tmp/ops.log" || fail "the journal's folder was never synced"
reset
rm -f "$tmp/ops.log"
set +e; SORVANTA_FAULT_LOG="$tmp/ops.log" SORVANTA_CLASS_REGISTRY="$tmp/plain/classes.reg" upgrade >/dev/null; set -e
check_order "$tmp/ops.log" || fail "folders not synced in a rollback"
same_tree || fail "the logged rollback left a changed installation"

# ---- Pipes where files belong are never waited on: a pipe named "Sorvanta" in the release is no readable program; a pipe
# in place of an installed library has no version and is replaced.
rel="$tmp/release-fifo"
cp -a "$release" "$rel"
rm "$rel/Sorvanta" && mkfifo "$rel/Sorvanta"
reset
set +e; out=$(upgrade); rc=$?; set -e
[ "$rc" = 1 ] || fail "a pipe as the release's program: status $rc ($out)"
grep -qF 'holds no readable "Sorvanta" program' <<<"$out" || fail "$out"
same_tree || fail "a pipe as the release's program changed the installation"
rm -rf "$rel"
unset rel
reset
rm "$inst/Sorvanta/libStrandel.so" && mkfifo "$inst/Sorvanta/libStrandel.so"
out=$(upgrade) || fail "a pipe as an installed library: $out"
cmp "$release/libStrandel.so" "$inst/Sorvanta/libStrandel.so" || fail "the pipe was not replaced"

# ---- A release folder whose name is not UTF-8.
rel="$tmp/release-"$'\xff\xfe'
cp -a "$release" "$rel"
reset
out=$(upgrade) || fail "release folder with a name that is not UTF-8: $out"
grep -qF "The system has been successfully modified." <<<"$out" || fail "$out"
cmp "$rel/Sorvanta" "$inst/Sorvanta/Sorvanta" || fail "the program was not upgraded"

echo "upgrade on misbehaving file systems: ok"
