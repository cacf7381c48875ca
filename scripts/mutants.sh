#!/usr/bin/env bash
# Mutation testing: puts each fault of scripts/mutants.txt in turn into a copy of the tree in build-mutants/,
# rebuilds it, runs the fast suite (the broker and browser tests left out) and prints whether the suite caught the fault;
# the working tree is never touched.
# Usage: scripts/mutants.sh [--list] [name-filter]   (filter: part of a fault name; --list: the names only)
# Takes minutes on 2 cores, not part of CI. Exit status 0 whatever was missed; non-zero when the run itself failed.
set -euo pipefail
cd "$(dirname "$0")/.."

faults=scripts/mutants.txt
scratch=build-mutants
copy=$scratch/src-copy     # tracked and untracked, not ignored files of the tree, as they are now
build=$scratch/build
logs=$scratch/logs         # one build and test log per fault, for a look at what happened
backup=$scratch/original   # the mutated file as it was, while a fault is in place
test_timeout=60            # seconds per test: a fault that makes a test hang is caught by the time-out

die() { echo "mutants: $*" >&2; exit 2; }

# Reads the fault list and applies one fault; the fault format is described at the top of the list.
#   names <list> [filter]                 the names, filtered; fails on a malformed list
#   apply <list> <name> <copy> <backup>   saves the file to <backup>, applies the fault and prints the
#                                         file's path; exit status 3 and the reason when the fault is stale
read -r -d '' fault_tool <<'PYTHON' || true
import re, shutil, sys

def unescape(value):
    out, i = [], 0
    while i < len(value):
        if value[i] == "\\" and i + 1 < len(value) and value[i + 1] in "n\\":
            out.append("\n" if value[i + 1] == "n" else "\\")
            i += 2
        else:
            out.append(value[i])
            i += 1
    return "".join(out)

def read_faults(path):
    faults, current = [], None
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            key, colon, value = line.partition(":")
            key = key.strip()
            if not colon or key not in ("name", "file", "from", "to"):
                sys.exit(f"{path}:{number}: expected name:, file:, from: or to:")
            if key == "name":
                current = {"name": value.strip(), "line": number}
                faults.append(current)
            elif current is None or key in current:
                sys.exit(f"{path}:{number}: {key}: outside a fault or given twice")
            else:
                current[key] = unescape(value.strip())
    seen = set()
    for fault in faults:
        missing = [k for k in ("file", "from", "to") if k not in fault]
        if not fault["name"] or missing:
            sys.exit(f"{path}:{fault['line']}: fault without a name or without {', '.join(missing)}")
        if not re.fullmatch(r"[A-Za-z0-9._-]+", fault["name"]):
            sys.exit(f"{path}:{fault['line']}: a name is letters, digits, '.', '_' and '-' only")
        if fault["name"] in seen:
            sys.exit(f"{path}:{fault['line']}: the name {fault['name']} is used twice")
        seen.add(fault["name"])
    return faults

def apply(fault, copy, backup):
    path = f"{copy}/{fault['file']}"
    try:
        with open(path, encoding="utf-8") as f:
            lines = f.read().split("\n")
    except FileNotFoundError:
        print(f"no file {fault['file']}")
        sys.exit(3)
    wanted = [l.strip() for l in fault["from"].split("\n")]
    starts = [i for i in range(len(lines) - len(wanted) + 1)
              if all(lines[i + j].strip() == w for j, w in enumerate(wanted))]
    if len(starts) != 1:
        print(f"'from' found {len(starts)} times in {fault['file']}")
        sys.exit(3)
    at = starts[0]
    replaced = lines[at:at + len(wanted)]
    indent = [l[:len(l) - len(l.lstrip())] for l in replaced]
    new = [] if fault["to"] == "" else fault["to"].split("\n")
    new = [indent[min(j, len(indent) - 1)] + l.strip() for j, l in enumerate(new)]
    shutil.copyfile(path, backup)
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines[:at] + new + lines[at + len(wanted):]))
    print(fault["file"])

command, path = sys.argv[1], sys.argv[2]
faults = read_faults(path)
if command == "names":
    pattern = sys.argv[3] if len(sys.argv) > 3 else ""
    for fault in faults:
        if pattern in fault["name"]:
            print(fault["name"])
elif command == "apply":
    name, copy, backup = sys.argv[3:6]
    apply(next(f for f in faults if f["name"] == name), copy, backup)
PYTHON

list_only=false
filter=""
for argument in "$@"; do
  case "$argument" in
    --list) list_only=true ;;
    -h|--help) sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) die "unknown option $argument (try --help)" ;;
    *) filter=$argument ;;
  esac
done

