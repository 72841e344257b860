#!/bin/sh
# Runs the Win32 contract suite under Wine in a prefix of its own: a copy of the end-to-end
# suite's template prefix when that run made one, a freshly booted prefix otherwise. The prefix
# and its server are gone afterwards.
#   run_under_wine.sh WINE_DIR TEMPLATE PREFIX TEST_PROGRAM [ARGUMENT...]
# Run by root, it runs again as the unprivileged Wine user of scripts/as-wine-user (Wine as root
# writes read-only files, which Windows refuses), on that user's copies of itself and of the test
# program and at its places for TEMPLATE and PREFIX; the copies go afterwards.
set -u
wine_dir=$1 template=$2 prefix=$3 program=$4
shift 4

if [ "$(id -u)" -eq 0 ]; then
  wrapper="$(dirname "$0")/../../scripts/as-wine-user"
  own_script=$("$wrapper" --mirror "$0") && own_program=$("$wrapper" --mirror "$program") &&
    user_template=$("$wrapper" --where "$template") && user_prefix=$("$wrapper" --where "$prefix") ||
    exit 1
  "$wrapper" -- "$own_script" "$wine_dir" "$user_template" "$user_prefix" "$own_program" "$@" \
    </dev/null
  status=$?
  for copy in "$prefix" "$program" "$0"; do "$wrapper" --forget "$copy"; done
  exit $status
fi

export WINEPREFIX="$prefix" WINEDEBUG=-all PATH="$wine_dir:$PATH"
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")" || exit 1
if [ -f "$template/system.reg" ]; then
  cp -a "$template" "$prefix" || exit 1
else
  echo "no template prefix at $template: booting one"
  "$wine_dir/wine64" wineboot -i </dev/null >/dev/null 2>&1 && "$wine_dir/wineserver" -w || exit 1
fi

"$wine_dir/wine64" "$program" "$@" </dev/null
status=$?
"$wine_dir/wineserver" -k 2>/dev/null
"$wine_dir/wineserver" -w 2>/dev/null
rm -rf "$prefix"
exit $status
