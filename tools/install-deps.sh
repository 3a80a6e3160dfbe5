#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the demo need.
# Idempotent: installs only what is missing.
set -euo pipefail

packages=(
  cmake make python3 googletest cppcheck
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64 xvfb x11-apps imagemagick
  samba samba-dsdb-modules samba-vfs-modules samba-ad-provision
  ldb-tools krb5-user ldap-utils libsasl2-modules-gssapi-mit
  osslsigncode openssl git
  libnss-wrapper libresolv-wrapper iproute2 util-linux
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi
echo "install-deps: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
