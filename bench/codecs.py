#!/usr/bin/env python3
"""Encoder benchmark: brindlewave-cli convert against the reference command-line tools.

On one 10-minute WAV of real music (from the shared corpus) each pair runs at the same
settings, alternately, several times; the figures are the median whole-process wall time
and the peak resident memory. Ratio = ours / reference; the goal is at most 1.05.

Usage: bench/codecs.py [--cli build/brindlewave-cli] [--corpus DIR] [--runs N]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

OPTIONS_INI = """[Mp3Options]
IsSelectVBR=0
ConstantBitRate=5
StereoMode=1
CPU=3
[OggOptions]
IsUseCompress=1
CompressPosition=30
[FLACOptions]
Compression=5
"""


def run(cmd, env=None):
    """Runs cmd; returns (wall seconds, peak RSS in KiB)."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit(f"failed ({code}): {' '.join(cmd)}\n{err}")
    return wall, usage.ru_maxrss


def make_input(corpus, work):
    """The first 600 s of the corpus tracks, one after another."""
    script = os.environ.get("BW_CORPUS_SCRIPT", "/work/shared/corpus/make-corpus.sh")
    subprocess.run([script, corpus], check=True, stdout=subprocess.DEVNULL)
    tracks = sorted(os.path.join(corpus, f) for f in os.listdir(corpus)
                    if f[:2].isdigit() and f.endswith(".wav"))
    wav = os.path.join(work, "ten-minutes.wav")
    subprocess.run(["sox", "-R", "-D", "-V1", *tracks, wav, "trim", "0", "600"], check=True)
    return wav


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default=os.path.join(ROOT, "build", "brindlewave-cli"))
    parser.add_argument("--corpus", default=os.path.join(tempfile.gettempdir(), "bw-corpus"))
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="bw-bench-") as work:
        wav = make_input(args.corpus, work)
        config = os.path.join(work, "config")
        os.makedirs(os.path.join(config, "Vellamor", "Brindlewave"))
        with open(os.path.join(config, "Vellamor", "Brindlewave", "options.ini"), "w") as f:
            f.write(OPTIONS_INI)
        env = dict(os.environ, XDG_CONFIG_HOME=config)
        out = lambda name: os.path.join(work, name)
        cli = args.cli
        pairs = [
            ("MP3 128 kbit/s CBR",
             [cli, "convert", "--to", "mp3", "-o", out("ours.mp3"), wav],
             ["lame", "--quiet", "-b", "128", "-q", "5", wav, out("ref.mp3")]),
            ("FLAC level 5",
             [cli, "convert", "--to", "flac", "-o", out("ours.flac"), wav],
             ["flac", "-s", "-f", "-5", "-o", out("ref.flac"), wav]),
            ("Ogg Vorbis q 0.2",
             [cli, "convert", "--to", "ogg", "-o", out("ours.ogg"), wav],
             ["oggenc", "-Q", "-q", "2", "-o", out("ref.ogg"), wav]),
            ("Resample 44100->22050 best",
             [cli, "convert", "--to", "resample", "--rate", "22050", "-o", out("ours.wav"), wav],
             ["sndfile-resample", "-to", "22050", "-c", "0", wav, out("ref.wav")]),
        ]
        print(f"input: 600 s, 44100 Hz stereo 16-bit; median of {args.runs} runs each")
        print(f"{'task':30} {'ours s':>8} {'ref s':>8} {'ratio':>6} {'ours MiB':>9} {'ref MiB':>8}")
        worst = 0.0
        for name, ours_cmd, ref_cmd in pairs:
            ours, ref = [], []
            for _ in range(args.runs):  # alternate, so that load drifts hit both alike
                ours.append(run(ours_cmd, env))
                ref.append(run(ref_cmd, env))
            o = statistics.median(t for t, _ in ours)
            r = statistics.median(t for t, _ in ref)
            om = max(m for _, m in ours) / 1024
            rm = max(m for _, m in ref) / 1024
            worst = max(worst, o / r)
            print(f"{name:30} {o:8.2f} {r:8.2f} {o / r:6.3f} {om:9.1f} {rm:8.1f}")
        print(f"worst ratio {worst:.3f} (goal <= 1.05)")


if __name__ == "__main__":
    main()
