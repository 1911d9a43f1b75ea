"""Runs the fetchers of bench/http/run and prints the comparison.

Called by with-nginx, which provides HALVORA_NGINX_URL, HALVORA_NGINX_ROOT and
HALVORA_TEST_WORKDIR. Wine variants are timed inside the Windows process
(transfer only, not Wine's start); the CPU that wineserver spends meanwhile
is shown apart. curl is timed from here.

Exits 0 when everything was measured, whether the goals were met or not;
non-zero only when something could not be measured. Leaves no Wine process
behind: the prefix's server is stopped at the end, and no Wine process gets
this script's standard output or error.
"""
import os
import resource
import statistics
import subprocess
import sys
import time

exe, wine_run, reps, pauses = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
url = os.environ["HALVORA_NGINX_URL"] + "interop.bin"
slow_url = os.environ["HALVORA_NGINX_URL"] + "slow/interop.bin"
work = os.environ["HALVORA_TEST_WORKDIR"]
size = os.path.getsize(os.path.join(os.environ["HALVORA_NGINX_ROOT"], "interop.bin"))
MB = 1 << 20
SPEED_GOAL = 0.95  # DownloadHttpFile against the bare loop with 64 KiB reads
PAUSE_GOAL_MS = 200.0  # every pause, from the request to the return

root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
prefix = os.environ.get("HALVORA_WINEPREFIX", os.path.join(root, "build", "wineprefix"))
wine_env = dict(os.environ, WINEPREFIX=prefix)


def wineserver(*args):
    """Runs `wineserver ARGS` for the prefix with no inherited output."""
    return subprocess.run(["wineserver", *args], env=wine_env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode


def wineserver_cpu():
    """CPU seconds of the running wineserver processes."""
    total = 0.0
    tick = os.sysconf("SC_CLK_TCK")
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            with open(f"/proc/{pid}/comm") as f:
                comm = f.read().strip()
        except OSError:
            continue
        if comm.startswith("wineserver"):
            total += (int(fields[11]) + int(fields[12])) / tick
    return total


def run_curl():
    """One process per run; CPU and peak memory from the children's usage."""
    runs = []
    for _ in range(reps):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        t0 = time.monotonic()
        subprocess.run(["curl", "-s", "-o", os.path.join(work, "curl.bin"), url], check=True,
                       stdin=subprocess.DEVNULL)
        seconds = time.monotonic() - t0
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        runs.append((seconds, cpu, after.ru_maxrss * 1024))
        if os.path.getsize(os.path.join(work, "curl.bin")) != size:
            raise RuntimeError("curl fetched a file of the wrong size")
    return runs


def run_wine():
    """One Windows process runs every variant. A persistent wineserver is
    started first so its CPU can be read before and after; it is stopped in
    main(). The program's output goes through files: Wine's helper processes
    inherit the standard handles and outlive the program."""
    wine_work = "Z:" + work.replace("/", "\\")
    # Exit status 2 means one already runs for this prefix, which serves as well.
    wineserver("-p", "10")
    ws0 = wineserver_cpu()
    results = os.path.join(work, "wine-results.txt")
    errors = os.path.join(work, "wine-errors.txt")
    with open(results, "w") as out_file, open(errors, "w") as err_file:
        rc = subprocess.run([wine_run, exe, url, slow_url, wine_work, str(reps), str(pauses)],
                            stdin=subprocess.DEVNULL, stdout=out_file, stderr=err_file).returncode
    ws1 = wineserver_cpu()
    with open(results) as f:
        out = f.read()
    if rc != 0:
        with open(errors) as f:
            sys.stderr.write(f.read())
        raise RuntimeError(f"http_bench exited with {rc}")
    runs = {"bare-512": [], "bare-65536": [], "bare-available": [], "download": []}
    pause_ms = []
    peak = 0
    for line in out.splitlines():
        parts = line.split()
        if parts[0] == "peak":
            peak = int(parts[1])
        elif parts[0] == "pause":
            pause_ms.append(float(parts[1]))
        else:
            if int(parts[1]) != size:
                raise RuntimeError(f"wrong size: {line}")
            runs[parts[0]].append((float(parts[2]), float(parts[3])))
    if any(len(r) != reps for r in runs.values()) or len(pause_ms) != pauses:
        raise RuntimeError("http_bench printed fewer runs than asked for")
    return runs, pause_ms, peak, ws1 - ws0


def row(name, samples, peak_bytes):
    secs = statistics.median(s[0] for s in samples)
    cpu = statistics.median(s[1] for s in samples)
    print(f"| {name:<40} | {size / MB / secs:>8.1f} | {cpu:>6.2f} | {peak_bytes / MB:>8.1f} |")
    return size / MB / secs


def verdict(met, short_by):
    return "met" if met else f"not met, short by {short_by}"


def main():
    try:
        curl = run_curl()
        runs, pause_ms, peak, ws_cpu = run_wine()
    except (OSError, subprocess.CalledProcessError, RuntimeError, ValueError) as e:
        print(f"bench/http: could not measure: {e}", file=sys.stderr)
        return 1
    finally:
        wineserver("-k")
        wineserver("-w")

    print(f"64 MiB from nginx on loopback, median of {reps} runs")
    print()
    print(f"| {'fetcher':<40} | {'MB/s':>8} | {'CPU s':>6} | {'peak MiB':>8} |")
    print(f"|{'-' * 42}|{'-' * 9}:|{'-' * 7}:|{'-' * 9}:|")
    dl = row("DownloadHttpFile (Wine)", runs["download"], peak)
    bare64 = row("bare WinINet loop, 64 KiB reads (Wine)", runs["bare-65536"], peak)
    bare512 = row("bare WinINet loop, 512 B reads (Wine)", runs["bare-512"], peak)
    avail = row("bare WinINet loop, reads of what arrived", runs["bare-available"], peak)
    native = row("curl (native)", [(s, c) for s, c, _ in curl], max(m for _, _, m in curl))
    print()
    print(f"wineserver CPU during the Wine runs: {ws_cpu:.2f} s for {4 * (reps + 1)} transfers "
          f"and {pauses} paused ones")
    print("peak memory of the Wine variants is that of their shared process")
    ratio = dl / bare64
    print(f"DownloadHttpFile / 64 KiB loop: {ratio:.3f}  goal >= {SPEED_GOAL}: "
          f"{verdict(ratio >= SPEED_GOAL, f'{SPEED_GOAL - ratio:.3f}')}")
    print(f"DownloadHttpFile / 512 B loop:  {dl / bare512:.3f}")
    print(f"DownloadHttpFile / loop reading what arrived: {dl / avail:.3f}")
    print(f"DownloadHttpFile / curl:        {dl / native:.3f}")
    print(f"64 KiB loop / curl:             {bare64 / native:.3f}")
    worst = max(pause_ms)
    print()
    print(f"pause on a 20 KB/s line (1 KiB every 50 ms), {pauses} pauses: median "
          f"{statistics.median(pause_ms):.1f} ms, worst {worst:.1f} ms  goal < {PAUSE_GOAL_MS:.0f} ms: "
          f"{verdict(worst < PAUSE_GOAL_MS, f'{worst - PAUSE_GOAL_MS:.1f} ms')}")
    return 0


sys.exit(main())
