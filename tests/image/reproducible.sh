#!/usr/bin/env bash
# Builds the release twice with tools/release.sh, from clean clones of HEAD
# in two work trees whose paths differ in length, one after the other, and
# checks that the built exe, the unsigned exe and its symbols file come out the same bytes
# with neither work path in them (the PDB aside, which holds its work path);
# then that each dist/ verifies (checksums and signature), lists every file
# in SHA256SUMS, and ships the same texts as the other. The first build is
# timestamped by a throwaway timestamp authority on TSA_IP
# (timestamp-authority.py), whose timestamp must verify and keep the
# signature valid after its certificate expires; the second asks for none,
# and the authority must hear nothing from it. Leaves OUT/dist, of the first
# build, to the tests that read the signed exe.
#   reproducible.sh ROOT OUT TSA_IP
set -euo pipefail

root=$1
out=$2
tsa_ip=$3
here=$(dirname "$0")
rm -rf "$out"
mkdir -p "$out"
a=$out/a
b=$out/b-a-work-tree-whose-path-is-longer/b

tsa=$out/tsa
python3 "$here/timestamp-authority.py" "$tsa" "$tsa_ip" &
tsa_pid=$!
trap 'kill "$tsa_pid" 2>/dev/null || true; wait "$tsa_pid" 2>/dev/null || true' EXIT
trap 'exit 143' TERM INT HUP
for _ in $(seq 300); do
  [ ! -f "$tsa/url" ] || break
  kill -0 "$tsa_pid" 2>/dev/null || { echo "FAILED: the timestamp authority ended before it listened"; exit 1; }
  sleep 0.1
done
[ -f "$tsa/url" ] || { echo "FAILED: the timestamp authority did not listen within 30 s"; exit 1; }
queries() { if [ -f "$tsa/queries.log" ]; then wc -l <"$tsa/queries.log"; else echo 0; fi; }

RELEASE_TIMESTAMP_URL=$(cat "$tsa/url") RELEASE_TSA_CAFILE=$tsa/tsa-cert.pem \
  "$root/tools/release.sh" --work "$a" "$out/dist"
asked=$(queries)
env -u RELEASE_TIMESTAMP_URL -u RELEASE_TSA_CAFILE "$root/tools/release.sh" --work "$b" "$out/dist-b"

status=0
fail() { echo "FAILED: $*"; status=1; }
echo "the timestamp authority's queries:"
[ ! -f "$tsa/queries.log" ] || sed 's/^/  /' "$tsa/queries.log"
[ "$asked" -ge 1 ] || fail "the timestamped build sent the timestamp authority no query"
[ "$(queries)" = "$asked" ] || fail "the build without RELEASE_TIMESTAMP_URL queried the timestamp authority"

# The unsigned release, and the exe as the build left it (its load
# configuration and CodeView GUID written in after the link).
for file in "$a"/unsigned/* "$a/src/build/app/schema-modify.exe"; do
  name=${file#"$a"/}
  # GNU ld 2.40 writes into the PDB the folder it links in, so the PDB of
  # each work tree differs; tests/image/check-pdb.py matches it to its exe.
  if [ "${name%.pdb}" != "$name" ]; then
    echo "not compared: $name (it names the work tree it was linked in)"
    continue
  fi
  if cmp "$file" "$b/$name"; then
    echo "same bytes in both builds: $name $(sha256sum <"$file" | cut -d' ' -f1)"
  else
    fail "$name differs between the builds"
  fi
  for tree in "$a" "$b"; do
    ! grep -qaF "$tree/" "$file" || fail "$name holds the build path $tree"
  done
done

# What osslsigncode verify says of the exe of a dist, now or with -time at
# another time, trusting the throwaway certificate and timestamp authority.
verify() {
  osslsigncode verify -ignore-cdp -in "$1" -CAfile "$2/test-signing-cert.pem" \
    -TSA-CAfile "$tsa/tsa-cert.pem" "${@:3}" 2>&1
}
shown='Timestamp time|Timestamp Server Signature verification|Timestamp is not available|Signature verification|^(Succeeded|Failed)'

for dist in "$out/dist" "$out/dist-b"; do
  (cd "$dist" && sha256sum -c SHA256SUMS) || fail "checksums of $dist"
  exe=$(ls "$dist"/schema-modify-*.exe)
  name=$(basename "$exe" .exe)
  stamped=no
  [ "$dist" != "$out/dist" ] || stamped=yes
  report=$(verify "$exe" "$dist") || fail "signature of $exe"
  echo "osslsigncode verify, $dist:"
  grep -E "$shown" <<<"$report" | sed 's/^[[:space:]]*/  /'
  if [ $stamped = yes ]; then
    grep -q '^Timestamp Server Signature verification: ok' <<<"$report" || fail "$dist: no verified timestamp"
  else
    grep -q '^Timestamp is not available' <<<"$report" || fail "$dist: a timestamp that no one asked for"
  fi
  # A day after the signing certificate expires, only a timestamped
  # signature still verifies.
  expiry=$(openssl x509 -enddate -noout -in "$dist/test-signing-cert.pem" | cut -d= -f2)
  valid=yes
  report=$(verify "$exe" "$dist" -time $(($(date -d "$expiry" +%s) + 86400))) || valid=no
  echo "the same a day after the certificate expires ($expiry):"
  grep -E "$shown" <<<"$report" | sed 's/^[[:space:]]*/  /'
  [ $valid = $stamped ] || fail "$dist: valid after the certificate expired: $valid, timestamped: $stamped"
  for file in "$name.ldf" "$name-administrators.txt"; do
    [ -s "$dist/$file" ] || fail "$dist has no $file"
  done
  # The throwaway certificate aside, nothing ships without its checksum.
  for file in "$dist"/*; do
    file=$(basename "$file")
    case $file in SHA256SUMS | test-signing-cert.pem) continue ;; esac
    grep -q "  $file\$" "$dist/SHA256SUMS" || fail "$file is not in $dist/SHA256SUMS"
  done
done
for file in "$out"/dist/*.ldf "$out/dist/$name-administrators.txt"; do
  cmp "$file" "$out/dist-b/$(basename "$file")" || fail "$(basename "$file") differs between the builds"
done
# The notes name the timestamp, which only the first build has.
notes=$name.txt
grep -q '^timestamp [^n]' "$out/dist/$notes" || fail "the notes of $out/dist name no timestamp"
grep -qx 'timestamp none' "$out/dist-b/$notes" || fail "the notes of $out/dist-b name a timestamp"
cmp <(grep -v '^timestamp ' "$out/dist/$notes") <(grep -v '^timestamp ' "$out/dist-b/$notes") ||
  fail "$notes differs between the builds beyond its timestamp"
exit $status
