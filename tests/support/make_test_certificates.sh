#!/bin/bash
# Makes the certificates the encryption tests use, in DIR: a test CA (ca.pem), a server certificate for
# localhost and 127.0.0.1 signed by it (server.pem, server.key), one signed by it for another host name
# (otherhost.pem, otherhost.key), and an unrelated CA (other-ca.pem) that must not be trusted for the server.
# Usage: make_test_certificates.sh DIR
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"
ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)

make_ca() {  # make_ca NAME SUBJECT
  openssl req -x509 "${ec[@]}" -keyout "$1.key" -out "$1.pem" -days 2 -subj "$2" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
}
make_server() {  # make_server NAME SUBJECT_ALT_NAMES
  openssl req "${ec[@]}" -keyout "$1.key" -out "$1.csr" -subj "/CN=$1" 2>/dev/null
  printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' "$2" > "$1.ext"
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -out "$1.pem" -days 2 \
    -extfile "$1.ext" 2>/dev/null
  rm -f "$1.csr" "$1.ext"
}

make_ca ca "/CN=Tavinor Test CA"
make_ca other-ca "/CN=Another Test CA"
make_server server "DNS:localhost,IP:127.0.0.1"
make_server otherhost "DNS:elsewhere.example"
