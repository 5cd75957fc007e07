#!/usr/bin/env bash
# regsvr32 /u removes the classes, regsvr32 puts them back; both must report success.
#   regsvr32_roundtrip.sh WINE_RUN DLL
set -u
wine_run=$1 dll=$2
query() { "$wine_run" reg query "$1" >/dev/null 2>&1; }
"$wine_run" regsvr32 /s /u "$dll" || { echo "regsvr32 /u failed"; exit 1; }
if query 'HKCR\Sonvex.FourierTransform'; then echo "ProgID still registered after /u"; exit 1; fi
if query 'HKCR\CLSID\{F208B575-A8F3-4DBD-8B71-7488869D8693}'; then echo "CLSID still registered after /u"; exit 1; fi
"$wine_run" regsvr32 /s "$dll" || { echo "regsvr32 failed"; exit 1; }
query 'HKCR\Sonvex.FourierTransform' || { echo "ProgID missing after registering again"; exit 1; }
query 'HKCR\CLSID\{F208B575-A8F3-4DBD-8B71-7488869D8693}\InprocServer32' || { echo "server key missing"; exit 1; }
echo "regsvr32 /u and regsvr32: ok"
