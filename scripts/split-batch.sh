#!/usr/bin/env bash
# Deals a list of files into PARTS lists for a run spread over several machines: part-001.list ...
# in OUTDIR, NUL-separated (any file name survives), the biggest files first and dealt round-robin
# so the parts take about as long. Each part is then converted on one node with the headless converter:
#   xargs -0 -a OUTDIR/part-001.list tavrelle-convert --ini tavrelle.ini --output out/
# Usage: find FOLDER -type f -iname '*.mkv' -print0 | scripts/split-batch.sh PARTS OUTDIR
set -euo pipefail
usage() { echo "usage: find ... -print0 | $0 PARTS OUTDIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
parts=$1; outdir=$2
[[ $parts =~ ^[1-9][0-9]*$ ]] || usage
mkdir -p "$outdir"
for ((k = 1; k <= parts; k++)); do : > "$(printf '%s/part-%03d.list' "$outdir" "$k")"; done
count=0
# Size, tab, name per record; sorted by size, biggest first.
while IFS=$'\t' read -r -d '' _size name; do
  k=$((count % parts + 1))
  printf '%s\0' "$name" >> "$(printf '%s/part-%03d.list' "$outdir" "$k")"
  count=$((count + 1))
done < <(xargs -0 -r stat --printf '%s\t%n\0' -- | sort -z -t$'\t' -k1,1nr)
echo "split-batch: $count files in $parts parts under $outdir" >&2
