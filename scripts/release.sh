#!/usr/bin/env bash
# Builds the x86-64, the 32-bit x86 and the ARM64 program from a clean tree
# of the current commit and writes the release under build/release/:
#   岚石阁内存整理-VERSION-x64.zip, -x86.zip, -arm64.zip  (the exe and 说明.txt)
#   SHA256SUMS
# The same commit gives the same bytes: the programs are reproducible, and
# the zips' entries carry the commit's time (SOURCE_DATE_EPOCH).
#   RELEASE_DIR=/some/dir scripts/release.sh   writes there instead
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

scripts/deps.sh
if [ "$(locale charmap 2>/dev/null)" != "UTF-8" ]; then export LC_ALL=C.UTF-8; fi

out=${RELEASE_DIR:-$repo/build/release}
commit=$(git rev-parse HEAD)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "release: uncommitted changes are left out; this builds commit $commit" >&2
fi
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct "$commit")
export SOURCE_DATE_EPOCH
version=$(sed -n 's/^project([A-Za-z]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
product=岚石阁内存整理

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A clean tree: exactly the commit's files, no build directories.
mkdir -p "$work/src"
git archive --format=tar "$commit" | tar -C "$work/src" -xf -

mkdir -p "$out"
rm -f "$out/$product"-*.zip "$out/SHA256SUMS"
for build in x64:windows:"64 位版（x64）":"the 64-bit build (x64)" \
             x86:windows-x86:"32 位版（x86）":"the 32-bit build (x86)" \
             arm64:windows-arm64:"ARM64 版（arm64）":"the ARM64 build (arm64)"; do
  IFS=: read -r arch preset arch_zh arch_en <<<"$build"
  echo "== release: $arch ($preset)"
  (cd "$work/src" &&
   cmake --preset "$preset" -DBUILD_TESTING=OFF >/dev/null &&
   cmake --build --preset "$preset" --target memory_arrange >/dev/null)
  stage=$work/stage-$arch
  mkdir -p "$stage"
  cp "$work/src/build/$preset/$product.exe" "$stage/"
  # Notepad on Windows 7 reads UTF-8 only with a byte-order mark, and wants CRLF.
  { printf '\xef\xbb\xbf'
    sed -e "s/@VERSION@/$version/g; s/@ARCH@/$arch/g; s/@ARCH_ZH@/$arch_zh/g; s/@ARCH_EN@/$arch_en/g; s/@COMMIT@/$commit/g" \
        -e 's/$/\r/' "$work/src/resources/说明.txt"
  } >"$stage/说明.txt"
  python3 "$work/src/scripts/make_zip.py" "$out/$product-$version-$arch.zip" "$SOURCE_DATE_EPOCH" \
          "$stage/$product.exe" "$stage/说明.txt"
done
(cd "$out" && sha256sum "$product-$version-x64.zip" "$product-$version-x86.zip" "$product-$version-arm64.zip" \
   >SHA256SUMS)
echo "release: commit $commit, in $out:"
(cd "$out" && cat SHA256SUMS)
