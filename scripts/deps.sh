#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when any is
# missing (a second run costs one dpkg query).
set -euo pipefail

packages=(
  build-essential cmake g++ pkg-config ccache
  unixodbc-dev tdsodbc freetds-bin
  qt6-base-dev libgl-dev libcups2-dev locales
  libgtest-dev libgmock-dev
  nlohmann-json3-dev libcli11-dev python3-jsonschema
  libssl-dev openssl
  python3 python3-tds time
  man-db
  clang-format
  clang libclang-rt-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}" >&2
  if [[ $(id -u) -ne 0 ]]; then sudo=sudo; else sudo=; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

# The FreeTDS ODBC driver must be registered under the name the session layer asks for.
if ! odbcinst -q -d -n FreeTDS >/dev/null 2>&1; then
  if [[ $(id -u) -ne 0 ]]; then sudo=sudo; else sudo=; fi
  lib=$(dpkg -L tdsodbc | grep -m1 '/libtdsodbc.so$')
  printf '[FreeTDS]\nDescription=FreeTDS ODBC driver\nDriver=%s\n' "$lib" | $sudo odbcinst -i -d -r >/dev/null
fi
