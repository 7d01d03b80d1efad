#!/usr/bin/env bash
# Builds the Debian package (Release with the flags of dpkg-buildflags, in
# build-package/), checks it with lintian (no error or warning) and installs
# it; checks the installed program's hardening with hardening-check, runs it
# from the PATH on a short session in an empty folder, checks that its manual
# page renders without a single groff warning, and removes the package
# again. Installing into the system takes root: run as anyone else, it says
# what is missing and stops.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(dpkg-dev file man-db groff-base lintian devscripts binutils)
if [ "$(id -u)" -ne 0 ]; then
  scripts/deps.sh "${packages[@]}" || true # says what is missing
  echo "This check installs and removes the listpool package: run it as root." >&2
  exit 1
fi
scripts/deps.sh "${packages[@]}"
export DEBIAN_FRONTEND=noninteractive

# One run at a time on a machine: the package is installed system-wide.
exec 9>/var/lock/listpool-check-package.lock
flock 9
if dpkg-query -W -f='${Status}' listpool 2>/dev/null | grep -q 'install ok installed'; then
  echo "The listpool package is installed already; remove it first (dpkg -r listpool)." >&2
  exit 1
fi

fail() {
  echo "check-package: $*" >&2
  exit 1
}

work=$(mktemp -d)
installed=no
cleanup() {
  if [ "$installed" = yes ]; then
    dpkg -r listpool >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# The package.
cmake --preset package
cmake --build --preset package
rm -f build-package/listpool_*.deb
cpack --preset package
debs=(build-package/listpool_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  fail "expected one package, found: ${debs[*]}"
fi
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
architecture=$(dpkg-deb -f "$deb" Architecture)
[ "$architecture" = "$(dpkg --print-architecture)" ] ||
  fail "$deb is for $architecture, not for this machine"
[ "$(basename "$deb")" = "listpool_${version}_${architecture}.deb" ] ||
  fail "$deb is not named as Debian names packages: listpool_${version}_${architecture}.deb"
echo "Package: $deb"

# lintian at its default level finds nothing; what it says at the levels
# below (informational, pedantic) is shown and does not fail. It warns that
# it runs as root, which is no concern for a package built here.
status=0
lintian --display-info --pedantic --fail-on error,warning "$deb" >"$work/lintian" \
  2>"$work/lintian.err" || status=$?
grep -vxF 'running with root privileges is not recommended!' "$work/lintian.err" >&2 || true
cat "$work/lintian"
[ "$status" -eq 0 ] || fail "lintian finds errors or warnings in $deb (status $status)"
if [ -s "$work/lintian" ]; then
  echo "lintian: no error or warning; the informational and pedantic tags above remain"
else
  echo "lintian: no tag at any level, pedantic included"
fi

# Installed, from the PATH.
installed=yes
apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=300 "$PWD/$deb" </dev/null
dpkg-query -W -f='${Status}' listpool | grep -q 'install ok installed' ||
  fail "dpkg does not list listpool as installed"
mapfile -t files < <(dpkg-query -L listpool | while read -r path; do
  [ -f "$path" ] && echo "$path"
done)
printf 'Installed: %s\n' "${files[@]}"
hash -r
[ "$(command -v listpool)" = /usr/bin/listpool ] ||
  fail "listpool on the PATH is '$(command -v listpool)', not /usr/bin/listpool"

# The installed program's hardening, every item of hardening-check. Control
# flow protection shows only where the C library's start files carry the x86
# IBT/SHSTK marking, since the linker keeps a marking only that every object
# has: where a test program built with -fcf-protection shows none, no
# program built here can, and that one item is left out, saying why.
hardening=()
marked() { readelf -n "$1" 2>/dev/null | grep -c 'x86 feature: IBT, SHSTK' >/dev/null; }
printf 'int main() {}\n' >"$work/cet.cpp"
if g++ -fcf-protection -o "$work/cet" "$work/cet.cpp" 2>"$work/cet.log" && marked "$work/cet"; then
  echo "hardening-check: control flow protection required (programs built here can carry it)"
else
  why="a test program built here with -fcf-protection carries no IBT/SHSTK marking"
  if [ -s "$work/cet.log" ]; then
    why+="; g++ says: $(head -1 "$work/cet.log")"
  else
    for object in Scrt1.o crti.o crtn.o; do
      path=$(realpath "$(g++ -print-file-name="$object")")
      marked "$path" || why+="; the C library's $path has none"
    done
  fi
  hardening+=(--nocfprotection)
  echo "hardening-check: control flow protection left out: $why"
fi
hardening-check "${hardening[@]}" /usr/bin/listpool ||
  fail "/usr/bin/listpool lacks hardening that dpkg-buildflags asks for"

# A session in an empty folder: inserting in all three notations, deleting,
# a find in the background, a dump, a word that is no command, quitting.
mkdir "$work/run"
status=0
(cd "$work/run" && listpool >"$work/stdout" 2>"$work/stderr") <<'EOF' || status=$?
i 7 010 0x10 -1
d 7
F 16
f
x
q
EOF
[ "$status" -eq 0 ] || fail "listpool ended with status $status"

# Standard output, byte for byte: cat -A marks each line end with $ and shows
# any control character, and the output ends without a line end.
expected_stdout=$(cat <<'EOF'
$
Your Command [i d p f F g s]? Please enter integers to be inserted (-1 to stop)$
$
Your Command [i d p f F g s]? Please enter the key to delete: going to delete: 7$
Deleted Key(7)$
$
Your Command [i d p f F g s]? Please enter the key to find: Going to find: 16$
$
Your Command [i d p f F g s]? Here is the Record Pool:$
Record Memory Pool Content: $
Memory: [ 0]: Record( 0): Key=    7  Next=   -1  MM=InUse$
Memory: [ 3]: Record( 1): Key=    8  Next=   -1  MM=InUse$
Memory: [ 6]: Record( 2): Key=   16  Next=    3  MM=InUse$
Memory: [ 9]: Record( 3): Key=    0  Next=    0  MM=Free$
Memory: [12]: Record( 4): Key=    0  Next=    0  MM=Free$
$
Your Command [i d p f F g s]? $
Your Command [i d p f F g s]? <end of output>
EOF
)
actual_stdout=$(cat -A "$work/stdout" && echo '<end of output>')
diff -u --label expected --label "listpool's standard output" \
  <(echo "$expected_stdout") <(echo "$actual_stdout") >&2 ||
  fail "standard output differs"

# The program may quit before the find has begun, or end while the find's
# completion line is on its way out; whatever arrived is the start of it.
done_line=$'Thread: [FindThread.0]: Finding Done!\n'
stderr=$(cat "$work/stderr" && echo x)
stderr=${stderr%x}
[ "${done_line:0:${#stderr}}" = "$stderr" ] ||
  fail "standard error is not the find's completion line: $(cat -A "$work/stderr")"

# The three logs and nothing else. The find, if it got to the list before
# the program quit, reports the four operations before it.
[ "$(cd "$work/run" && ls -A)" = $'FindThread.0\nGarbageThread.0\nPrintThread.0' ] ||
  fail "the folder holds '$(cd "$work/run" && ls -A | tr '\n' ' ')', not the three logs"
for name in PrintThread.0 GarbageThread.0; do
  [ "$(cat -A "$work/run/$name")" = "Thread: [$name] Initialization Completed\$" ] ||
    fail "$name holds: $(cat -A "$work/run/$name")"
done
find_started="Thread: [FindThread.0] Initialization Completed\$"
find_done="$find_started
\$
Looking for Key(16) in TmyList after: 4 Ops performed\$
^I^I****> FOND!\$"
find_log=$(cat -A "$work/run/FindThread.0")
[ "$find_log" = "$find_started" ] || [ "$find_log" = "$find_done" ] ||
  fail "FindThread.0 holds: $find_log"
echo "Session: standard output, standard error and the three logs as expected"

# The package's manual page, found by man and rendered with every groff
# warning on.
page=$(printf '%s\n' "${files[@]}" | grep '/man1/listpool\.1\.gz$' || true)
if [ -z "$page" ]; then
  if grep -rqs 'path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg.d; then
    fail "dpkg leaves manual pages out here (a path-exclude in /etc/dpkg/dpkg.cfg.d)"
  fi
  fail "the package installed no manual page listpool(1)"
fi
man -aw listpool | grep -qxF "$page" || fail "man listpool does not find $page"
LC_ALL=C.UTF-8 MANWIDTH=80 MANPAGER=cat PAGER=cat \
  man --warnings=w -l "$page" >"$work/page.txt" 2>"$work/warnings" </dev/null ||
  fail "man could not render $page: $(cat "$work/warnings")"
[ ! -s "$work/warnings" ] || fail "man warns about $page: $(cat "$work/warnings")"
for heading in NAME SYNOPSIS COMMANDS INTEGERS 'BAD INPUT' 'EXIT STATUS' FILES EXAMPLES; do
  grep -qx "$heading" "$work/page.txt" || fail "the rendered page has no section $heading"
done
echo "Manual page: $page renders without a warning"

# Removed again, and nothing of it left behind.
dpkg -r listpool </dev/null
installed=no
if dpkg-query -W -f='${Status}' listpool 2>/dev/null | grep -q 'install ok installed'; then
  fail "dpkg still lists listpool as installed"
fi
for path in "${files[@]}"; do
  [ ! -e "$path" ] || fail "$path is still there after the package was removed"
done
hash -r
[ "$(command -v listpool || true)" != /usr/bin/listpool ] || fail "listpool is still on the PATH"
echo "Removed: the package installs, runs and uninstalls"
