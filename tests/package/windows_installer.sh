#!/usr/bin/env bash
# The Windows installers (after tools/package.sh) as an administrator runs
# them, with Wine's msiexec in a scratch prefix per Wine lane that runs here:
# each package's whole life, from a silent install to a removal that leaves
# nothing behind. The 64-bit prefix takes both packages, the 32-bit one under
# Program Files (x86); the 32-bit prefix refuses the 64-bit one.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build/native/CMakeCache.txt")
[ -n "$version" ] || { echo "no project version in build/native: run tools/package.sh" >&2; exit 1; }
HALVORN_VERSION=$version source "$root/tests/e2e/lib.bash"
source "$root/tests/wine/lib.bash"
source "$root/tools/wine_lanes.bash"
IFS=. read -r major minor patch <<<"$version"
next=$major.$minor.$((patch + 1))
publisher="Halvorn developers"

scratch=$(mktemp -d)
servers=()
# Each prefix's server is ended (it would linger a few seconds) before the
# scratch folder goes.
trap 'for server in "${servers[@]}"; do WINEPREFIX=${server%%:*} "${server#*:}" -k 2>/dev/null || true; done
  rm -rf "$scratch"' EXIT
find_wine_lanes
mkdir "$scratch/empty"  # the current folder of cmd: no halvorn.exe in it

