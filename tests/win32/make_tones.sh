#!/usr/bin/env bash
# Writes the tone files the Windows media control tests play into the folder
# given: a 440 Hz tone, 16-bit PCM written by perl and encoded by lame, which
# records its delay and padding in the file's Info frame.
#   tone-RATE-CHANNELS-MILLISECONDS.mp3
set -euo pipefail
out=$1
mkdir -p "$out"
tone() { # RATE CHANNELS MILLISECONDS KBITS
  local file="$out/tone-$1-$2-$3.mp3"
  [ -s "$file" ] && return 0
  perl -e '
    my ($rate, $channels, $ms) = @ARGV;
    my $n = int($rate * $ms / 1000);
    binmode STDOUT;
    print "RIFF", pack("V", 36 + 2 * $channels * $n), "WAVE", "fmt ",
      pack("VvvVVvv", 16, 1, $channels, $rate, 2 * $channels * $rate, 2 * $channels, 16),
      "data", pack("V", 2 * $channels * $n);
    for my $i (0 .. $n - 1) {
      my $s = int(8000 * sin(6.283185307179586 * 440 * $i / $rate));
      print pack("s<*", ($s) x $channels);
    }' "$1" "$2" "$3" >"$file.wav"
  lame --quiet -b "$4" "$file.wav" "$file.part"
  rm -f "$file.wav"
  mv "$file.part" "$file"
}
tone 44100 1 1000 64
tone 44100 2 500 128
tone 48000 2 1000 128
tone 48000 1 500 64
tone 44100 1 300 64
tone 44100 1 3000 64
tone 44100 1 6000 64
tone 44100 1 30000 64
