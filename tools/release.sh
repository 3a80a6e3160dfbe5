#!/usr/bin/env bash
# Makes a release of schema-modify.exe: builds Release from a clean clone of
# the committed HEAD, strips the exe (its symbols go to a separate file),
# signs it with Authenticode and writes DIST_DIR (default dist/): the signed
# exe, its symbols (GNU debug file and PDB), the administrators' page, the
# LDIF of the schema additions, SHA256SUMS and a text saying how to verify
# them.
#   tools/release.sh [--work DIR] [DIST_DIR]
# The key: RELEASE_PKCS12 (a PKCS#12 file) and RELEASE_PKCS12_PASSWORD; the
# signature is checked against the system's CAs, or RELEASE_CAFILE. Without
# a key a throwaway self-signed certificate is made and the result is for
# testing only. RELEASE_TIMESTAMP_URL (an http:// URL) names an RFC 3161
# timestamp server, which countersigns the signature, checked against the
# system's CAs or RELEASE_TSA_CAFILE; without it nothing goes to the network.
# --work DIR builds in DIR and keeps it (the unsigned exe stays there);
# otherwise a temporary directory is used and removed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
say() { echo "release: $*" >&2; }

work=""
if [ "${1:-}" = "--work" ]; then
  work=$2
  shift 2
fi
dist=$(realpath -m "${1:-$root/dist}")

if [ -z "$work" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
work=$(realpath -m "$work")
timestamp_url=${RELEASE_TIMESTAMP_URL:-}
case $timestamp_url in
  "" | http://*) ;;
  *) say "RELEASE_TIMESTAMP_URL must be an http:// URL: $timestamp_url"; exit 2 ;;
esac
if [ -e "$work" ] && [ -n "$(ls -A "$work")" ]; then
  say "$work is not empty"; exit 2
fi
mkdir -p "$work"

commit=$(git -C "$root" rev-parse HEAD)
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
  say "the worktree has uncommitted changes; they are not in the release of $commit"
fi

# A clean checkout: only what the commit holds goes into the build.
git clone -q --no-hardlinks "$root" "$work/src"
git -C "$work/src" checkout -q --detach "$commit"
src=$work/src
build=$src/build

# Tools that would stamp the clock's time write 0 instead, as the linker
# does with --no-insert-timestamp (objcopy and strip put one into the PE
# header).
export SOURCE_DATE_EPOCH=0

say "building $commit in $build"
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DSCHEMA_MODIFY_PDB=ON >/dev/null
cmake --build "$build" -j2 --target schema-modify >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { say "no project version in $build/CMakeCache.txt"; exit 1; }
name=schema-modify-$version

# The PDB for Windows debuggers: ld gives it and the exe's CodeView record
# a GUID drawn at random, which is replaced by one made from the exe's bytes.
pdb=$build/app/$name.pdb
[ -f "$pdb" ] || { say "the link wrote no $pdb"; exit 1; }
python3 "$src/tools/release/pdb-guid.py" "$build/app/schema-modify.exe" "$pdb"

# Stripped exe and symbols; the exe names its symbols file (.gnu_debuglink)
# so that a debugger finds it when both lie side by side.
out=$work/unsigned
mkdir -p "$out"
cp "$pdb" "$out/"
x86_64-w64-mingw32-objcopy --only-keep-debug "$build/app/schema-modify.exe" "$out/$name.debug"
x86_64-w64-mingw32-strip --strip-all -o "$out/$name.exe" "$build/app/schema-modify.exe"
(cd "$out" && x86_64-w64-mingw32-objcopy --add-gnu-debuglink="$name.debug" "$name.exe")

rm -rf "$dist"
mkdir -p "$dist"
keys=$work/keys
mkdir -p "$keys"
chmod 700 "$keys"
sign=(osslsigncode sign -h sha256 -n "Wexlor Enterprise AD schema setup"
  -in "$out/$name.exe" -out "$dist/$name.exe")
verify=(osslsigncode verify -ignore-cdp -in "$dist/$name.exe")
if [ -n "$timestamp_url" ]; then
  # The server sees the signature's digest only, and returns it signed with
  # the time: Windows then checks the signing certificate at that time.
  sign+=(-ts "$timestamp_url")
  [ -z "${RELEASE_TSA_CAFILE:-}" ] || verify+=(-TSA-CAfile "$RELEASE_TSA_CAFILE")
