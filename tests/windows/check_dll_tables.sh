#!/usr/bin/env bash
# Checks Quellix.dll's tables: check_dll_tables.sh DLL OBJDUMP WINDRES
#  - exports: exactly plugMain and SetLogCallback;
#  - imports: system DLLs only (KERNEL32 and OPENGL32 among them), so libgcc, libstdc++
#    and winpthread are linked in; DisableThreadLibraryCalls among them (the DllMain);
#  - the version resource: version 3.0, product name and description.
# Prints the tables as objdump -p shows them.
set -euo pipefail
dll="$1"
objdump="$2"
windres="$3"
failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

tables="$("$objdump" -p "$dll")"
echo "$tables" | grep -E '^\s+DLL Name|^\s+[0-9a-f]+\s+[0-9]+\s+\S+$' || true
echo "$tables" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p'

exports="$(echo "$tables" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  grep -E '^\s+\[ *[0-9]+\] ' | sed -E 's/^\s+\[ *[0-9]+\] //' | sort | tr '\n' ' ')"
[ "$exports" = "SetLogCallback plugMain " ] || fail "exports are '$exports', not exactly SetLogCallback and plugMain"

imports="$(echo "$tables" | grep -oE 'DLL Name: \S+' | awk '{print toupper($3)}' | sort -u)"
allowed=" KERNEL32.DLL OPENGL32.DLL MSVCRT.DLL UCRTBASE.DLL USER32.DLL GDI32.DLL "
for name in $imports; do
  case "$name" in
    API-MS-WIN-CRT-*) ;;  # the universal C runtime's forwarders
    *) [[ "$allowed" == *" $name "* ]] || fail "imports $name, which is not a system DLL" ;;
  esac
done
for needed in KERNEL32.DLL OPENGL32.DLL; do
  grep -qx "$needed" <<<"$imports" || fail "does not import $needed"
done
# The module's DllMain turns off per-thread attach and detach notifications.
grep -qE '^\s+[0-9a-f]+\s+[0-9]+\s+DisableThreadLibraryCalls$' <<<"$tables" ||
  fail "does not call DisableThreadLibraryCalls (no DllMain of its own?)"

resource="$("$windres" --input-format=coff --output-format=rc "$dll" 2>&1 || true)"
grep -q 'FILEVERSION 3, *0, *0, *0' <<<"$resource" || fail "no FILEVERSION 3,0,0,0 in the version resource"
grep -q 'VALUE "ProductName", "Quellix Shine"' <<<"$resource" || fail "no ProductName Quellix Shine"
grep -q 'VALUE "ProductVersion", "3.0"' <<<"$resource" || fail "no ProductVersion 3.0"
grep -q 'VALUE "FileDescription", "Quellix Shine' <<<"$resource" || fail "no FileDescription"

[ "$failed" -eq 0 ] && echo "exports, imports and version resource as expected"
exit "$failed"
