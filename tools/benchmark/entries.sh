# Sourced by the benchmarks: the lines "KEY|NAME|DATA" regtool seeds a matching module-usage entry
# from, five values, for the entry numbered $1.
MODULE_USAGE='HKLM\Software\Microsoft\Windows\CurrentVersion\ModuleUsage'
matching_entry() {
  local entry="$MODULE_USAGE\\C:/Program Files/App $1/TessalineWeb_EN.ocx"
  echo "$entry|.Owner|Unknown Owner"
  echo "$entry|{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}|"
  echo "$entry|Installed|$1"
  echo "$entry|Path|C:\\Program Files\\App $1\\TessalineWeb_EN.ocx"
  echo "$entry|Note|an entry with five values"
}
