#!/usr/bin/env bash
# Builds the Debian package from a build tree with cpack, unpacks it into a scratch root with
# dpkg -x and runs the programs from there: what `apt install ./download-utility_*.deb` would
# put on a machine, without needing one.
#   deb_package_test.sh BUILD_DIR VERSION [FILE...]
# FILEs are further paths the package must hold (the desktop program's files, the manual), as
# the install rules found them.
set -euo pipefail
build=$1 version=$2
shift 2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    fail "cpack could not build the package"
fi
debs=("$scratch"/out/download-utility_"$version"_*.deb)
[ -f "${debs[0]}" ] || fail "no download-utility_${version}_*.deb in $(ls "$scratch/out")"
deb=${debs[0]}
echo "built $(basename "$deb") ($(stat -c %s "$deb") bytes)"

# The library packages come from dpkg-shlibdeps; without them apt would install a package
# whose programs cannot start.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
names=" $(sed -E 's/ \([^)]*\)//g; s/,//g' <<<"$depends") "
for lib in libc6 libstdc++6 libqt6core6 libqt6serialport6 libssl3 libminizip1; do
    [[ $names == *" $lib "* ]] || fail "Depends lacks $lib"
done

# The desktop program needs Qt's windowing plugins and its translations, and a Hangul font
# for its Korean texts.
contents=$(dpkg-deb -c "$deb")
if grep -q ' \./usr/bin/downloader$' <<<"$contents"; then
    for pkg in qt6-qpa-plugins qt6-translations-l10n; do
        [[ $names == *" $pkg "* ]] || fail "Depends lacks $pkg"
    done
    recommends=$(dpkg-deb -f "$deb" Recommends)
    [[ " ${recommends//,/ } " == *" fonts-nanum "* ]] || fail "Recommends '$recommends' lacks fonts-nanum"
fi

# Everything under /usr, nothing from the build tree's prefix.
if dpkg-deb -c "$deb" | awk '{print $6}' | grep -v -E '^\./(usr(/.*)?)?$'; then
    fail "files outside /usr"
fi

dpkg -x "$deb" "$scratch/root"
root=$scratch/root
for program in dlutil plcsim; do
    answer=$("$root/usr/bin/$program" --version) || fail "$program --version failed"
    [ "$answer" = "$program $version" ] || fail "$program --version said '$answer'"
    echo "$answer"
done

pages=(dlutil plcsim)
[ -e "$root/usr/bin/downloader" ] && pages+=(downloader)
for page in "${pages[@]}"; do
    file=$root/usr/share/man/man1/$page.1.gz
    [ -f "$file" ] || fail "no man page $page.1.gz"
    head=$(gzip -dc "$file" | head -1)
    [[ $head == ".TH ${page^^} 1 "* ]] || fail "$page.1.gz starts with '$head'"
done

completion=$root/usr/share/bash-completion/completions/dlutil
[ -f "$completion" ] || fail "no bash completion for dlutil"
registered=$(bash -c '_init_completion() { :; }; source "$1" && complete -p dlutil' _ "$completion") ||
    fail "the completion does not register"
[[ $registered == *"-F _dlutil"* ]] || fail "completion registered as '$registered'"

for file in "$@"; do
    [ -s "$root/usr/$file" ] || fail "no /usr/$file"
done

# One documentation folder, named after the package, with the copyright file and the
# changelog as Debian keeps them.
doc=$root/usr/share/doc/download-utility
[ -s "$doc/copyright" ] || fail "no copyright file"
head -1 "$doc/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "the copyright file is not machine-readable"
gzip -t "$doc/changelog.gz" || fail "changelog.gz is not gzip"
first=$(gzip -dc "$doc/changelog.gz" | head -1)
[[ $first == "download-utility ($version) "* ]] || fail "the changelog starts with '$first'"
for folder in "$root"/usr/share/doc/*; do
    [ "$folder" = "$doc" ] || [ -L "$folder" ] || fail "a second documentation folder $folder"
done

# What Debian's own checker says, where it is installed: no error and no warning.
if command -v lintian >/dev/null; then
    if ! lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1; then
        cat "$scratch/lintian.log" >&2
        fail "lintian found errors or warnings"
    fi
    echo "lintian: no errors, no warnings"
else
    echo "lintian is not installed: not checked"
fi
echo "package ok"
