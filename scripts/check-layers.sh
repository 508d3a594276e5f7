#!/usr/bin/env bash
# Fails when a lower layer includes a higher one: nothing under runtime/, stdlib/,
# geometry/ or products/ may include from supervisor/, models/, sdk/ or clients/, so
# that the runtime builds and is understood without the faces and models above it.
set -euo pipefail
cd "$(dirname "$0")/.."
found=$(grep -rnE '#[[:space:]]*include[[:space:]]*[<"](supervisor|models|sdk|clients)/' \
  runtime stdlib geometry products || true)
if [[ -n "$found" ]]; then
  echo "check-layers: these lines include a higher layer:" >&2
  echo "$found" >&2
  exit 1
fi
echo "check-layers: runtime, stdlib, geometry and products include nothing above them"
