#!/usr/bin/env bash
# The packages as a user gets them (after tools/package.sh): the .deb unpacked
# into a scratch root runs its program and renders its manual page, lintian
# finds no error in it (its other findings are listed), the Windows zip holds
# each architecture's program under its name with its version resource, and
# `cmake --install` lays out a prefix as documented. Every name and text holds
# the project's one version. (The Windows installers: windows_installer.sh.)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build/native/CMakeCache.txt")
[ -n "$version" ] || { echo "no project version in build/native: run tools/package.sh" >&2; exit 1; }
HALVORN_VERSION=$version source "$root/tests/e2e/lib.bash"
packages=$root/build/native/packages
deb=$packages/halvorn_${version}_amd64.deb
zip=$packages/halvorn-$version-windows.zip
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

dpkg -x "$deb" "$scratch/root"
check "the package's control file names version $version" \
  test "$(dpkg-deb --field "$deb" Version)" = "$version"
expect_run "installed program shows the banner" 255 "$banner" "$scratch/root/usr/bin/halvorn"
page=$scratch/root/usr/share/man/man1/halvorn.1.gz
check "groff finds nothing to warn about in the page" \
  test -z "$(zcat "$page" | groff -man -ww -z 2>&1)"
check "man renders the page without a warning" \
  test -z "$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >"$scratch/page.txt")"
check "the page shows the three command words" \
  grep -Eq ' +halvorn query .*halvorn ras .*halvorn rasreset' <(tr '\n' ' ' <"$scratch/page.txt")
check "the page's footer names version $version" grep -q "^halvorn $version " "$scratch/page.txt"

# lintian: an error, or lintian failing to run, fails the test; every finding
# (E: error, W: warning, I: note) is listed.
check "lintian runs and reports no error" \
  eval 'lintian --display-info "$deb" >"$scratch/lintian" 2>&1 && ! grep -q "^E: " "$scratch/lintian"'
sed -n 's/^[EWI]: /  lintian &/p' "$scratch/lintian"

top=halvorn-$version-windows
check "zip: README and licence" python3 -c 'import sys, zipfile
names = zipfile.ZipFile(sys.argv[1]).namelist()
sys.exit(not {sys.argv[2] + "/README.md", sys.argv[2] + "/LICENSE"} <= set(names))' "$zip" "$top"

# Each program as pefile (python3-pefile, for Debian's own Python) reads it:
# the machine it is for (0x14c i386, 0x8664 x86-64); each manifest's id (1,
# the one Windows reads for an .exe), its execution level and the systems it
# names as supported, each under its namespace (Windows ignores an element in
# another one); the version resource's fixed part and strings.
resources() {
  /usr/bin/python3 -c 'import sys, zipfile, pefile, xml.etree.ElementTree as xml
pe = pefile.PE(data=zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))
print("Machine#", hex(pe.FILE_HEADER.Machine))
for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    for name in kind.directory.entries if kind.id == 24 else []:
        data = name.directory.entries[0].data.struct
        print("Manifest#", name.id)
        for e in xml.fromstring(pe.get_data(data.OffsetToData, data.Size)).iter():
            if e.tag.endswith(("}requestedExecutionLevel", "}supportedOS")):
                print("Manifest#", e.tag, *filter(None, (e.get("level"), e.get("Id"), e.get("uiAccess"))))
fixed = pe.VS_FIXEDFILEINFO[0]
def numbers(high, low):
    return ".".join(str(n) for n in (high >> 16, high & 0xffff, low >> 16, low & 0xffff))
print("FileVersion#", numbers(fixed.FileVersionMS, fixed.FileVersionLS))
print("ProductVersion#", numbers(fixed.ProductVersionMS, fixed.ProductVersionLS))
for info in pe.FileInfo[0]:
    for table in getattr(info, "StringTable", []):
        for key, value in table.entries.items():
            print(table.LangID.decode() + ":" + key.decode(), value.decode())' "$zip" "$1"
}
copyright=$(grep -m1 '^Copyright ' "$root/LICENSE")
for arch in win32:0x14c win64:0x8664; do
  resources "$top/${arch%:*}/halvorn.exe" >"$scratch/resource" 2>&1 || true
  check "zip: ${arch%:*}/halvorn.exe: for ${arch#*:}; its manifest runs it as invoker on Vista to 11; it names itself, version $version and its licence" \
    diff -u - "$scratch/resource" <<EOF
Machine# ${arch#*:}
Manifest# 1
Manifest# {urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel asInvoker false
$(for os in e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a \
  4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
  echo "Manifest# {urn:schemas-microsoft-com:compatibility.v1}supportedOS {$os}"; done)
FileVersion# $version.0
ProductVersion# $version.0
040904B0:CompanyName Halvorn developers
040904B0:FileDescription Halvorn modem query and dial-up setup
040904B0:FileVersion $version
040904B0:InternalName halvorn
040904B0:LegalCopyright $copyright
040904B0:OriginalFilename halvorn.exe
040904B0:ProductName Halvorn
040904B0:ProductVersion $version
EOF
done

cmake --install "$root/build/native" --prefix "$scratch/prefix" >/dev/null
check "cmake --install: program, page and README" test -x "$scratch/prefix/bin/halvorn" \
  -a -f "$scratch/prefix/share/man/man1/halvorn.1" -a -f "$scratch/prefix/share/doc/halvorn/README.md"
finish
