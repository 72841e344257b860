#!/bin/sh
# Runs the Win32 contract suite under Wine in a prefix of its own: a copy of the end-to-end
# suite's template prefix when that run made one, a freshly booted prefix otherwise. The prefix
# and its server are gone afterwards.
#   run_under_wine.sh WINE_DIR TEMPLATE PREFIX TEST_PROGRAM [ARGUMENT...]
set -u
wine_dir=$1 template=$2 prefix=$3 program=$4
shift 4
export WINEPREFIX="$prefix" WINEDEBUG=-all PATH="$wine_dir:$PATH"

rm -rf "$prefix"
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
