# Sourced by the scripts that run Windows programs: a throwaway Wine prefix that is never the
# user's, created without prompts; wine_end_prefix ends its wineserver and removes it.

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

wine_end_prefix() {
  # wineserver -k fails when no server runs, which is fine here.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}

# A default (64-bit) prefix, so both registry views exist.
wine_throwaway_prefix() {
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tessaline-wine.XXXXXX")
  export WINEPREFIX
  wineboot -i >/dev/null 2>&1
  wine_prepare_prefix
}

# Settings every throwaway prefix needs: a crash must not wait on a dialog; without a window
# manager every hidden window would otherwise stall for two seconds; and the window font, which
# only Japanese Windows ships, is replaced by Ume P Gothic, made to the same measures.
wine_prepare_prefix() {
  local settings
  settings=$(mktemp "${TMPDIR:-/tmp}/tessaline-prefix.XXXXXX.reg")
  {
    printf '\xff\xfe'
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
      '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' '' \
      '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"' '' \
      '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
      '"ＭＳ Ｐゴシック"="Ume P Gothic"' | iconv -f UTF-8 -t UTF-16LE
  } >"$settings"
  wine regedit /S "$settings"
  wineserver -w
  rm -f "$settings"
}
