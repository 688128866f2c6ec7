#!/usr/bin/env python3
"""WMA and MP3 benchmark: brindlewave-cli convert against FFmpeg's own command line.

On one 10-minute WAV of real music (from the shared corpus): WAV to WMA at 128 kbit/s
against `ffmpeg -c:a wmav2 -b:a 128k`, MP3 to WAV and WMA to WAV against `ffmpeg -i in
out.wav`. Each pair runs alternately several times; the figures are the median wall and CPU
time (user + system) and the peak resident memory. Ratio = ours / FFmpeg; the goal is at
most 1.05.

Usage: bench/media.py [--cli build/brindlewave-cli] [--corpus DIR] [--runs N] [--only TEXT]
"""
import argparse
import importlib.util
import os
import subprocess
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The timing and corpus helpers of the encoder benchmark (loaded by path: its module name is
# also the standard library's).
_spec = importlib.util.spec_from_file_location("bw_bench_codecs",
                                               os.path.join(ROOT, "bench", "codecs.py"))
_codecs = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(_codecs)
compare, make_input = _codecs.compare, _codecs.make_input

# Codec 0 (Windows Media Audio 2), format 29: 128 kbit/s, 44 kHz, stereo.
OPTIONS_INI = """[WMAOptions]
CodecIndex=0
FormatIndex=29
VBR=0
"""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default=os.path.join(ROOT, "build", "brindlewave-cli"))
    parser.add_argument("--corpus", default="/work/corpus")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--only", default="", help="run only the tasks whose name has this")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="bw-bench-media-") as work:
        wav = make_input(args.corpus, work)
        env = _codecs.settings_env(work, OPTIONS_INI)
        out = lambda name: os.path.join(work, name)
        mp3, wma = out("music.mp3"), out("music.wma")
        subprocess.run(["lame", "--quiet", "-b", "192", wav, mp3], check=True)
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", wav, "-c:a", "wmav2",
                        "-b:a", "128k", wma], check=True)
        cli = args.cli
        ffmpeg = ["ffmpeg", "-nostdin", "-v", "error", "-y", "-i"]
        pairs = [
            ("WAV to WMA 128 kbit/s",
             [cli, "convert", "--force", "--to", "wma", "-o", out("ours"), wav],
             ffmpeg + [wav, "-c:a", "wmav2", "-b:a", "128k", out("ref.wma")]),
            ("MP3 to WAV",
             [cli, "convert", "--force", "--to", "wav", "-o", out("ours"), mp3],
             ffmpeg + [mp3, out("ref.wav")]),
            ("WMA to WAV",
             [cli, "convert", "--force", "--to", "wav", "-o", out("ours"), wma],
             ffmpeg + [wma, out("ref.wav")]),
        ]
        compare(pairs, args.runs, env, args.only, "FFmpeg")

if __name__ == "__main__":
    main()
