# The service doubles of tools/ in place of Wine's own services:
# use_doubles DLL... copies halvorn.exe and the named doubles (rasapi32,
# shell32) into a fresh $scratch folder and has Wine prefer them there; tool
# runs that copy. The all-users phonebook is where Windows keeps it, in the
# prefix, and is removed when the script ends, with whatever else the script
# adds to litter. Credentials are the calling user's: the double plays Dialer.
pbk_folder="$WINEPREFIX/drive_c/ProgramData/Microsoft/Network/Connections/Pbk"
pbk="$pbk_folder/rasphone.pbk"
export RAS_DOUBLE_CALLER=Dialer
credentials="$pbk_folder/rasphone.Dialer.credentials"

# litter_folder DIR: DIR goes when the script ends, with the folders above it
# that do not exist yet and are made for it.
litter_folder() {
  local top=$1
  while [ ! -e "$(dirname "$top")" ]; do top=$(dirname "$top"); done
  litter+=("$top")
}

use_doubles() {
  scratch=$(mktemp -d)
  rm -rf "$pbk_folder"
  litter=("$scratch")
  litter_folder "$pbk_folder"
  trap 'rm -rf "${litter[@]}"' EXIT
  cp "$HALVORN_EXE" "$scratch/"
  local dll overrides=()
  for dll; do
    cp "$(dirname "$HALVORN_EXE")/$dll.dll" "$scratch/"
    # Wine's own programs that start meanwhile (explorer, wineboot) inherit the
    # overrides: "b" lets them fall back on Wine's shell, found first in their
    # own folder, while halvorn.exe finds the double first in its folder.
    case $dll in shell32) overrides+=("$dll=n,b") ;; *) overrides+=("$dll=n") ;; esac
  done
  WINEDLLOVERRIDES=$(IFS=';' && echo "${overrides[*]}")
  export WINEDLLOVERRIDES
}
tool() { wine_run "$scratch/halvorn.exe" "$@"; }
