#!/usr/bin/env bash
# Writes the small MP3 files whose ReplayGain tags the tag reader's tests
# read, each tagged by a real tool, and expected.txt: what those tools said
# they wrote (one line a file: name, track gain, track peak, album gain,
# album peak; "-" where the file holds none). Needs lame, mp3gain, eyeD3 and
# id3v2 (Debian's). Run again only to change the fixtures; they are kept in
# the tree so that the tests need none of these tools.
#   tests/media/make_gain_fixtures.sh [FOLDER]
set -euo pipefail
out=${1:-$(cd "$(dirname "$0")" && pwd)/gain_fixtures}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 0.3 s of a 440 Hz stereo tone at the given amplitude (32767: full scale).
tone() {
  perl -e '
    my $a = $ARGV[0];
    my $n = int(44100 * 0.3);
    binmode STDOUT;
    print "RIFF", pack("V", 36 + 4 * $n), "WAVE", "fmt ", pack("VvvVVvv", 16, 1, 2, 44100, 4 * 44100, 4, 16),
      "data", pack("V", 4 * $n);
    for my $i (0 .. $n - 1) { my $s = int($a * sin(6.283185307179586 * 440 * $i / 44100)); print pack("s<*", $s, $s); }
  ' "$1"
}
tone 8000 >"$work/tone.wav"

# LAME's own analysis, in its header: the radio gain and the peak.
lame --quiet --replaygain-accurate -b 128 "$work/tone.wav" "$out/lame.mp3"
lame_gain=$(lame --replaygain-accurate -b 128 "$work/tone.wav" "$work/again.mp3" 2>&1 | sed -n 's/^ReplayGain: \(.*\)dB$/\1/p')
# mp3gain's peak, from its own decode, as a fraction of full scale.
mp3gain_row() { mp3gain -o -q "$1" | awk -F"\t" -v f="$1" '$1 == f { printf "%s %.6f\n", $3, $4 / 32768 }'; }
read -r tool_gain tool_peak < <(cp "$out/lame.mp3" "$work/probe.mp3" && mp3gain_row "$work/probe.mp3")

# mp3gain's APEv2 tag at the end: track figures, and album figures of an
# album whose other file is 6 dB louder.
cp "$out/lame.mp3" "$out/mp3gain.mp3"
tone 16000 >"$work/louder.wav"
lame --quiet -b 128 "$work/louder.wav" "$work/louder.mp3"
read -r album_gain album_peak < <(mp3gain -o -q "$out/mp3gain.mp3" "$work/louder.mp3" |
  awk -F"\t" '$1 == "\"Album\"" { printf "%s %.6f\n", $3, $4 / 32768 }')

# eyeD3's ID3v2.4 TXXX frames, names in any case, over LAME's header.
cp "$out/lame.mp3" "$out/eyed3_v24.mp3"
eyeD3 -Q --to-v2.4 --user-text-frame="replaygain_track_gain:-6.54 dB" \
  --user-text-frame="Replaygain_Album_Gain:+3.00 dB" --user-text-frame="REPLAYGAIN_ALBUM_PEAK:0.5" \
  "$out/eyed3_v24.mp3" >/dev/null

# id3v2's ID3v2.3 frame and ID3v1 tag, then mp3gain's APEv2 tag, which it
# puts before the ID3v1 tag: the ID3v2 track gain beats the APEv2 one.
cp "$out/lame.mp3" "$out/id3v23_ape.mp3"
id3v2 --TXXX "REPLAYGAIN_TRACK_GAIN:-1.25 dB" "$out/id3v23_ape.mp3"
mp3gain -q "$out/id3v23_ape.mp3" >/dev/null

# LAME's header with a byte of its tag changed: its CRC no longer holds.
cp "$out/lame.mp3" "$out/lame_bad_crc.mp3"
printf '\x01' | dd of="$out/lame_bad_crc.mp3" bs=1 seek=$((36 + 120 + 10)) conv=notrunc status=none

{
  echo "lame.mp3 $lame_gain $tool_peak - -"
  echo "mp3gain.mp3 $tool_gain $tool_peak $album_gain $album_peak"
  echo "eyed3_v24.mp3 -6.54 $tool_peak 3.00 0.5"
  echo "id3v23_ape.mp3 -1.25 $tool_peak - -"
  echo "lame_bad_crc.mp3 - - - -"
} >"$out/expected.txt"