command -v python3 >/dev/null || die "python3 is needed to read the fault list"
names=$(python3 -c "$fault_tool" names "$faults" "$filter") || die "cannot read $faults"
if $list_only; then
  [ -z "$names" ] || printf '%s\n' "$names"
  exit 0
fi
[ -n "$names" ] || die "no fault name contains '$filter'"

mkdir -p "$copy" "$logs"
exec 9>"$scratch/lock"
flock -n 9 || die "another run is using $scratch"

# A file is written into the copy only when its content differs, so the build reuses what it can;
# a written file is newer than anything built from it, also from a fault left behind by a killed run.
sync_copy() {
  local listed=$scratch/listed
  git ls-files -z -co --exclude-standard | sort -z >"$listed"
  while IFS= read -r -d '' file; do
    [ -f "$file" ] || continue  # deleted in the tree, not yet committed
    if ! cmp -s "$file" "$copy/$file"; then
      mkdir -p "$(dirname "$copy/$file")"
      cp "$file" "$copy/$file"
    fi
  done <"$listed"
  (cd "$copy" && find . -type f -printf '%P\0' | sort -z) | comm -z -13 "$listed" - |
    while IFS= read -r -d '' gone; do rm -f "$copy/$gone"; done
}

build_and_test() {  # $1: log file. Status 1: does not build; 2: the suite fails
  cmake --build "$build" -j "$(nproc)" </dev/null >"$1" 2>&1 || return 1
  ctest --test-dir "$build" -j 2 --timeout "$test_timeout" --stop-on-failure --label-exclude 'broker|browser' </dev/null >>"$1" 2>&1 || return 2
}

# The test that failed first, from ctest's progress lines: "3/100 Test  #94: Suite.Name ....***Failed  0.48 sec".
first_failure() {
  sed -n 's/^ *[0-9]*\/[0-9]* Test *#[0-9]*: \([^ ]*\) \.*\*\*\*\([A-Za-z]*\).*/\1 \2/p' "$1" |
    head -n 1 | sed 's/ Failed$//; s/ Timeout$/, timed out/; s/ Exception$/, crashed/'
}

mutated=""  # the copy's file while a fault is in it
restore() {
  if [ -n "$mutated" ]; then
    cp "$backup" "$copy/$mutated"
    touch "$copy/$mutated"  # newer than the objects built from the fault
    mutated=""
  fi
}
trap restore EXIT

started=$SECONDS
sync_copy
if [ ! -f "$build/CMakeCache.txt" ]; then
  generator=()
  if command -v ninja >/dev/null; then generator=(-G Ninja); fi
  cmake -S "$copy" -B "$build" "${generator[@]}" -DSTINTKEEPER_WERROR=ON -DSTINTKEEPER_TESTS=ON \
    -DSTINTKEEPER_SANITIZE=OFF -DSTINTKEEPER_FUZZ=OFF -DSTINTKEEPER_BENCH=OFF >"$logs/configure.log" 2>&1 ||
    die "configuring $build failed: see $logs/configure.log"
fi
status=0
build_and_test "$logs/baseline.log" || status=$?
case $status in
  0) echo "baseline: the suite passes on the unmutated tree ($((SECONDS - started)) s)" ;;
  1) tail -n 30 "$logs/baseline.log" >&2; die "the unmutated tree does not build: see $logs/baseline.log" ;;
  *) tail -n 30 "$logs/baseline.log" >&2; die "the suite fails on the unmutated tree: see $logs/baseline.log" ;;
esac

caught=0 missed=0 stale=0 broken=0
while IFS= read -r name <&3; do
  log=$logs/$name.log
  if file=$(python3 -c "$fault_tool" apply "$faults" "$name" "$copy" "$backup"); then
    mutated=$file
  else
    [ $? -eq 3 ] || die "applying $name failed"
    printf '%-15s %s   (%s)\n' "stale" "$name" "$file"
    stale=$((stale + 1))
    continue
  fi
  status=0
  build_and_test "$log" || status=$?
  restore
  case $status in
    0) result=missed; missed=$((missed + 1)); detail="" ;;
    1) result="does not build"; broken=$((broken + 1))
       detail=$(grep -m 1 'error:' "$log" | sed 's|.*src-copy/||') ;;
    *) result=caught; caught=$((caught + 1))
       detail="by $(first_failure "$log")" ;;
  esac
  printf '%-15s %s%s\n' "$result" "$name" "${detail:+   ($detail)}"
done 3<<<"$names"

if [ $((stale + broken)) -gt 0 ]; then
  echo "not valid, fix the list: $stale stale, $broken do not build"
fi
echo "took $((SECONDS - started)) s"
echo "mutants: $caught caught, $missed missed"
