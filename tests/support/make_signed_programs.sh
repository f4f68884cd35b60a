#!/usr/bin/env bash
# Makes a test certificate authority and signs copies of a program with
# Authenticode (osslsigncode), one for each thing a publisher check must
# catch. Writes into OUT_DIR: ca.pem and ca.der (the root a test trusts for
# as long as it runs), and
#   good.exe         signed with a code-signing certificate of "Xingchen Games Ltd"
#   unsigned.exe     the program as built
#   changed.exe      good.exe with one byte of the program changed
#   torn.exe         good.exe with one byte of the signature changed
#   untrusted.exe    signed under a root nobody trusts (self-signed)
#   expired.exe      signed with a certificate whose time has passed
#   serverauth.exe   signed with a certificate for servers, not for code
#   other.exe        signed with a code-signing certificate of "Other Studio"
#   codesign.pem, codesign.key  the good certificate and its key (for signing other programs)
# usage: make_signed_programs.sh PROGRAM OUT_DIR
set -euo pipefail
program=$1
out=$2
rm -rf "$out"
mkdir -p "$out/db"
cd "$out"
: >db/index.txt
echo 01 >db/serial
cat >ca.cnf <<CNF
[ca]
default_ca=test
[test]
dir=$out/db
database=\$dir/index.txt
serial=\$dir/serial
new_certs_dir=\$dir
certificate=$out/ca.pem
private_key=$out/ca.key
default_md=sha256
policy=anything
copy_extensions=none
unique_subject=no
default_days=30
[anything]
commonName=supplied
[root]
basicConstraints=critical,CA:TRUE
keyUsage=critical,keyCertSign,cRLSign
subjectKeyIdentifier=hash
[code]
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=codeSigning
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
[server]
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=serverAuth
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
[req]
distinguished_name=dn
[dn]
CNF
quiet() { "$@" >/dev/null 2>&1 || { echo "make_signed_programs: $1 failed" >&2; "$@" >&2; exit 1; }; }
quiet openssl req -config ca.cnf -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Vorla Test Root" \
    -extensions root -keyout ca.key -out ca.pem
openssl x509 -in ca.pem -outform DER -out ca.der
issue() {  # NAME SUBJECT EXTENSIONS [START END]
    quiet openssl req -config ca.cnf -newkey rsa:2048 -nodes -subj "/CN=$2" -keyout "$1.key" -out "$1.csr"
    local dates=()
    [ -n "${4:-}" ] && dates=(-startdate "$4" -enddate "$5")
    quiet openssl ca -batch -config ca.cnf -extensions "$3" "${dates[@]}" -in "$1.csr" -out "$1.pem"
}
issue codesign "Xingchen Games Ltd" code
issue expiredcert "Xingchen Games Ltd" code 20200101000000Z 20200201000000Z
issue servercert "Xingchen Games Ltd" server
issue othercert "Other Studio" code
quiet openssl req -config ca.cnf -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Xingchen Games Ltd" \
    -addext "extendedKeyUsage=codeSigning" -keyout selfcert.key -out selfcert.pem
sign() {  # CERT OUT
    quiet osslsigncode sign -h sha256 -certs "$1.pem" -key "$1.key" -n "Test" -in "$program" -out "$2"
}
cp "$program" unsigned.exe
sign codesign good.exe
sign selfcert untrusted.exe
sign expiredcert expired.exe
sign servercert serverauth.exe
sign othercert other.exe
python3 - good.exe <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
changed = bytearray(data)
changed[0x400] ^= 1  # inside the first section, covered by the signature
open("changed.exe", "wb").write(changed)
torn = bytearray(data)
torn[-300] ^= 1  # inside the signature
open("torn.exe", "wb").write(torn)
PY
rm -rf db ./*.csr
