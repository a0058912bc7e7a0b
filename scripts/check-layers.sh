#!/usr/bin/env bash
# Checks that the source tree keeps its layers: every include of a header of
# ours names the folder it comes from ("engine/run_request.h", never a bare
# "run_request.h" that could mean a header of another folder), a file
# includes headers only of its own layer and of the layers below it, and a
# header that says of itself "Private to its library." is included only by
# its own layer (and by tests, benchmarks and fuzz targets), and every
# namespace a layer's file opens is that layer's own (zorvik::engine, or one
# inside it), so a qualified name says where it lives.
#
#   scripts/check-layers.sh [SOURCE_DIR]     (default: the project's root)
#
# The layers, as docs/ARCHITECTURE.md draws them, each with what it may use.
# Tests, benchmarks, fuzz targets and tools may use every layer. A bare name
# is let through only when no file of the tree has that name (a header the
# build generates, like the embedded images).
#
# Exit status: 0 clean, 1 an include breaks the rules, 2 the check could not
# be made.
set -euo pipefail

case "${1:-}" in
  -h|--help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  -*) echo "check-layers: unknown option $1" >&2; exit 2 ;;
esac
root=$(cd "${1:-$(dirname "$0")/..}" && pwd) || { echo "check-layers: no source directory ${1:-}" >&2; exit 2; }
cd "$root"

declare -A below=(
  [text]=""
  [images]=""
  [ports]=""
  [link]="images"
  [engine]="link images text"
  [diagnostics]="engine link ports images text"
  [session]="engine link images text"
  [station]="session engine link ports images text"
  # history asks ports/process_table.h whether the process that wrote an
  # open record still lives: /proc is read in ports/ alone.
  [history]="session engine link ports images text"
  [sim]="link images"
  [ui]="station history diagnostics session engine link ports images text"
  [apps/cli]="station history diagnostics session engine link ports images text"
  [apps/desktop]="ui station history diagnostics session engine link ports images text"
  [apps/windows]="history diagnostics session engine link ports images text"
)
open_layers=" tests bench fuzz tools "

# The namespace of each layer; apps/desktop is a main() and opens none.
declare -A namespace_of=(
  [text]=text [images]=images [ports]=ports [link]=link [engine]=engine
  [diagnostics]=diagnostics [session]=session [station]=station
  [history]=history [sim]=sim [ui]=ui [apps/cli]=cli [apps/windows]=win
)

layer_of() {  # a path inside the tree -> its layer, in $layer_found
  local rest
  case "$1" in
    apps/*) rest=${1#apps/}; layer_found="apps/${rest%%/*}" ;;
    *) layer_found=${1%%/*} ;;
  esac
}

mapfile -t sources < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find . \( -path './build*' -o -path ./.git \) -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||')
if ((${#sources[@]} == 0)); then
  echo "check-layers: no sources found in $root" >&2
  exit 2
fi
declare -A ours=()
for f in "${sources[@]}"; do ours[${f##*/}]=1; done
declare -A private=()
while IFS= read -r header; do private[$header]=1; done \
  < <(grep -l '^// Private to its library\.' -- $(printf '%s\n' "${sources[@]}" | grep '\.h$') 2>/dev/null || true)

faults=0
fault() { echo "$1: $2" >&2; faults=$((faults + 1)); }

for f in "${sources[@]}"; do
  layer_of "$f"; layer=$layer_found
  while IFS= read -r included; do
    if [[ "$included" != */* ]]; then
      [ -n "${ours[$included]:-}" ] && fault "$f" "\"$included\" names no folder; write the layer's path"
      continue
    fi
    layer_of "$included"; target=$layer_found
    [ "$target" = "$layer" ] && continue
    [[ "$open_layers" == *" ${layer%%/*} "* ]] && continue
    if [ -n "${private[$included]:-}" ]; then
      fault "$f" "includes \"$included\", which is private to $target"
      continue
    fi
    if [ -z "${below[$layer]+set}" ]; then
      fault "$f" "the layer $layer is not known to scripts/check-layers.sh"
    elif [[ " ${below[$layer]} " != *" $target "* ]]; then
      fault "$f" "includes \"$included\": $layer must not use $target"
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$f")
  own=${namespace_of[$layer]:-}
  [ -z "$own" ] && continue
  while IFS= read -r opened; do
    [[ "$opened" == "zorvik::$own" || "$opened" == "zorvik::$own::"* ]] ||
      fault "$f" "opens namespace $opened; the $layer layer's code belongs in zorvik::$own"
  done < <(sed -n 's/^namespace \(zorvik[A-Za-z0-9_:]*\) *{.*/\1/p' "$f")
done

if ((faults)); then
  echo "check-layers: $faults fault(s) break the layers" >&2
  exit 1
fi
echo "check-layers: ${#sources[@]} files, every include names its layer and points down, every namespace is its layer's"
