#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need, only
# those that are missing. Quiet and quick when everything is present.
set -euo pipefail

PACKAGES=(
  # build
  g++ cmake ninja-build pkg-config qt6-base-dev zlib1g-dev libcurl4-openssl-dev
  libgtest-dev libgmock-dev xdg-utils libmspack-dev
  # fuzzing
  clang clang-format libclang-rt-14-dev
  # test peers
  zip unzip 7zip gzip tar ncompress lhasa jlha-utils default-jre-headless arj arc nomarch unar
  cabextract gcab sharutils unace fastjar python3 libarchive-tools
  desktop-file-utils libglib2.0-bin shared-mime-info python3-aiosmtpd
  # benchmarks
  libbenchmark-dev libdeflate-dev time
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "deps: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
