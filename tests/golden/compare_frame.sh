#!/usr/bin/env bash
# Renders demo frame N with kxsnapshot and compares it byte for byte with the
# reference image; further options (--hold KEYS, --threads N) go to
# kxsnapshot.
#   compare_frame.sh KXSNAPSHOT N REFERENCE.bmp OUT_DIR [OPTION...]
set -eu
snapshot=$1 frames=$2 reference=$3 out=$4/$(basename "$3")
mkdir -p "$4"
shift 4
"$snapshot" --frames "$frames" "$@" --out "$out"
if ! cmp "$out" "$reference"; then
  echo "frame $frames differs from $reference (rendered: $out)"
  exit 1
fi
