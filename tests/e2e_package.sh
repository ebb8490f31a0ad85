#!/usr/bin/env bash
# Builds the Debian package from a finished build (cpack -G DEB) and checks
# what a user installs: the package's fields and dependencies, the files it
# holds, the changelog's latest entry, and lintian with no error or warning.
#
# usage: e2e_package.sh BUILD_DIR WORK_DIR VERSION
set -uo pipefail
build=$1 work=$2 version=$3
rm -rf "$work" && mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  fail "cpack -G DEB failed"
  exit 1
fi
deb=$(ls "$work"/starloom_*.deb 2>/dev/null)
[ "$(echo "$deb" | wc -w)" -eq 1 ] || { fail "expected one package in $work, found: $deb"; exit 1; }
case "$(basename "$deb")" in
  "starloom_${version}_$(dpkg --print-architecture).deb") ;;
  *) fail "package file named $(basename "$deb")" ;;
esac

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = starloom ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Section)" = science ] || fail "Section is '$(field Section)'"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer is '$(field Maintainer)'"
# The libraries the binaries link, as dpkg-shlibdeps found them.
for lib in libc6 libstdc++6 libvulkan1 libglfw3 libpng16-16 libxxhash0; do
  [[ ", $(field Depends)" == *", $lib "* ]] || fail "Depends lacks $lib: $(field Depends)"
done
[[ "$(field Recommends)" == *mesa-vulkan-drivers* ]] || fail "Recommends is '$(field Recommends)'"

# The installed files themselves are e2e_install's; lintian asks for the
# copyright file and the changelog, whose latest entry must be this version.
unpacked="$work/unpacked"
dpkg-deb -x "$deb" "$unpacked"
head=$(zcat "$unpacked/usr/share/doc/starloom/changelog.gz" | head -n 1)
[[ "$head" == "starloom ($version) "* ]] || fail "the changelog's latest entry is '$head', not version $version"

# lintian: errors and warnings fail; the informational tags are shown.
if ! lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>"$work/lintian.err"; then
  grep -v 'root privileges' "$work/lintian.err" >&2
  fail "lintian reports errors or warnings, or did not run"
fi
cat "$work/lintian.txt"

[ "$failures" -eq 0 ] || exit 1
echo "package checked: $deb"
