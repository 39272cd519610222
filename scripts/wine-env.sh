# Sourced by the scripts that run the Windows build's programs under Wine:
# ZD_WINE_DLL_DIRS (folders of this machine, separated by colons, where the
# programs' DLLs are) becomes Wine's WINEPATH on drive Z:.
if [[ -n ${ZD_WINE_DLL_DIRS:-} ]]; then
  WINEPATH=""
  IFS=: read -r -a zd_dirs <<<"$ZD_WINE_DLL_DIRS"
  for zd_dir in "${zd_dirs[@]}"; do WINEPATH+="${WINEPATH:+;}Z:$zd_dir"; done
  export WINEPATH
  unset zd_dirs zd_dir
fi
export WINEDEBUG=${WINEDEBUG:--all}
