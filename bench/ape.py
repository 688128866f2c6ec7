#!/usr/bin/env python3
"""APE encoder benchmark: our libMACDll.so (through bench/ApeEncode.cpp, build/ape-encode)
against jmac (Debian's libjmac-java, a Java port of the Monkey's Audio codec) at the same
level, and against `flac -8`, on the corpus's real music, all in one run.

Every track is encoded at levels 1000-4000 by both, alternately, --runs times; the figures
are the median wall and CPU (user + system) time, the peak resident memory, the file sizes,
and whether our file is byte-identical to jmac's. Every one of our files is decoded by
FFmpeg with the frame CRC check on and must give the source PCM exactly.

Goals: size within 0.1 % of jmac's, at least 1.5 times faster than jmac at every level,
level 2000 smaller than flac -8.

Usage: bench/ape.py [--build build] [--corpus /work/corpus] [--runs 3] [--tracks N]
"""
import argparse
import glob
import hashlib
import os
import statistics
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def run(cmd):
    """Runs cmd under GNU time; returns (wall s, CPU s, peak RSS KiB)."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as figures:
        timed = ["/usr/bin/time", "-o", figures.name, "-f", "%e %U %S %M", *cmd]
        proc = subprocess.run(timed, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE)
        if proc.returncode != 0:
            sys.exit(f"failed ({proc.returncode}): {' '.join(cmd)}\n{proc.stderr.decode()}")
        wall, user, system, rss = figures.read().split()[-4:]
        return float(wall), float(user) + float(system), int(rss)


def pcm_md5(path, check_crc=False):
    cmd = ["ffmpeg", "-nostdin", "-v", "error"]
    if check_crc:
        cmd += ["-err_detect", "crccheck+explode"]
    cmd += ["-i", path, "-f", "s16le", "-"]
    proc = subprocess.run(cmd, stdin=subprocess.DEVNULL, capture_output=True)
    if proc.returncode != 0 or proc.stderr:
        sys.exit(f"ffmpeg failed on {path}: {proc.stderr.decode()}")
    return hashlib.md5(proc.stdout).hexdigest()


def median_runs(runs, cmd, before=None):
    figures = []
    for _ in range(runs):
        if before:
            before()
        figures.append(run(cmd))
    return (statistics.median(f[0] for f in figures), statistics.median(f[1] for f in figures),
            max(f[2] for f in figures))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--corpus", default="/work/corpus")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--tracks", type=int, default=0, help="only the first N tracks")
    parser.add_argument("--levels", default="1,2,3,4")
    args = parser.parse_args()

    ours = os.path.join(args.build, "ape-encode")
    if not os.path.exists(ours):
        sys.exit(f"build {ours} first (cmake --build build --target ape-encode)")
    tracks = sorted(glob.glob(os.path.join(args.corpus, "[0-9]*.wav")))
    if args.tracks:
        tracks = tracks[:args.tracks]
    if not tracks:
        sys.exit(f"no corpus tracks in {args.corpus}")
    levels = [int(l) for l in args.levels.split(",")]

    totals = {}
    tmp = tempfile.mkdtemp(prefix="bw-ape-bench-")
    print(f"{'track':38} {'level':>5} {'ours s':>7} {'jmac s':>7} {'speed':>6} "
          f"{'ours CPU':>8} {'jmac CPU':>8} {'ours MB':>9} {'jmac MB':>9} {'size':>8} "
          f"{'RSS MB':>6} same")
    for track in tracks:
        name = os.path.basename(track)[:38]
        source = pcm_md5(track)
        for level in levels:
            mine = os.path.join(tmp, "ours.ape")
            theirs = os.path.join(tmp, "jmac.ape")
            remove = lambda: os.path.exists(theirs) and os.remove(theirs)  # jmac never truncates
            o = j = None
            # Alternate, so that a change of machine load falls on both.
            ow, oc, orss, jw, jc = [], [], 0, [], []
            for _ in range(args.runs):
                w, c, r = run([ours, f"-c{level}000", track, mine])
                ow.append(w), oc.append(c)
                orss = max(orss, r)
                remove()
                w, c, _ = run(["jmac", f"c{level}", track, theirs])
                jw.append(w), jc.append(c)
            o = (statistics.median(ow), statistics.median(oc))
            j = (statistics.median(jw), statistics.median(jc))
            if pcm_md5(mine, check_crc=True) != source:
                sys.exit(f"{name} level {level}: our file does not decode to the source")
            osize, jsize = os.path.getsize(mine), os.path.getsize(theirs)
            with open(mine, "rb") as a, open(theirs, "rb") as b:
                same = a.read() == b.read()
            t = totals.setdefault(level, [0, 0, 0, 0, 0, 0])
            for i, v in enumerate((o[0], j[0], o[1], j[1], osize, jsize)):
                t[i] += v
            print(f"{name:38} {level * 1000:5} {o[0]:7.2f} {j[0]:7.2f} {j[0] / o[0]:5.2f}x "
                  f"{o[1]:8.2f} {j[1]:8.2f} {osize / 1e6:9.3f} {jsize / 1e6:9.3f} "
                  f"{100 * (osize - jsize) / jsize:+7.3f}% {orss / 1024:6.1f} "
                  f"{'yes' if same else 'NO'}", flush=True)

    flac_wall = flac_cpu = flac_size = 0
    for track in tracks:
        out = os.path.join(tmp, "out.flac")
        w, c, _ = median_runs(args.runs, ["flac", "-8", "-s", "-f", "-o", out, track])
        flac_wall += w
        flac_cpu += c
        flac_size += os.path.getsize(out)

    print("\nWhole corpus (sum of medians):")
    print(f"{'level':>5} {'ours s':>7} {'jmac s':>7} {'wall ratio':>10} {'CPU ratio':>9} "
          f"{'ours MB':>9} {'jmac MB':>9} {'size':>8}")
    for level, (ow, jw, oc, jc, os_, js) in sorted(totals.items()):
        print(f"{level * 1000:5} {ow:7.2f} {jw:7.2f} {jw / ow:9.2f}x {jc / oc:8.2f}x "
              f"{os_ / 1e6:9.3f} {js / 1e6:9.3f} {100 * (os_ - js) / js:+7.3f}%")
    print(f"flac -8: {flac_wall:.2f} s wall, {flac_cpu:.2f} s CPU, {flac_size / 1e6:.3f} MB")
    if 2 in totals:
        print(f"level 2000 against flac -8: size {100 * (totals[2][4] - flac_size) / flac_size:+.2f}%, "
              f"time ratio (flac / ours) {flac_wall / totals[2][0]:.2f}")
    for f in glob.glob(os.path.join(tmp, "*")):
        os.remove(f)
    os.rmdir(tmp)


if __name__ == "__main__":
    main()
