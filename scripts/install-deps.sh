#!/usr/bin/env bash
# Installs the Debian packages that Froth builds, tests and runs with.
# Idempotent and quiet: when everything is present it makes no apt call at all.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  freeglut3-dev libglew-dev libdevil-dev libboost-dev libtriangle-dev
  libgl1-mesa-dri libglu1-mesa-dev libegl-dev libegl-mesa0
  xvfb xauth xdotool x11-apps imagemagick
  libcairo2-dev python3 python3-matplotlib
  libeigen3-dev libsuitesparse-dev libopenblas0-serial
  pybind11-dev python3-dev python3-numpy python3-pandas python3-pytest python3-distributed
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)

# Triangle lives in non-free: derive a second sources file from the system's own,
# with contrib and non-free added to its components.
src=/etc/apt/sources.list.d/debian.sources
extra=/etc/apt/sources.list.d/froth-contrib-non-free.sources
if [[ -f "$src" && ! -f "$extra" ]]; then
  sed -E 's/^Components:.*/Components: contrib non-free/' "$src" | "${sudo_cmd[@]}" tee "$extra" >/dev/null
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq >/dev/null
"${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
