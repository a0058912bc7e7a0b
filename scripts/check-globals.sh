#!/usr/bin/env bash
# Lists the objects that the libraries of the lower layers (link, images,
# engine, session, and ports and history where they are built) keep in
# writable memory: every such object is state shared by whoever links the
# library, which is what these layers must not have. Reads the symbol tables
# of the static libraries of a build tree with objdump -t.
#
#   scripts/check-globals.sh [BUILD_DIR]     (default: build)
#
# Writable sections are .data, .bss, .tdata, .tbss and their subsections
# (.data.rel.local, .bss.<name>, ...), but not .data.rel.ro: that one is
# read-only once relocated. Left out as the compiler's own: guard variables
# (_ZGV*), vtables (_ZTV*), typeinfo (_ZTI*, _ZTS*) and DW.ref.* personality
# pointers. A function-local static is reported (it is a global all the same);
# its guard is not reported beside it.
#
# Exit status: 0 none found, 1 some found, 2 the check could not be made.
set -euo pipefail

usage() { sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; }
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  -*) echo "check-globals: unknown option $1" >&2; usage >&2; exit 2 ;;
esac
if (($# > 1)); then usage >&2; exit 2; fi

build=${1:-build}
if [ ! -d "$build" ]; then
  echo "check-globals: no build directory $build" >&2
  exit 2
fi
for tool in objdump c++filt; do
  command -v "$tool" >/dev/null || { echo "check-globals: $tool is missing (package binutils)" >&2; exit 2; }
done

# The libraries that must be there, and those that may be.
required=(zorvik_text zorvik_link zorvik_images zorvik_engine zorvik_session zorvik_station)
optional=(zorvik_ports zorvik_history zorvik_diagnostics)

find_archive() {  # target name -> path of its archive, empty when not built
  find "$build" -name "lib$1.a" -type f -not -path '*/CMakeFiles/*' -print -quit
}

archives=()
for lib in "${required[@]}"; do
  a=$(find_archive "$lib")
  if [ -z "$a" ]; then
    echo "check-globals: lib$lib.a is not in $build (build it first)" >&2
    exit 2
  fi
  archives+=("$a")
done
for lib in "${optional[@]}"; do
  a=$(find_archive "$lib")
  [ -n "$a" ] && archives+=("$a")
done

found=$(mktemp)
trap 'rm -f "$found"' EXIT
total=0
for a in "${archives[@]}"; do
  # objdump -t prints, per member, "<member>:     file format ..." and then
  # one line per symbol: address, seven flag characters, section, a tab,
  # size, an optional visibility (.hidden, ...) and the name. Flag 7 is the
  # type (O object, F function, f file); flag 6 is d for section symbols.
  # Thread-local variables have a type of their own (TLS) that objdump shows
  # as a blank, so in .tdata/.tbss a blank type counts as an object too.
  # Summary on the last line: members, data objects, writable ones, and
  # whether an LTO member was seen (its symbols are not in the table).
  if ! table=$(objdump -t "$a" 2>&1); then
    echo "check-globals: objdump -t $a failed:" >&2
    echo "$table" >&2
    exit 2
  fi
  report=$(awk -v archive="$a" '
    function writable(s) {
      if (s == ".data.rel.ro" || index(s, ".data.rel.ro.") == 1) return 0
      return s == ".data" || s == ".bss" || s == ".tdata" || s == ".tbss" ||
             index(s, ".data.") == 1 || index(s, ".bss.") == 1 ||
             index(s, ".tdata.") == 1 || index(s, ".tbss.") == 1
    }
    function tls(s) { return s == ".tdata" || s == ".tbss" || index(s, ".tdata.") == 1 || index(s, ".tbss.") == 1 }
    / file format / && /:/ {
      member = $0; sub(/:[ \t]+file format .*$/, "", member); members++; next
    }
    /^[0-9a-fA-F]+ / {
      addr = $1
      flags = substr($0, length(addr) + 2, 7)
      rest = substr($0, length(addr) + 10)
      tab = index(rest, "\t")
      if (tab == 0) next
      section = substr(rest, 1, tab - 1)
      n = split(substr(rest, tab + 1), f, /[ \t]+/)
      name = f[n]
      if (name ~ /^__gnu_lto_/) lto = 1
      type = substr(flags, 7, 1)
      if (substr(flags, 6, 1) == "d" || type == "f" || type == "F") next
      if (!(type == "O" || (type == " " && tls(section)))) next
      objects++
      if (!writable(section)) next
      if (name ~ /^_ZGV/ || name ~ /^_ZTV/ || name ~ /^_ZTI/ || name ~ /^_ZTS/ || name ~ /^DW\.ref\./) next
      hits++
      printf "%s\t%s\t%s\t%s\n", archive, member, section, name
    }
    END { printf "#\t%d\t%d\t%d\t%d\n", members, objects, hits, lto }
  ' <<<"$table")
  IFS=$'\t' read -r _ members objects hits lto <<<"$(tail -n 1 <<<"$report")"
  echo "check-globals: $a: $members object files, $objects data objects, $hits in writable sections"
  if ((lto)); then
    echo "check-globals: $a holds LTO objects, whose data is not in the symbol table; check a build without -flto" >&2
    exit 2
  fi
  sed '$d' <<<"$report" >>"$found"
  total=$((total + hits))
done

if ((total == 0)); then
  echo "check-globals: no writable globals"
  exit 0
fi

echo "check-globals: $total writable globals:"
# One name per line through c++filt, then beside its archive, member and section.
paste <(cut -f1-3 "$found") <(cut -f4 "$found" | c++filt) |
  while IFS=$'\t' read -r archive member section name; do
    printf '  %s  %s  %s  %s\n' "$archive" "$member" "$section" "$name"
  done
exit 1
