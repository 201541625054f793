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

# Settings every prefix our tests use needs: a crash must not wait on a dialog, and without a
# window manager every hidden window would otherwise stall for two seconds.
wine_prepare_prefix() {
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
  wineserver -w
}
