#!/usr/bin/env python3
"""Encoder benchmark: brindlewave-cli convert against the reference command-line tools.

On one 10-minute WAV of real music (from the shared corpus) each pair runs at the same
settings, alternately, several times; the figures are the median whole-process wall time
and CPU time (user + system) and the peak resident memory. Ratio = ours / reference; the
goal is at most 1.05.

Usage: bench/codecs.py [--cli build/brindlewave-cli] [--corpus DIR] [--runs N] [--only TEXT]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile

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
[OpusOptions]
Bitrate=128
Mode=0
Complexity=10
"""


def run(cmd, env=None):
    """Runs cmd under GNU time; returns (wall s, CPU s = user + system, peak RSS KiB)."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as figures:
        timed = ["/usr/bin/time", "-o", figures.name, "-f", "%e %U %S %M", *cmd]
        proc = subprocess.run(timed, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                              env=env)
        if proc.returncode != 0:
            sys.exit(f"failed ({proc.returncode}): {' '.join(cmd)}\n"
                     f"{proc.stderr.decode(errors='replace')}")
        wall, user, system, rss = figures.read().split()[-4:]
    return float(wall), float(user) + float(system), int(rss)


def compare(pairs, runs, env, only, reference):
    """Runs each (name, ours, reference) pair alternately and prints the medians."""
    print(f"input: 600 s, 44100 Hz stereo 16-bit; median of {runs} runs each")
    print(f"ratio = ours / {reference}; CPU = user + system time, steadier than wall time")
    print("on a machine shared with other work")
    print(f"{'task':28} {'ours s':>7} {'ref s':>7} {'wall':>6} {'ours CPU':>8} "
          f"{'ref CPU':>8} {'CPU':>6} {'ours MiB':>8} {'ref MiB':>8}")
    worst = 0.0
    for name, ours_cmd, ref_cmd in pairs:
        if only.lower() not in name.lower():
            continue
        ours, ref = [], []
        for _ in range(runs):  # alternate, so that load drifts hit both alike
            ours.append(run(ours_cmd, env))
            ref.append(run(ref_cmd, env))
        med = lambda rows, i: statistics.median(row[i] for row in rows)
        ow, rw, oc, rc = med(ours, 0), med(ref, 0), med(ours, 1), med(ref, 1)
        om = max(row[2] for row in ours) / 1024
        rm = max(row[2] for row in ref) / 1024
        worst = max(worst, oc / rc)
        print(f"{name:28} {ow:7.2f} {rw:7.2f} {ow / rw:6.3f} {oc:8.2f} {rc:8.2f} "
              f"{oc / rc:6.3f} {om:8.1f} {rm:8.1f}", flush=True)
    print(f"worst CPU ratio {worst:.3f} (goal <= 1.05)")


def settings_env(work, options_ini):
    """An environment whose settings file (in work) holds options_ini."""
    config = os.path.join(work, "config")
    os.makedirs(os.path.join(config, "Vellamor", "Brindlewave"))
    with open(os.path.join(config, "Vellamor", "Brindlewave", "options.ini"), "w") as f:
        f.write(options_ini)
    return dict(os.environ, XDG_CONFIG_HOME=config)


def make_input(corpus, work):
    """The first 600 s of the corpus tracks, one after another."""
    script = os.environ.get("BW_CORPUS_SCRIPT", "/work/shared/corpus/make-corpus.sh")
    subprocess.run([script, corpus], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    tracks = sorted(os.path.join(corpus, f) for f in os.listdir(corpus)
                    if f[:2].isdigit() and f.endswith(".wav"))
    wav = os.path.join(work, "ten-minutes.wav")
    subprocess.run(["sox", "-R", "-D", "-V1", *tracks, wav, "trim", "0", "600"], check=True)
    return wav


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default=os.path.join(ROOT, "build", "brindlewave-cli"))
    parser.add_argument("--corpus", default=os.path.join(tempfile.gettempdir(), "bw-corpus"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--only", default="", help="run only the tasks whose name has this")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="bw-bench-") as work:
        wav = make_input(args.corpus, work)
        env = settings_env(work, OPTIONS_INI)
        out = lambda name: os.path.join(work, name)
        cli = args.cli
        pairs = [
            ("MP3 128 kbit/s CBR",
             [cli, "convert", "--force", "--to", "mp3", "-o", out("ours"), wav],
             ["lame", "--quiet", "-b", "128", "-q", "5", wav, out("ref.mp3")]),
            ("FLAC level 5",
             [cli, "convert", "--force", "--to", "flac", "-o", out("ours"), wav],
             ["flac", "-s", "-f", "-5", "-o", out("ref.flac"), wav]),
            ("Ogg Vorbis q 0.2",
             [cli, "convert", "--force", "--to", "ogg", "-o", out("ours"), wav],
             ["oggenc", "-Q", "-q", "2", "-o", out("ref.ogg"), wav]),
            ("Opus 128 kbit/s VBR comp 10",
             [cli, "convert", "--force", "--to", "opus", "-o", out("ours"), wav],
             ["opusenc", "--quiet", "--bitrate", "128", "--comp", "10", wav, out("ref.opus")]),
            ("Resample 44100->22050 best",
             [cli, "convert", "--force", "--to", "resample", "--rate", "22050", "-o", out("ours"),
              wav],
             ["sndfile-resample", "-to", "22050", "-c", "0", wav, out("ref.wav")]),
        ]
        compare(pairs, args.runs, env, args.only, "reference")

if __name__ == "__main__":
    main()
