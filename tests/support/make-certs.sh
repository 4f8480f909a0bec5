#!/usr/bin/env bash
# Makes a throw-away certificate authority and a server certificate signed by
# it, for tests and the demo:   make-certs.sh OUTDIR HOST
# Writes OUTDIR/ca.pem, OUTDIR/server.pem (certificate) and OUTDIR/server.key.
# The server certificate names HOST, localhost and 127.0.0.1.
set -euo pipefail
out=$1 host=$2
mkdir -p "$out"
cd "$out"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=qor-config test CA" \
  -keyout ca.key -out ca.pem -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=$host" -keyout server.key -out server.csr 2>/dev/null
cat > server.ext <<EXT
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:$host,DNS:localhost,IP:127.0.0.1
EXT
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
  -extfile server.ext -out server.pem 2>/dev/null
rm -f server.csr server.ext ca.srl
