#!/usr/bin/env bash
# Decides what to do after a failed sanitizer run: when every failed test
# failed only because the leak checker itself crashed at exit ("Tracer caught
# signal"), those tests are run once more; any other failure ends the run red.
# Usage: retry-tracer-crashes.sh BUILD_DIR CTEST_OUTPUT_LOG
set -euo pipefail
build=$1
log=$2
failed_list="$build/Testing/Temporary/LastTestsFailed.log"
[ -s "$failed_list" ] || { echo "sanitizer run failed before any test result was recorded"; exit 1; }

retry=()
while IFS= read -r entry; do
  name=${entry#*:}
  # The test's output runs from its own result line to the next result line.
  if awk -v name="$name" '
      /^ *[0-9]+\/[0-9]+ Test +#[0-9]+: / {
        inside = (index($0, ": " name " ") > 0)
        next
      }
      inside && /Tracer caught signal/ { found = 1 }
      END { exit found ? 0 : 1 }' "$log"; then
    retry+=("$name")
  else
    echo "sanitizer run: $name failed"
    exit 1
  fi
done < "$failed_list"

echo "Leak checker crashed at exit in ${#retry[@]} test(s); running them once more:"
pattern=$(printf '%s\n' "${retry[@]}" | sed 's/[][\.*^$+?(){}|/]/\\&/g' | paste -sd'|')
ctest --test-dir "$build" --output-on-failure --timeout 900 -R "^(${pattern})\$"
