#!/bin/sh
# Builds the package archives that the extraction tests read, with 7-Zip,
# the tool vendors make their packages with. Usage: make_7z_fixtures.sh OUTDIR
set -eu
out=$1
rm -rf "$out"
mkdir -p "$out/pkg/sub/deeper"
cd "$out/pkg"
seq 1 6000 | sed 's/.*/line & of the package text, which compresses well/' > readme.txt
head -c 100000 /dev/urandom > sub/deeper/data.bin
: > sub/empty.txt
echo "stored read-only" > readonly.txt
chmod 444 readonly.txt
7z a -tzip -p402718 -mem=AES256 ../aes256.zip . > /dev/null
7z a -tzip -p402718 -mem=AES128 ../aes128.zip . > /dev/null
7z a -tzip -p402718 -mem=AES256 -mx=0 ../aes256_stored.zip . > /dev/null
7z a -tzip -p402718 -mem=ZipCrypto ../zipcrypto.zip . > /dev/null
