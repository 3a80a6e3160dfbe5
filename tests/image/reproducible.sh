#!/usr/bin/env bash
# Builds the release twice with tools/release.sh, from clean clones of HEAD
# in two work trees whose paths differ in length, one after the other, and
# checks that the built exe, the unsigned exe and its symbols file come out the same bytes
# with neither work path in them (the PDB aside, which holds its work path);
# then that each dist/ verifies (checksums and signature), lists every file
# in SHA256SUMS, and ships the same texts as the other. Leaves OUT/dist, of
# the first build, to the tests that read the signed exe.
#   reproducible.sh ROOT OUT
set -euo pipefail

root=$1
out=$2
rm -rf "$out"
mkdir -p "$out"
a=$out/a
b=$out/b-a-work-tree-whose-path-is-longer/b
"$root/tools/release.sh" --work "$a" "$out/dist"
"$root/tools/release.sh" --work "$b" "$out/dist-b"

status=0
fail() { echo "FAILED: $*"; status=1; }
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

for dist in "$out/dist" "$out/dist-b"; do
  (cd "$dist" && sha256sum -c SHA256SUMS) || fail "checksums of $dist"
  exe=$(ls "$dist"/schema-modify-*.exe)
  osslsigncode verify -ignore-cdp -in "$exe" -CAfile "$dist/test-signing-cert.pem" \
    | grep -E '^(Signature verification|Subject|Succeeded|Failed)' || fail "signature of $exe"
  name=$(basename "$exe" .exe)
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
for file in "$out"/dist/*.ldf "$out"/dist/*.txt; do
  cmp "$file" "$out/dist-b/$(basename "$file")" || fail "$(basename "$file") differs between the builds"
done
exit $status
