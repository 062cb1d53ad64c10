#!/usr/bin/env bash
# Runs a program that draws an image and compares the image byte for byte
# with its reference:
#   compare_image.sh REFERENCE.bmp OUT PROGRAM ARGUMENT...
# The argument OUT is replaced by the path OUT. KX_RUNNER, when set, is the
# command that runs the program (an emulator such as qemu-aarch64 -L ...).
set -u
reference=$1 out=$2 program=$3
shift 3
arguments=()
for argument in "$@"; do
  [ "$argument" = OUT ] && argument=$out
  arguments+=("$argument")
done
rm -f "$out"
# shellcheck disable=SC2086
if ! ${KX_RUNNER:-} "$program" "${arguments[@]}" >/dev/null; then
  echo "$(basename "$program") $*: failed"
  exit 1
fi
if ! cmp -s "$out" "$reference"; then
  echo "$(basename "$program") $*: the image differs from $reference (drawn: $out)"
  exit 1
fi