# use_lane LANE: that lane's Wine and prefix, of the lane's architecture.
use_lane() {
  local bits=${1#win}
  export WINEARCH=$1 WINEPREFIX=$scratch/prefix-$1 WINEDEBUG=-all WINELOADER=/usr/lib/wine/wine${bits/32/} \
    WINESERVER=/usr/lib/wine/wineserver$bits
  unset WINEDLLOVERRIDES
}
# A new prefix per lane, made side by side while the packages are built (no
# .NET or HTML engine: msiexec needs neither).
boots=()
for lane in "${wine_lanes[@]}"; do
  use_lane "$lane"
  servers+=("$WINEPREFIX:$WINESERVER")
  WINEDLLOVERRIDES="mscoree,mshtml=" timeout 240 "$WINELOADER" wineboot.exe -i &
  boots+=($!)
done

# The packages under test: the built ones and, made from the same program by
# the same script, a rebuild of this version and the next version.
for arch in win32 win64; do
  cp "$root/build/native/packages/halvorn-$version-$arch.msi" "$scratch/"
  for build in rebuilt:$version next:$next; do
    cmake -DARCH=$arch -DVERSION="${build#*:}" -DPUBLISHER="$publisher" \
      -DPROGRAM="$root/build/$arch/halvorn.exe" -DOUTPUT="$scratch/${build%%:*}-$arch.msi" \
      -P "$root/packaging/windows_installer.cmake"
  done
done
for boot in "${boots[@]}"; do wait "$boot"; done

# run_msiexec ARGS...: msiexec without a user interface; prints the status,
# the low 8 bits of Windows Installer's (1603 fatal error: 67, 1633 platform
# unsupported: 97, 1638 another version installed: 102).
run_msiexec() { wine_run msiexec "$@" /qn >/dev/null 2>&1 && echo 0 || echo $?; }
windows_name() { local name=${1//\//\\}; echo "Z:$name"; }
product_code() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; }
# reg_value KEY NAME: one value as reg prints it, empty when there is none.
reg_value() {
  { wine_run reg query "$1" /v "$2" 2>/dev/null || true; } | tr -d '\r' |
    sed -n "s/^ *$2 \{4\}REG_[A-Z_]* \{4\}//p"
}
system_path() { reg_value 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' PATH; }
# How often FOLDER (with or without its last backslash) is on the system PATH.
on_path() { system_path | tr ';' '\n' | grep -Fixc -e "$1" -e "$1\\" || true; }
reg_tree() { { wine_run reg query "$1" /s 2>/dev/null || true; } | tr -d '\r'; }
# The Programs and Features entries of the 64-bit and the 32-bit registry view,
# and how many of them are the package's ($product).
programs='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
programs32='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall'
named() { sed -n "s/^ *$1 \{4\}REG_SZ \{4\}//p" | grep -cxF "$product" || true; }
entries() { { reg_tree "$programs" && reg_tree "$programs32"; } | named DisplayName; }
# Whether Windows Installer registered the package for the machine (one
# installed for one user is registered under HKCU instead).
for_machine() { [ "$(reg_tree 'HKLM\Software\Classes\Installer\Products' | named ProductName)" = 1 ]; }
# The prefix as files and registry text, once its server has written it out
# (ending it at once: it would linger a few seconds); the folder where Windows
# Installer keeps its copies of installed packages stays, as on Windows, once
# the first package made it.
prefix_state() {
  "$WINESERVER" -k
  (cd "$WINEPREFIX" && find drive_c ! -path drive_c/windows/Installer | sort &&
    grep -i halvorn ./*.reg || true)
}
# found_on_path NAME: cmd, in a folder without the program, finds it on the
# system PATH and runs it, when this Wine runs programs of $arch.
found_on_path() {
  [ "$runs" = no ] || expect_run "$in: $1" 255 "$banner" env -C "$scratch/empty" "$WINELOADER" cmd /c halvorn
}

# exercise ARCH FOLDER UNINSTALL RUNS: the whole life of ARCH's package in the
# prefix: FOLDER is where it belongs, UNINSTALL the registry key holding its
# Programs and Features entry, RUNS yes when this Wine runs its program.
exercise() {
  local arch=$1 folder=$2 uninstall=$3 runs=$4 in="$WINEARCH prefix, $1 package" product=Halvorn
  [ "$arch" = win32 ] || product="Halvorn (64-bit)"  # the two told apart side by side
  local msi=$scratch/halvorn-$version-$arch.msi rebuilt=$scratch/rebuilt-$arch.msi
  local newer=$scratch/next-$arch.msi files=$WINEPREFIX/drive_c/${folder#C:\\}
  files=${files//\\//}
  local code next_code before path_before
  code=$(product_code "$msi") next_code=$(product_code "$newer")
  before=$(prefix_state) path_before=$(system_path)
  [ "$runs" = yes ] || echo "     $in: program not run, this Wine runs no 32-bit program"

  check "$in: installs silently" test "$(run_msiexec /i "$(windows_name "$msi")")" = 0
  check "$in: program, README and licence in $folder" eval 'cmp -s "$files/halvorn.exe" "$root/build/$arch/halvorn.exe" &&
    cmp -s "$files/README.md" "$root/README.md" && cmp -s "$files/LICENSE" "$root/LICENSE"'
  check "$in: its folder once on the system PATH" test "$(on_path "$folder")" = 1
  check "$in: installed for the machine" for_machine
  check "$in: Programs and Features shows $product, version $version and the publisher" test \
    "$(reg_value "$uninstall\\$code" DisplayName)/$(reg_value "$uninstall\\$code" DisplayVersion)/$(reg_value "$uninstall\\$code" Publisher)" = "$product/$version/$publisher"
  found_on_path "cmd /c halvorn finds it on PATH"

  local status
  for again in "$msi" "$rebuilt"; do
    status=$(run_msiexec /i "$(windows_name "$again")")
    check "$in: $(basename "$again") again is repaired or refused (status $status)" \
      test "$status" = 0 -o "$status" = 102
    check "$in: still one entry, once on PATH" test "$(entries)/$(on_path "$folder")" = 1/1
  done

  check "$in: version $next installs over it" test "$(run_msiexec /i "$(windows_name "$newer")")" = 0
  check "$in: and replaces it: one entry, of version $next, once on PATH" \
    test "$(entries)/$(reg_value "$uninstall\\$code" DisplayVersion)/$(reg_value \
    "$uninstall\\$next_code" DisplayVersion)/$(on_path "$folder")" = "1//$next/1"
  found_on_path "cmd /c halvorn still finds it"
  check "$in: version $version over $next is refused, and leaves $next" test \
    "$(run_msiexec /i "$(windows_name "$msi")")/$(reg_value "$uninstall\\$next_code" DisplayVersion)" = "67/$next"

  check "$in: msiexec /x removes it: no entry, no folder" \
    test "$(run_msiexec /x "$next_code")/$(entries)" = 0/0 -a ! -e "$files"
  check "$in: the system PATH as it was before" test "$(system_path)" = "$path_before"
  check "$in: no file or registry value of it left" diff <(echo "$before") <(prefix_state)
}

runs32=no
[[ " ${wine_lanes[*]} " = *" win32 "* ]] && runs32=yes
for lane in "${wine_lanes[@]}"; do
  use_lane "$lane"
  if [ "$lane" = win64 ]; then
    exercise win64 'C:\Program Files\Halvorn' "$programs" yes
    exercise win32 'C:\Program Files (x86)\Halvorn' "$programs32" "$runs32"
  else
    exercise win32 'C:\Program Files\Halvorn' "$programs" yes
    check "win32 prefix: the 64-bit package is refused (1633), leaving no folder" \
      test "$(run_msiexec /i "$(windows_name "$scratch/halvorn-$version-win64.msi")")" = 97 \
      -a ! -e "$WINEPREFIX/drive_c/Program Files/Halvorn"
  fi
done
finish
