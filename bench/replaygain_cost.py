#!/usr/bin/env python3
"""What measuring ReplayGain costs a conversion, format by format and level by level.

brindlewave-cli convert runs with the default settings (ReplayGain measured) and with
ReplayGain off, on one file and on two files with --jobs 2; beside them, in the same run, the
reference encoders at the same settings: flac -N and flac -N --replay-gain, oggenc, opusenc
and lame (for two files, two of them at once). Runs alternate, so that load drifts hit all
alike; the figures are medians of wall time and CPU time (user + system). The goal: ReplayGain
on costs at most 1.05 times ReplayGain off, and FLAC stays faster than flac --replay-gain.

Usage: bench/replaygain_cost.py [--cli build/brindlewave-cli] [--corpus DIR] [--runs N]
                                [--flac-levels "0 2 5 8"] [--only TEXT] [--seconds S]
"""
import argparse
import importlib.util
import os
import shutil
import statistics
import subprocess
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
_spec = importlib.util.spec_from_file_location("bw_codecs_bench",
                                               os.path.join(ROOT, "bench", "codecs.py"))
bench = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(bench)


def settings(work, name, replaygain, extra):
    """The environment of a settings file with ReplayGain on or off and the extra lines (first,
    as the first of a key's lines is the one read)."""
    return bench.settings_env(os.path.join(work, name),
                              extra + bench.OPTIONS_INI + f"[Tags]\nReplayGain={int(replaygain)}\n")


def timed(cmds, env):
    """Runs the commands at once; (wall s, CPU s) of the whole."""
    if len(cmds) == 1:
        wall, cpu, _ = bench.run(cmds[0], env)
        return wall, cpu
    script = " & ".join(subprocess.list2cmdline(c) for c in cmds) + " & wait"
    wall, cpu, _ = bench.run(["sh", "-c", script], env)
    return wall, cpu


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default=os.path.join(ROOT, "build", "brindlewave-cli"))
    parser.add_argument("--corpus", default=os.environ.get("BW_CORPUS", "/work/corpus"))
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--flac-levels", default="0 2 5 8")
    parser.add_argument("--only", default="", help="run only the tasks whose name has this")
    parser.add_argument("--seconds", type=int, default=600, help="of the input's audio")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="bw-rg-bench-") as work:
        full = bench.make_input(args.corpus, work)
        one = os.path.join(work, "a.wav")
        subprocess.run(["sox", "-V1", full, one, "trim", "0", str(args.seconds)], check=True)
        two = os.path.join(work, "b.wav")
        shutil.copy(one, two)
        out = lambda name: os.path.join(work, name)
        cli = args.cli
        # (name, format, extra settings, [(peer name, peer command for input, output)])
        tasks = []
        for level in args.flac_levels.split():
            tasks.append((f"FLAC level {level}", "flac", f"[FLACOptions]\nCompression={level}\n",
                          [(f"flac -{level}",
                            lambda i, o, l=level: ["flac", "-s", "-f", f"-{l}", "-o", o, i]),
                           (f"flac -{level} --replay-gain",
                            lambda i, o, l=level: ["flac", "-s", "-f", f"-{l}", "--replay-gain",
                                                   "-o", o, i])]))
        tasks += [
            ("Ogg Vorbis", "ogg", "",
             [("oggenc -q 2", lambda i, o: ["oggenc", "-Q", "-q", "2", "-o", o, i])]),
            ("Opus 128 kbit/s", "opus", "",
             [("opusenc", lambda i, o: ["opusenc", "--quiet", "--bitrate", "128", "--comp", "10",
                                       i, o])]),
            ("MP3 128 kbit/s", "mp3", "",
             [("lame", lambda i, o: ["lame", "--quiet", "-b", "128", "-q", "5", i, o])]),
            ("APE", "ape", "", []),
            ("WAV", "wav", "", []),
        ]
        load = open("/proc/loadavg").read().split()[:3]
        print(f"input: {args.seconds} s of 44100 Hz stereo 16-bit real music; median of "
              f"{args.runs} runs; load average at start {' '.join(load)} on "
              f"{os.cpu_count()} processors")
        print("on/off = ReplayGain measured / not measured; peer ratio = ours (ReplayGain "
              "measured) / peer; CPU = user + system time")
        print(f"{'task':20} {'files':>5} {'on s':>6} {'off s':>6} {'on/off':>6} {'on CPU':>7} "
              f"{'off CPU':>7} {'on/off':>6}  peers: wall and CPU ratio")
        worst = 0.0
        for number, (name, fmt, extra, peers) in enumerate(tasks):
            if args.only.lower() not in name.lower():
                continue
            env_on = settings(work, f"on{number}", True, extra)
            env_off = settings(work, f"off{number}", False, extra)
            for files in ([one], [one, two]):
                ours = lambda: [[cli, "-q", "convert", "--force", "--jobs", str(len(files)),
                                 "--to", fmt, "-o", out("ours"), *files]]
                rows = {"on": [], "off": []}
                peer_rows = {p: [] for p, _ in peers}
                for _ in range(args.runs):
                    rows["on"].append(timed(ours(), env_on))
                    rows["off"].append(timed(ours(), env_off))
                    for peer, make in peers:
                        cmds = [make(f, out(f"peer{n}.{fmt}")) for n, f in enumerate(files)]
                        peer_rows[peer].append(timed(cmds, env_off))
                med = lambda r, i: statistics.median(x[i] for x in r)
                on_w, off_w = med(rows["on"], 0), med(rows["off"], 0)
                on_c, off_c = med(rows["on"], 1), med(rows["off"], 1)
                worst = max(worst, on_c / off_c)
                peer_text = "  ".join(
                    f"{p}: {on_w / med(r, 0):.2f} {on_c / med(r, 1):.2f}"
                    for p, r in peer_rows.items())
                print(f"{name:20} {len(files):5} {on_w:6.2f} {off_w:6.2f} {on_w / off_w:6.3f} "
                      f"{on_c:7.2f} {off_c:7.2f} {on_c / off_c:6.3f}  {peer_text}", flush=True)
        load = open("/proc/loadavg").read().split()[:3]
        print(f"worst CPU on/off {worst:.3f} (goal <= 1.05); load average at the end "
              f"{' '.join(load)}")


if __name__ == "__main__":
    main()
