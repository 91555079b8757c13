#!/usr/bin/env bash
# An updater.exe signed with Authenticode after its packages were appended
# (osslsigncode, a self-signed certificate made here): the signature covers
# the packages, the signed updater still lists, checks and applies them, and
# one changed payload byte makes the signature check fail.
# Usage: SignedUpdaterTest.sh BUILD_DIR (the Windows build); run under the
# suite's wine prefix.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
pack() { wine "$build/tools/updater-pack/updater-pack.exe" "$@"; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -keyout key.pem -out certificate.pem \
  -subj "/CN=Norvex test signing" -addext extendedKeyUsage=codeSigning 2>/dev/null

# An installation at version 121 with the Windows unpacker and the stand-in
# client library, and package 122: a table, the version, a program file.
mkdir -p installation 122/up
isql-fb -q >/dev/null <<SQL
create database '$work/installation/norvexlib.fdb' user 'SYSDBA' password 'masterkey';
create table versions (data integer, create_date timestamp default current_timestamp);
insert into versions (data) values (121);
commit;
SQL
printf '[Common]\r\nPathBaseIB=%s\r\nTypeServer=0\r\n' "$(winpath "$work/installation/norvexlib.fdb")" \
  >installation/cnfg.ini
cp "$build/tools/rar/rar.exe" installation/rar.exe
cp "$build/fbclient-standin/fbclient.dll.so" installation/fbclient.dll
printf 'program 121' >installation/nvlib.exe
printf 'CREATE TABLE SIGNED_PRICES (ID INTEGER);\r\n' >122/up/122.001.sql
printf 'INSERT INTO VERSIONS (DATA) VALUES (122);\r\n' >122/up/122.099.sql
printf 'program 122' >122/nvlib.exe
wine "$build/tools/rarwrite/rarwrite.exe" 122.rar 122 >/dev/null

pack add "$build/src/app/updater.exe" packed.exe 122.rar >/dev/null
osslsigncode sign -certs certificate.pem -key key.pem -n "Norvex updater" -in packed.exe \
  -out installation/updater.exe >/dev/null || fail "osslsigncode sign"
osslsigncode verify -CAfile certificate.pem -in installation/updater.exe >verify.txt 2>&1 ||
  fail "the signature of the packed updater: $(cat verify.txt)"

# The packages' lines (their files follow, indented).
listed=$(pack list installation/updater.exe | tr -d '\r' | grep -v '^ ' | cut -f1)
[[ $listed == 122_RAR ]] || fail "the signed updater lists '$listed'"
pack list installation/updater.exe | tr -d '\r' | grep -q $'^  nvlib.exe\t11\t' ||
  fail "the signed updater's index lost the files of 122_RAR"
pack verify installation/updater.exe >/dev/null || fail "the signed updater's packages do not verify"
code=0
(cd installation && wine ./updater.exe --unattended >../run.txt 2>&1) || code=$?
# The unpacker's output, for a run that stopped at unpacking.
rar_log() { cat "${WINEPREFIX:-$HOME/.wine}"/drive_c/users/*/Temp/norvex22.nvx/rar.log 2>/dev/null || true; }
[[ $code == 0 ]] || fail "the signed updater exited with $code: $(cat run.txt)
rar.log: $(rar_log)"
version=$(printf 'set heading off;\nselect max(data) from versions;\n' |
  isql-fb -q -user SYSDBA -password masterkey "$work/installation/norvexlib.fdb" | tr -d ' \n')
[[ $version == 122 ]] || fail "the database is at version '$version' after the signed updater's run"
[[ $(cat installation/nvlib.exe) == "program 122" ]] || fail "nvlib.exe was not installed"

# One byte of the package changed after signing (the package lies after the
# updater's own bytes, in the middle of the signed file).
cp installation/updater.exe tampered.exe
offset=$(($(stat -c %s "$build/src/app/updater.exe") + 100))
byte=$(od -An -tu1 -j "$offset" -N1 tampered.exe | tr -d ' ')
printf "\\$(printf '%03o' $((byte ^ 1)))" | dd of=tampered.exe bs=1 seek="$offset" conv=notrunc status=none
if osslsigncode verify -CAfile certificate.pem -in tampered.exe >verify.txt 2>&1; then
  fail "a changed payload byte kept the signature valid"
fi
grep -q MISMATCH verify.txt || fail "osslsigncode did not report the changed digest: $(cat verify.txt)"
if pack verify tampered.exe >/dev/null 2>&1; then
  fail "a changed payload byte passed the package check"
fi
echo "signed, verified, applied; a changed byte fails both checks"
