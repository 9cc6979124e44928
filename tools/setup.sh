#!/usr/bin/env bash
# Installs from Debian's packages everything the builds and tests need.
# Runs as root on a fresh machine; does nothing when all is present.
set -euo pipefail

packages=(
  g++ cmake ninja-build python3
  libgtest-dev googletest libbenchmark-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
  wine wine64 xvfb xauth xdotool
  clang libclang-rt-14-dev
  libsimpleini-dev libinih-dev libspdlog-dev
  hyperfine
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
else
  echo "setup: all packages present"
fi

# A 32-bit Wine runs the shipped win32 build; it needs Debian's i386
# architecture and a kernel that runs 32-bit programs, neither of which is
# always available here. Try it so that a failure cannot fail the set-up, and
# undo it when it does not work: an installed 32-bit Wine that cannot start
# would also be picked by the "wine" launcher for the 64-bit tests.
wine32_installed() { dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; }
wine32_runs() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
drop_wine32() {
  DEBIAN_FRONTEND=noninteractive apt-get remove -y wine32:i386 >/dev/null 2>&1 || true
  DEBIAN_FRONTEND=noninteractive apt-get autoremove -y >/dev/null 2>&1 || true
  dpkg --remove-architecture i386 2>/dev/null || true
  apt-get update >/dev/null 2>&1 || true
  touch /var/lib/kv-wine32-unavailable 2>/dev/null || true
}
if [ "${KV_TRY_WINE32:-1}" = 1 ] && ! wine32_installed && [ ! -f /var/lib/kv-wine32-unavailable ]; then
  echo "setup: trying to install 32-bit Wine (optional)"
  if dpkg --add-architecture i386 && apt-get update >/dev/null 2>&1 &&
     DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends wine32:i386 >/dev/null 2>&1; then
    echo "setup: 32-bit Wine installed"
  else
    echo "setup: 32-bit Wine is not installable here; the win32 build will be built but not run"
    drop_wine32
  fi
fi
if wine32_installed && ! wine32_runs; then
  echo "setup: 32-bit Wine is installed but this machine cannot run 32-bit programs; removing it"
  drop_wine32
fi
