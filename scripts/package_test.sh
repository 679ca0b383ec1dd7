#!/usr/bin/env bash
# Usage: scripts/package_test.sh [BUILD_DIR]
# Checks what an administrator and a developer get from an already-built tree:
# - `cmake --install` into a scratch prefix, and the consumer project in
#   tests/consumer built against it alone (CMake package and pkg-config);
# - the Debian packages from CPack hold the expected files;
# - installed on this machine, the tools run and the man page is found; the
#   packages are removed afterwards and the FreeTDS registration stays usable.
# Installing needs root (or sudo) and no other copy of the packages installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
scratch=$(mktemp -d)
installed=()
if [[ $(id -u) -ne 0 ]]; then sudo=sudo; else sudo=; fi

cleanup() {
  if ((${#installed[@]})); then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq "${installed[@]}" >/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
  echo "package_test: $*" >&2
  exit 1
}

# Up to date already when the tests ran on this tree; this only makes sure.
cmake --build "$build" -j"$(nproc)" >/dev/null

echo "-- cmake --install into a scratch prefix, and a consumer built against it"
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
cmake -S "$root/tests/consumer" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
"$scratch/consumer/consumer"
# The same program through the pkg-config file.
flags=$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs tavinor)
# shellcheck disable=SC2086 # the flags are words
g++ -std=c++20 -o "$scratch/consumer_pc" "$root/tests/consumer/main.cpp" $flags
"$scratch/consumer_pc" >/dev/null

echo "-- Debian packages"
cpack --config "$build/CPackConfig.cmake" -B "$scratch/packages" >/dev/null
app_deb=$(echo "$scratch"/packages/tavinor_*.deb)
dev_deb=$(echo "$scratch"/packages/tavinor-dev_*.deb)
[[ -f $app_deb && -f $dev_deb ]] || fail "cpack made no tavinor and tavinor-dev packages"

expect_files() {
  local deb=$1
  shift
  local listing
  listing=$(dpkg-deb -c "$deb" | awk '{print $NF}')
  for file in "$@"; do
    grep -qx "\./usr/$file" <<<"$listing" || fail "$(basename "$deb") lacks /usr/$file"
  done
}
app_files=(bin/tavinor-convert share/man/man1/tavinor-convert.1.gz)
if [[ -x $build/app/tavinor ]]; then
  app_files+=(bin/tavinor share/man/man1/tavinor.1.gz share/applications/tavinor.desktop
    share/icons/hicolor/scalable/apps/tavinor.svg)
fi
expect_files "$app_deb" "${app_files[@]}"
expect_files "$dev_deb" include/tavinor/sqllib/csql.h include/tavinor/util/ediv.h include/tavinor/platform/session.h \
  lib/libtavinor_csql.a lib/libtavinor_ediv.a lib/libtavinor_platform.a lib/cmake/Tavinor/TavinorConfig.cmake \
  lib/cmake/Tavinor/TavinorConfigVersion.cmake lib/cmake/Tavinor/TavinorTargets.cmake lib/pkgconfig/tavinor.pc
! dpkg-deb -c "$dev_deb" | grep -q 'qt_ui\.h' || fail "tavinor-dev holds the Qt toolkit header"
dpkg-deb --ctrl-tarfile "$app_deb" | tar -t | grep -qx './postinst' || fail "tavinor has no postinst"
for dep in tdsodbc odbcinst libodbc2; do
  dpkg-deb -f "$app_deb" Depends | grep -qw "$dep" || fail "tavinor does not depend on $dep"
done

echo "-- installing the packages on this machine"
for package in tavinor tavinor-dev; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    fail "$package is installed already; remove it first"
  fi
done
installed=(tavinor tavinor-dev)
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$app_deb" "$dev_deb" >/dev/null
version=$(/usr/bin/tavinor-convert --version) || fail "tavinor-convert --version failed"
echo "$version"
[[ $version == "tavinor-convert $(dpkg-deb -f "$app_deb" Version)" ]] || fail "the version differs from the package's"
page=$(man -w tavinor-convert) || fail "man -w tavinor-convert finds no page"
[[ $page == /usr/share/man/man1/tavinor-convert.1.gz ]] || fail "man -w found $page"
if [[ -x /usr/bin/tavinor ]]; then
  /usr/bin/tavinor --version >/dev/null || fail "tavinor --version failed"
fi
odbcinst -q -d -n FreeTDS >/dev/null || fail "FreeTDS is not registered after the install"
[[ $(pkg-config --modversion tavinor) == "$(dpkg-deb -f "$dev_deb" Version)" ]] || fail "pkg-config does not see tavinor"

DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq "${installed[@]}" >/dev/null
installed=()
[[ ! -e /usr/bin/tavinor-convert ]] || fail "tavinor-convert is left after the removal"
# The registration serves other programs as well: removing the tools keeps it.
odbcinst -q -d -n FreeTDS >/dev/null || fail "FreeTDS is not registered after the removal"
echo "-- packages: $(du -k "$app_deb" | cut -f1) KiB tavinor, $(du -k "$dev_deb" | cut -f1) KiB tavinor-dev"