fi
if [ -n "${RELEASE_PKCS12:-}" ]; then
  [ -n "${RELEASE_PKCS12_PASSWORD+set}" ] || { say "RELEASE_PKCS12 needs RELEASE_PKCS12_PASSWORD"; exit 2; }
  testing=""
  # The password goes through a pipe, not the command line.
  printf '%s' "$RELEASE_PKCS12_PASSWORD" | "${sign[@]}" -pkcs12 "$RELEASE_PKCS12" -readpass - >/dev/null
  [ -z "${RELEASE_CAFILE:-}" ] || verify+=(-CAfile "$RELEASE_CAFILE")
else
  testing=1
  say "no RELEASE_PKCS12: signing with a throwaway self-signed certificate (FOR TESTING ONLY)"
  openssl req -x509 -newkey rsa:3072 -sha256 -nodes -days 30 \
    -subj "/CN=schema-modify test signing, not trusted" \
    -addext "keyUsage=critical,digitalSignature,keyCertSign" \
    -addext "extendedKeyUsage=codeSigning" \
    -keyout "$keys/key.pem" -out "$dist/test-signing-cert.pem" 2>/dev/null
  "${sign[@]}" -certs "$dist/test-signing-cert.pem" -key "$keys/key.pem" >/dev/null
  verify+=(-CAfile "$dist/test-signing-cert.pem")
fi
rm -rf "$keys"
cp "$out/$name.debug" "$out/$name.pdb" "$dist/"
"${verify[@]}" >"$work/verify.txt" || { cat "$work/verify.txt" >&2; say "the signature does not verify"; exit 1; }
# osslsigncode says "Succeeded" even when the timestamp fails to verify: it
# then checks the certificate at the present time instead.
stamped=""
if [ -n "$timestamp_url" ]; then
  grep -q '^Timestamp Server Signature verification: ok' "$work/verify.txt" ||
    { cat "$work/verify.txt" >&2; say "the timestamp from $timestamp_url does not verify"; exit 1; }
  stamped=$(sed -n 's/^[[:space:]]*Timestamp time: //p' "$work/verify.txt")
  say "timestamped $stamped by $timestamp_url"
fi

# The page is read on Windows servers, whose Notepad may want CRLF; it names
# the files of this release. The LDIF goes out as it is tested.
page=$name-administrators.txt
sed -e "s/schema-modify-VERSION/$name/g" -e 's/$/\r/' "$src/docs/administrators.md" >"$dist/$page"
cp "$src/tools/schema-additions.ldif" "$dist/$name.ldf"

notes=$name.txt
{
  echo "schema-modify $version"
  echo "commit $commit"
  echo "timestamp ${stamped:-none}"
  echo
  if [ -n "$testing" ]; then
    echo "FOR TESTING ONLY: signed with a throwaway self-signed certificate"
    echo "(test-signing-cert.pem), which no Windows trusts."
    echo
  fi
  echo "Files:"
  echo "  $name.exe     the program, Authenticode-signed (SHA-256)"
  echo "  $name.debug   its symbols, for a debugger (not needed to run it)"
  echo "  $name.pdb     the same for Windows debuggers, matched by the exe's CodeView record"
  echo "  $page"
  echo "                 for administrators: what it changes in the schema, who may run it,"
  echo "                 its failure texts, how to check it on Windows, the LDIF instead"
  echo "  $name.ldf     the same schema additions as LDIF, for ldifde"
  echo
  echo "To verify:"
  echo "  sha256sum -c SHA256SUMS"
  if [ -n "$testing" ]; then
    echo "  osslsigncode verify -in $name.exe -CAfile test-signing-cert.pem"
  else
    echo "  osslsigncode verify -in $name.exe"
    echo "  (on Windows: the file's Digital Signatures tab, or signtool verify /pa)"
  fi
  echo "  On Windows: Get-FileHash and Get-AuthenticodeSignature, as $page shows."
  echo
  echo "A signature with a timestamp stays valid after its signing certificate"
  echo "expires, as Windows checks the certificate at the stamped time; one"
  echo "without is valid only while the certificate is."
  echo "Rebuilt from the commit with tools/release.sh, the exe is the same, byte"
  echo "for byte, up to its signature (a new signing makes a new one)."
} >"$dist/$notes"
(cd "$dist" && sha256sum -- *.exe *.debug *.pdb *.ldf "$page" "$notes" >SHA256SUMS)

say "wrote $dist:"
(cd "$dist" && ls -l) >&2
