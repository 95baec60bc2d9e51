#!/usr/bin/env bash
# From a shell: installs the build into a scratch prefix (PREFIX/lib/Calverdine),
# makes it look like an earlier release, upgrades it with the release folder's
# tool and checks the result; then a prefix without an installation and a
# declined upgrade.
set -euo pipefail
build=$1
release=$2
version=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" TMPDIR="$tmp/tmp"
export XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data"
mkdir -p "$HOME" "$TMPDIR" && mkdir -m 700 "$XDG_RUNTIME_DIR"
export SORVANTA_CLASS_REGISTRY="$tmp/classes.reg"

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
# The installation registered its thumbnail control.
grep -q "THUMBNAIL.ThumbnailCtrl.1" "$SORVANTA_CLASS_REGISTRY" || { echo "installation did not register the control"; exit 1; }
# Every path the install made in the prefix, the installation's registry
# that its post-install step wrote included, is in install_manifest.txt.
diff <(find "$tmp/prefix" ! -type d | sort) <(sort "$build/install_manifest.txt") ||
  { echo "install_manifest.txt does not list exactly the paths the install made"; exit 1; }
inst="$tmp/prefix/lib/Calverdine"
for f in "Sorvanta/Sorvanta" "Sorvanta/libStrandel.so" "Sorvanta/libVarnholde.so" "Sorvanta/libNorvikel.so" \
         "Utility Files/Colorfill Contour.sty" "Utility Files/Sample_ph.tif" "Utility Files/Diagonal Legend.jpg" \
         "Utility Files/Configuration Phase.tif"; do
  [ -f "$inst/$f" ] || { echo "not installed: $f"; exit 1; }
done
[ ! -e "$inst/Results" ] || { echo "a Results folder is installed"; exit 1; }
# The installed program finds its libraries beside itself.
if ldd "$inst/Sorvanta/Sorvanta" | grep -q "not found"; then echo "unresolved libraries"; exit 1; fi

# An earlier release: another program, no chart styles, no thumbnail control.
printf 'earlier program' > "$inst/Sorvanta/Sorvanta"
rm -f "$inst/Utility Files/"*.sty "$inst/Sorvanta/libNorvikel.so"
out=$("$release/SorvantaUpgrade" --unattended yes --prefix "$tmp/prefix")
echo "$out"
grep -qF "Upgrade this system to Sorvanta Version $version ?" <<<"$out"
grep -q "The system has been successfully modified." <<<"$out"
cmp "$release/Sorvanta" "$inst/Sorvanta/Sorvanta"
[ -f "$inst/Utility Files/Grayfill Contour.sty" ]
[ -f "$inst/Sorvanta/libNorvikel.so" ]
# The thumbnail control the release added is registered at its installed place.
grep -q "THUMBNAIL.ThumbnailCtrl.1" "$SORVANTA_CLASS_REGISTRY" || { echo "control not registered"; exit 1; }
grep -qF "$inst/Sorvanta/libNorvikel.so" "$SORVANTA_CLASS_REGISTRY" || { echo "registered elsewhere"; exit 1; }

# No installation under the prefix: nothing written, status 2.
mkdir "$tmp/empty"
set +e
out=$("$release/SorvantaUpgrade" --unattended yes --prefix "$tmp/empty")
rc=$?
set -e
echo "$out"
[ "$rc" = 2 ] || { echo "status $rc"; exit 1; }
grep -q "Existing files to upgrade not found." <<<"$out"
[ -z "$(ls -A "$tmp/empty")" ] || { echo "empty prefix was written"; exit 1; }

# Declined: status 3, nothing changed.
before=$(cd "$inst" && find . -type f -exec md5sum {} + | sort)
set +e
out=$("$release/SorvantaUpgrade" --unattended no --prefix "$tmp/prefix")
rc=$?
set -e
[ "$rc" = 3 ] || { echo "status $rc"; exit 1; }
grep -q "The system has not been modified." <<<"$out"
after=$(cd "$inst" && find . -type f -exec md5sum {} + | sort)
[ "$before" = "$after" ] || { echo "declined upgrade changed files"; exit 1; }
echo "upgrade from the release folder: ok"
