#!/usr/bin/env python3
"""Conversion of a FLAC library to Opus: `brindlewave-cli convert --jobs 2 --to opus` of the
five corpus tracks as FLAC files, against opusenc (which reads FLAC itself) run on them one
after another at the same settings (128 kbit/s VBR, complexity 10). Both read the same FLAC
files; the figures are the median whole-run wall time of alternate runs. Ratio = ours /
opusenc; the goal is at most 0.6.

Usage: bench/convert_sources.py [--cli build/brindlewave-cli] [--corpus DIR] [--runs N]
"""
import argparse
import glob
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

OPTIONS_INI = """[OpusOptions]
Bitrate=128
Mode=0
Complexity=10
"""


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(cmds, env=None):
    """Runs the commands one after another; returns the wall and CPU time of them all."""
    start, cpu = time.monotonic(), children_cpu()
    for cmd in cmds:
        proc = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
        if proc.returncode != 0:
            sys.exit(f"failed ({proc.returncode}): {' '.join(cmd)}\n"
                     f"{proc.stderr.decode(errors='replace')}")
    return time.monotonic() - start, children_cpu() - cpu


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", default=os.path.join(ROOT, "build", "brindlewave-cli"))
    parser.add_argument("--corpus", default=os.environ.get("BW_CORPUS", "/work/corpus"))
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    tracks = sorted(glob.glob(os.path.join(args.corpus, "0[1-5]-*.wav")))
    if len(tracks) != 5:
        sys.exit(f"expected the five corpus tracks in {args.corpus}")
    with tempfile.TemporaryDirectory(prefix="bw-bench-") as work:
        config = os.path.join(work, "config", "Vellamor", "Brindlewave")
        os.makedirs(config)
        with open(os.path.join(config, "options.ini"), "w") as ini:
            ini.write(OPTIONS_INI)
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"))
        library = os.path.join(work, "library")
        os.makedirs(library)
        for track in tracks:
            name = os.path.splitext(os.path.basename(track))[0] + ".flac"
            subprocess.run(["flac", "-s", "-5", "-o", os.path.join(library, name), track],
                           check=True)
        flacs = sorted(glob.glob(os.path.join(library, "*.flac")))
        seconds = sum(float(subprocess.run(
            ["soxi", "-D", f], capture_output=True, text=True, check=True).stdout)
            for f in flacs)
        ours_cmd = [[args.cli, "convert", "--jobs", "2", "--force", "--to", "opus", "--output",
                     os.path.join(work, "ours"), *flacs]]
        ref_dir = os.path.join(work, "opusenc")
        os.makedirs(ref_dir)
        ref_cmds = [["opusenc", "--quiet", "--bitrate", "128", "--vbr", "--comp", "10", f,
                     os.path.join(ref_dir, os.path.basename(f)[:-5] + ".opus")] for f in flacs]
        ours, ref = [], []
        for _ in range(args.runs):
            ref.append(timed(ref_cmds))
            ours.append(timed(ours_cmd, env))
        # The outputs are checked, so that a fast run that wrote nothing cannot pass.
        for f in flacs:
            out = os.path.join(work, "ours", os.path.basename(f)[:-5] + ".opus")
            subprocess.run(["opusinfo", out], stdout=subprocess.DEVNULL, check=True)
        o, r = statistics.median(w for w, _ in ours), statistics.median(w for w, _ in ref)
        oc, rc = statistics.median(c for _, c in ours), statistics.median(c for _, c in ref)
        print(f"input: the five corpus tracks as FLAC, {seconds:.0f} s of audio; "
              f"median of {args.runs} alternate runs, wall time, {os.cpu_count()} processors")
        print(f"load average over the last minute of the runs: {os.getloadavg()[0]:.1f} (the ratio needs two "
              "idle processors)")
        print(f"{'task':44} {'wall s':>8} {'CPU s':>8}")
        print(f"{'brindlewave-cli convert --jobs 2 --to opus':44} {o:8.2f} {oc:8.2f}")
        print(f"{'opusenc, one file after another':44} {r:8.2f} {rc:8.2f}")
        print(f"CPU ratio ours / opusenc: {oc / rc:.3f}")
        print(f"ratio ours / opusenc: {o / r:.3f} (goal: at most 0.6)")
        return 0 if o / r <= 0.6 else 1


if __name__ == "__main__":
    sys.exit(main())
