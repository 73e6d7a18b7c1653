#!/usr/bin/env bash
# The Debian packages of a build tree, checked as a rig PC would meet them. Three steps, so
# ctest runs the slow ones apart and the packages are built once:
#   check_package.sh build   BUILD_TREE SCRATCH
#       cpack into SCRATCH/out, from the build tree as it is (no second build)
#   check_package.sh check   BUILD_TREE SCRATCH VERSION CONSUMER_SOURCE CXX "CXX_FLAGS"
#       control fields and maintainer scripts, the file list of each package unpacked into
#       SCRATCH/root (dpkg -x), the service unit, the installed program (--version, one tick
#       on the emulator, no terminal codes in what it writes), its manual page against its
#       own help, and a host program built against the installed CMake package
#   check_package.sh lintian BUILD_TREE SCRATCH
#       lintian on the packages: nothing above an informational note unless the package
#       overrides it (docs/packaging.md explains each override)
# Exit 77 (skipped) only when a packaging tool is missing; scripts/setup.sh installs them.
set -u

mode=$1
build=$2
scratch=$3

fail() {
  echo "package check: $*" >&2
  exit 1
}

for tool in cpack dpkg-deb dpkg-shlibdeps fakeroot lintian file gzip; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "package check SKIPPED: '$tool' is not installed (bash scripts/setup.sh installs it)"
    exit 77
  fi
done

