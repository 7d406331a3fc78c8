#!/usr/bin/env bash
# Brings i18n/velmora_en.ts up to date with the texts of the windows: lupdate reads
# every tr() and QCoreApplication::translate() (and QT_TRANSLATE_NOOP) in _form/,
# _app/ and Velmora.cpp, adds the new Russian texts as unfinished and marks those
# that are gone as obsolete. Then fill in the English of the unfinished ones (Qt
# Linguist: linguist i18n/velmora_en.ts, or by hand in the file) and build: the
# build compiles the file into the program.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
lupdate=$(command -v lupdate || true)
[ -n "$lupdate" ] || lupdate=$(qtpaths6 --query QT_HOST_LIBEXECS 2>/dev/null)/lupdate
[ -x "$lupdate" ] || lupdate=/usr/lib/qt6/bin/lupdate
[ -x "$lupdate" ] || { echo "update-translations: no lupdate (package qt6-l10n-tools)" >&2; exit 1; }
"$lupdate" -locations none -no-ui-lines -source-language ru_RU -target-language en_US \
  _form _app Velmora.cpp -ts i18n/velmora_en.ts "$@"
# What is left to translate.
unfinished=$(grep -c 'type="unfinished"' i18n/velmora_en.ts || true)
echo "update-translations: $unfinished text(s) without English in i18n/velmora_en.ts"
