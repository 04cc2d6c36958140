#!/bin/sh
# Installs the Debian packages the build, the demo, the manual and the
# tests need, only those that are missing. Safe to run again; needs root
# (or sudo).
#
#   sh cmake/setup.sh [PACKAGE...]   also the packages named (the benchmark
#                                    names the peer plug-ins it compares)
set -eu

packages="
  cmake make g++ pkg-config file
  googletest libbenchmark-dev
  libsndfile1-dev sox libsox-fmt-base
  nlohmann-json3-dev
  clang libclang-rt-14-dev
  lv2-dev liblilv-dev lilv-utils sordi
  juce-modules-source-data
  g++-mingw-w64-x86-64-posix
  wine wine64 xvfb xauth
  chromium
  libwebkit2gtk-4.1-dev libgtk-3-dev libx11-dev libxtst-dev
  libsuil-dev libgtk2.0-dev
  jalv jackd2 xdotool x11-apps x11-utils imagemagick procps
  qtractor python3
  nsis lintian dpkg-dev xz-utils zip unzip man-db
  pandoc
  $*
"

# The editor page's tests need node and npm. Where they came from another
# source (whose nodejs package conflicts with Debian's npm), leave them be.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
    packages="$packages nodejs npm"
fi

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    exit 0
fi

echo "setup: installing$missing"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether JACK may run with realtime priority; the tests run it
# without.
# shellcheck disable=SC2086 # one package a line
if printf '%s\n' $missing | grep -qx jackd2; then
    echo "jackd2 jackd/tweak_rt_limits boolean false" | $sudo debconf-set-selections
fi
# Other programs may be installing too: wait for the lock a while.
$sudo apt-get update -q -o DPkg::Lock::Timeout=300
# shellcheck disable=SC2086
$sudo apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=300 $missing