if [ "$mode" = build ]; then
  rm -rf "$scratch"
  mkdir -p "$scratch/out"
  if ! cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    fail "cpack failed"
  fi
  ls "$scratch"/out/*.deb
  exit 0
fi

debs=("$scratch"/out/*.deb)
[ ${#debs[@]} -eq 3 ] && [ -f "${debs[0]}" ] || fail "expected 3 packages in $scratch/out: ${debs[*]}"

if [ "$mode" = lintian ]; then
  # The program's and the library's packages. The development package of a sanitizer build
  # holds some 240 MB of static libraries, which lintian takes a quarter of an hour to read;
  # `make package` runs lintian on all three release packages instead.
  lint=("$scratch"/out/rigstation_*.deb "$scratch"/out/librigcore[0-9]*.deb)
  if ! lintian --fail-on error,warning --tag-display-limit 0 "${lint[@]}" >"$scratch/lintian.log" 2>&1; then
    cat "$scratch/lintian.log" >&2
    fail "lintian found problems (docs/packaging.md lists the ones explained)"
  fi
  grep -v 'root privileges' "$scratch/lintian.log"
  echo "package check: lintian has nothing to say about $(basename -a "${lint[@]}" | tr '\n' ' ')"
  exit 0
fi

[ "$mode" = check ] || fail "unknown step '$mode' (build, check or lintian)"
version=$4
consumer=$5
cxx=$6
flags=${7:-}
rm -rf "$scratch/root" "$scratch/home" "$scratch/control" "$scratch/consumer" "$scratch/consumer-home"
mkdir -p "$scratch/root" "$scratch/home"
soversion=${version%.*}
runtime="$scratch/out/rigstation_${version}-1_amd64.deb"
library="$scratch/out/librigcore${soversion}_${version}-1_amd64.deb"
development="$scratch/out/librigcore-dev_${version}-1_amd64.deb"
for d in "$runtime" "$library" "$development"; do
  [ -f "$d" ] || fail "missing package $(basename "$d") among: ${debs[*]}"
done

field() { dpkg-deb -f "$1" "$2"; }

# ---- control fields: dependencies from dpkg-shlibdeps, and the scripts' own ----------------
depends=$(field "$runtime" Depends)
for need in adduser init-system-helpers libc6 libstdc++6 libicu72 libssl3 libserialport0; do
  grep -qw -- "$need" <<<"$depends" || fail "rigstation does not depend on $need: $depends"
done
libdepends=$(field "$library" Depends)
for need in libc6 libssl3 libicu72; do
  grep -qw -- "$need" <<<"$libdepends" || fail "the library does not depend on $need: $libdepends"
done
grep -q "librigcore${soversion} (= ${version}-1)" <<<"$(field "$development" Depends)" ||
  fail "the development package does not depend on its library: $(field "$development" Depends)"
dpkg-deb --ctrl-tarfile "$library" | tar -xO ./shlibs 2>/dev/null |
  grep -q "^librigcore ${soversion} librigcore${soversion} " ||
  fail "the library package has no shlibs entry for librigcore ${soversion}"

# ---- maintainer scripts ----------------------------------------------------------------
mkdir -p "$scratch/control"
dpkg-deb -e "$runtime" "$scratch/control"
for s in postinst prerm postrm; do
  [ -x "$scratch/control/$s" ] || fail "rigstation has no executable $s"
  sh -n "$scratch/control/$s" || fail "$s is not valid sh"
done
grep -q 'adduser --system' "$scratch/control/postinst" || fail "postinst makes no system user"
grep -q 'dialout' "$scratch/control/postinst" || fail "postinst does not add the user to dialout"
grep -q '/var/lib/rigstation' "$scratch/control/postinst" || fail "postinst makes no home"
# The station's data outlive the package: nothing removes the home.
if grep -E 'rm .*(/var/lib/rigstation|\$HOME_DIR)|deluser' "$scratch/control/postrm" "$scratch/control/prerm"; then
  fail "a removal script deletes the station home or its user"
fi
grep -q 'deb-systemd-invoke stop rigstation-forward.service rigstation.service' "$scratch/control/prerm" ||
  fail "prerm does not stop the services"

# ---- the file list ------------------------------------------------------------------------
for d in "${debs[@]}"; do dpkg-deb -x "$d" "$scratch/root" || fail "dpkg -x $(basename "$d") failed"; done
listing() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's,^\./,/,' | grep -v '/$' | sort; }
listing "$runtime" >"$scratch/runtime.list"
listing "$library" >"$scratch/library.list"
listing "$development" >"$scratch/development.list"
expect() {  # package list, path (a fixed string)
  grep -qxF -- "$2" "$1" || fail "$(basename "$1" .list) lacks $2"
}
expect "$scratch/runtime.list" /usr/bin/rigstation
expect "$scratch/runtime.list" /usr/lib/rigstation/plugins/derived_values.so
expect "$scratch/runtime.list" /lib/systemd/system/rigstation.service
expect "$scratch/runtime.list" /lib/systemd/system/rigstation-forward.service
expect "$scratch/runtime.list" /usr/share/doc/rigstation/office-database.md
expect "$scratch/runtime.list" /usr/share/man/man1/rigstation.1.gz
expect "$scratch/runtime.list" /usr/share/doc/rigstation/README.md
expect "$scratch/runtime.list" /usr/share/doc/rigstation/state-file.md
expect "$scratch/runtime.list" /usr/share/doc/rigstation/packaging.md
expect "$scratch/library.list" "/usr/lib/librigcore.so.${version}"
expect "$scratch/library.list" "/usr/lib/librigcore.so.${soversion}"
expect "$scratch/development.list" /usr/lib/librigcore.so
expect "$scratch/development.list" /usr/lib/librigcore_core.a
expect "$scratch/development.list" /usr/include/rigcore/core/system.h
expect "$scratch/development.list" /usr/lib/cmake/rigcore/rigcoreConfig.cmake
expect "$scratch/development.list" /usr/lib/cmake/rigcore/rigcoreTargets.cmake
for l in runtime library development; do
  pkg=$l
  [ $l = runtime ] && pkg=rigstation
  [ $l = library ] && pkg=librigcore${soversion}
  [ $l = development ] && pkg=librigcore-dev
  expect "$scratch/$l.list" "/usr/share/doc/$pkg/copyright"
  expect "$scratch/$l.list" "/usr/share/doc/$pkg/changelog.Debian.gz"
done
# Each file in one package only, and nothing of the tests or simulators shipped.
dups=$(sort "$scratch"/runtime.list "$scratch"/library.list "$scratch"/development.list | uniq -d)
[ -z "$dups" ] || fail "files in more than one package: $dups"
if grep -E '/hardware/sim/|/tests?/|test_' "$scratch"/*.list; then fail "test or simulator files shipped"; fi
# Absolute paths only under the usual roots.
if grep -vE '^/(usr|lib)/' "$scratch"/*.list; then fail "files outside /usr and /lib"; fi

# ---- the service unit -------------------------------------------------------------------
unit="$scratch/root/lib/systemd/system/rigstation.service"
grep -qx 'ExecStart=/usr/bin/rigstation run --home /var/lib/rigstation' "$unit" || fail "ExecStart"
grep -qx 'User=rigstation' "$unit" || fail "the unit does not run as rigstation"
grep -qx 'SupplementaryGroups=dialout' "$unit" || fail "the unit lacks the dialout group"
grep -qx 'Restart=on-failure' "$unit" || fail "the unit does not restart on failure"
grep -qx 'RuntimeDirectory=rigstation' "$unit" || fail "the unit gives the station no runtime folder"
grep -qx 'WantedBy=multi-user.target' "$unit" || fail "the unit is not started at boot"
forward_unit="$scratch/root/lib/systemd/system/rigstation-forward.service"
grep -qx 'ExecStart=/usr/bin/rigstation forward --home /var/lib/rigstation' "$forward_unit" ||
  fail "the link's ExecStart"
grep -qx 'User=rigstation' "$forward_unit" || fail "the link's unit does not run as rigstation"
grep -qx 'Restart=on-failure' "$forward_unit" || fail "the link's unit does not restart on failure"
if command -v systemd-analyze >/dev/null 2>&1; then
  for u in rigstation rigstation-forward; do
    # The unit as systemd reads it, with the program path taken from the scratch root.
    sed "s,^ExecStart=/usr/bin/rigstation,ExecStart=$scratch/root/usr/bin/rigstation," \
      "$scratch/root/lib/systemd/system/$u.service" >"$scratch/$u.service"
    if ! systemd-analyze verify --man=no "$scratch/$u.service" >"$scratch/unit.log" 2>&1; then
      # Only the unit's own lines count: the machine's other units are none of this test's.
      if grep "$u.service:" "$scratch/unit.log"; then fail "systemd-analyze refuses $u.service"; fi
    fi
  done
fi

# ---- the installed program ----------------------------------------------------------------
program="$scratch/root/usr/bin/rigstation"
out=$("$program" --version) || fail "rigstation --version failed"
[ "$out" = "rigstation $version" ] || fail "rigstation --version says '$out'"
"$program" run --home "$scratch/home" --protocol emulator --seconds 1 \
  >"$scratch/run.out" 2>"$scratch/run.err" || { cat "$scratch/run.err" >&2; fail "one tick failed"; }
grep -q 'tick=1 ' "$scratch/run.out" || fail "no tick in: $(cat "$scratch/run.out")"
grep -q 'state saved to' "$scratch/run.err" || fail "no save at the end: $(cat "$scratch/run.err")"
# Not on a terminal (the journal, a file): no terminal control codes at all.
if grep -q $'\x1b' "$scratch/run.out" "$scratch/run.err"; then fail "terminal codes written to a file"; fi
[ -f "$scratch/home/sys.bin" ] || fail "the installed program saved no state"

# ---- the manual page: every command the program lists has its section --------------------
man1="$scratch/root/usr/share/man/man1/rigstation.1.gz"
gzip -t "$man1" || fail "the manual page is not a sound gzip file"
page=$(gzip -dc "$man1")
grep -q '^\.TH RIGSTATION 1 ' <<<"$page" || fail "the manual page has no title line"
commands=$("$program" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && NF {print $1}')
[ -n "$commands" ] || fail "rigstation --help lists no commands"
for c in $commands; do
  grep -qF ".SS \"rigstation $c\"" <<<"$page" || fail "the manual page lacks the command '$c'"
done
while read -r option; do
  grep -qF -- "$(sed 's/-/\\-/g' <<<"$option")" <<<"$page" ||
    fail "the manual page lacks run's option $option"
done < <("$program" run --help | grep -oE '^  --[a-z-]+')
if command -v man >/dev/null 2>&1; then
  warnings=$(MANWIDTH=80 man --warnings -l "$man1" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man warns about the page: $warnings"
fi

# ---- a host program against the installed package, linked with the shared library --------
root_usr="$scratch/root/usr"
# The installed CMake files name /usr; the scratch root stands in for it.
if ! cmake -S "$consumer" -B "$scratch/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$root_usr" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
  -DRIGCORE_CONSUMER_SHARED=ON >"$scratch/consumer.log" 2>&1 ||
  ! cmake --build "$scratch/consumer" >>"$scratch/consumer.log" 2>&1; then
  cat "$scratch/consumer.log" >&2
  fail "the host program does not build against the installed package"
fi
ldd_out=$(LD_LIBRARY_PATH="$root_usr/lib" ldd "$scratch/consumer/consumer")
grep -q "librigcore.so.${soversion} => $root_usr/lib/" <<<"$ldd_out" ||
  fail "the host program is not linked with the installed shared library: $ldd_out"
mkdir -p "$scratch/consumer-home"
LD_LIBRARY_PATH="$root_usr/lib" "$scratch/consumer/consumer" "$scratch/consumer-home/" ||
  fail "the host program failed"

echo "package check: $(basename -a "${debs[@]}" | tr '\n' ' ')unpacked, run and built against"
exit 0
