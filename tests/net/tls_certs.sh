#!/usr/bin/env bash
# Test certificates in FOLDER (made with the openssl command, EC keys, so it
# takes milliseconds): ca.pem and ca.key, a test CA; server.key; good.pem for
# localhost, 127.0.0.1 and ::1; wrong.pem for another name; expired.pem,
# whose validity ended before it began to be used. All but the CA are signed
# by the CA. Messages of openssl go to FOLDER/openssl.log.
#
#   tests/net/tls_certs.sh FOLDER
set -euo pipefail
cd "$1"
exec >>openssl.log 2>&1
cat > good.ext <<'EXT'
subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1
basicConstraints=CA:FALSE
extendedKeyUsage=serverAuth
EXT
cat > wrong.ext <<'EXT'
subjectAltName=DNS:wrong.example
basicConstraints=CA:FALSE
extendedKeyUsage=serverAuth
EXT
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -keyout ca.key -out ca.pem -subj '/CN=Quorvane Test CA' -days 3650
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out server.key
openssl req -new -key server.key -subj /CN=localhost -out server.csr
sign() { openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -sha256 "$@"; }
sign -days 365 -extfile good.ext -out good.pem
sign -days 365 -extfile wrong.ext -out wrong.pem
# Valid from now until a day ago: expired from the start.
sign -days -1 -extfile good.ext -out expired.pem
