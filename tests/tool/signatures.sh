#!/usr/bin/env bash
# The exports' signatures are generated from their declarations and must agree with PWSETUP.def:
# the generator refuses an export without a declaration, a declaration without an export and a
# count that differs; it ties a buffer to the size after it and reads an array's size.
set -uo pipefail
src=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/winsim-signatures.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Runs the generator on the .def and headers given; prints its messages on one line.
generate() { # DEF HEADER
  "${CMAKE:-cmake}" -DDEF="$1" -DHEADERS="$2" -DOUTPUT="$work/out.inc" \
    -P "$src/cmake/ExportSignatures.cmake" 2>&1 | tr -s ' \n' ' ' # cmake wraps its messages
}
cat > "$work/a.h" <<'H'
enum { PW_LIST_SIZE = 96 };
PW_EXPORT DLL_Get(LONG id, LPSTR buffer,
                  LONG size);
PW_EXPORT DLL_List(LPCSTR path, char list[PW_LIST_SIZE]);
PW_EXPORT DLL_None(void);
H
printf 'EXPORTS\n    DLL_Get=DLL_Get@12\n    DLL_List=DLL_List@8\n    DLL_None=DLL_None@0\n' > "$work/ok.def"
out=$(generate "$work/ok.def" "$work/a.h") || fail "a sound .def and header: $out"
grep -qF '{"DLL_Get", {{ParamKind::Number, "id", 0, -1}, {ParamKind::Pointer, "buffer", 0, 2}, {ParamKind::Number, "size", 0, -1}}},' \
  "$work/out.inc" || fail "buffer tied to its size: $(cat "$work/out.inc")"
grep -qF '{ParamKind::Pointer, "list", 96, -1}' "$work/out.inc" || fail "array size: $(cat "$work/out.inc")"
grep -qF '{"DLL_None", {}},' "$work/out.inc" || fail "no parameters"

refused() { # DEF-LINES PATTERN
  printf 'EXPORTS\n%b' "$1" > "$work/bad.def"
  out=$(generate "$work/bad.def" "$work/a.h") && fail "$2: the generator accepted it"
  grep -q "$2" <<<"$out" || fail "$2: $out"
}
ok='    DLL_Get=DLL_Get@12\n    DLL_List=DLL_List@8\n    DLL_None=DLL_None@0\n'
refused "$ok    DLL_Extra=DLL_Extra@4\n" 'DLL_Extra has no PW_EXPORT declaration'
refused '    DLL_Get=DLL_Get@12\n    DLL_List=DLL_List@8\n' 'DLL_None is declared but .* does not export it'
refused '    DLL_Get=DLL_Get@8\n    DLL_List=DLL_List@8\n    DLL_None=DLL_None@0\n' \
  'DLL_Get: declared with 3 parameters, but .* gives 8 bytes'

# The library's own headers and .def agree.
out=$(generate "$src/setup/PWSETUP.def" "$(ls "$src"/setup/*/*.h | tr '\n' ';')") \
  || fail "PWSETUP's own declarations: $out"
echo "signatures: all checks passed"
