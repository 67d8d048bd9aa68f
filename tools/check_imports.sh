#!/usr/bin/env bash
# Checks that an executable is a 32-bit x86 Windows program that needs no DLL
# of its own, imports only from known system libraries (those in
# tools/known-system-libraries.txt) and only functions that Windows 7 SP1
# has: every import must stand in tools/windows7-imports.txt, and those
# marked "required" there must be imported.
# Usage: tools/check_imports.sh <program.exe>
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
exe="$1"
allowed="$here/tools/windows7-imports.txt"
libraries="$here/tools/known-system-libraries.txt"
objdump=i686-w64-mingw32-objdump

headers=$("$objdump" -f "$exe")
if ! grep -q 'file format pei-i386' <<<"$headers"; then
  echo "$exe: not a 32-bit x86 Windows program"; echo "$headers"; exit 1
fi
# "DLL function" per import, DLL names in upper case (the loader ignores case).
imports=$("$objdump" -p "$exe" | awk '
  /^\tDLL Name: / { dll = toupper($3); next }
  /^\t[ 0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ && dll != "" { print dll, $NF }
  /^$/ { dll = "" }' | sort -u)
[ -n "$imports" ] || { echo "$exe: no imports found"; exit 1; }
known=$(grep -v '^#' "$allowed" | awk 'NF { print toupper($1), $2 }' | sort -u)
unknown=$(comm -23 <(printf '%s\n' "$imports") <(printf '%s\n' "$known"))
required=$(grep -v '^#' "$allowed" | awk '$4 == "required" { print toupper($1), $2 }' | sort -u)
absent=$(comm -13 <(printf '%s\n' "$imports") <(printf '%s\n' "$required"))
count=$(printf '%s\n' "$imports" | wc -l)
known_libraries=$(grep -v '^#' "$libraries" | awk 'NF { print toupper($1) }' | sort -u)
foreign=$(comm -23 <(printf '%s\n' "$imports" | awk '{print $1}' | sort -u) <(printf '%s\n' "$known_libraries"))
if [ -n "$foreign" ]; then
  echo "$exe imports from libraries that are not known system libraries (Windows would look for them beside it first):"
  printf '  %s\n' $foreign
  exit 1
fi
if [ -n "$unknown" ]; then
  echo "$exe imports functions not known to be on Windows 7 SP1:"
  printf '  %s\n' $unknown | paste - - | sed 's/\t/ /'
  exit 1
fi
if [ -n "$absent" ]; then
  echo "$exe does not import what it must call:"
  printf '  %s\n' $absent | paste - - | sed 's/\t/ /'
  exit 1
fi
echo "imports: $count functions from $(printf '%s\n' "$imports" | awk '{print $1}' | sort -u | paste -sd' '), all on Windows 7 SP1 and from known system libraries"
