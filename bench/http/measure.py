"""Runs the three fetchers of bench/http/run and prints the comparison.

Called by with-nginx, which provides HALVORA_NGINX_URL, HALVORA_NGINX_ROOT and
HALVORA_TEST_WORKDIR. Wine variants are timed inside the Windows process
(transfer only, not Wine's start); the CPU that wineserver spends meanwhile
is shown apart. curl is timed from here.
"""
import os
import resource
import statistics
import subprocess
import sys
import time

exe, wine_run, reps = sys.argv[1], sys.argv[2], int(sys.argv[3])
url = os.environ["HALVORA_NGINX_URL"] + "interop.bin"
work = os.environ["HALVORA_TEST_WORKDIR"]
size = os.path.getsize(os.path.join(os.environ["HALVORA_NGINX_ROOT"], "interop.bin"))
MB = 1 << 20


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


# curl: one process per run; CPU and peak memory from the children's usage.
curl = []
for _ in range(reps):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.monotonic()
    subprocess.run(["curl", "-s", "-o", os.path.join(work, "curl.bin"), url], check=True)
    seconds = time.monotonic() - t0
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    curl.append((seconds, cpu, after.ru_maxrss * 1024))
    assert os.path.getsize(os.path.join(work, "curl.bin")) == size

# Wine: one process runs the three variants, alternating. A persistent wineserver
# is started first so its CPU can be read before and after.
wine_work = "Z:" + work.replace("/", "\\")
root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
prefix = os.environ.get("HALVORA_WINEPREFIX", os.path.join(root, "build", "wineprefix"))
# Exit status 2 means one already runs for this prefix, which serves as well.
subprocess.run(["wineserver", "-p", "10"], env=dict(os.environ, WINEPREFIX=prefix), check=False)
ws0 = wineserver_cpu()
# Output goes through a file: Wine's helper processes inherit the standard
# handles and outlive the program, so a pipe would not see its end.
results = os.path.join(work, "wine-results.txt")
with open(results, "w") as out_file:
    subprocess.run([wine_run, exe, url, wine_work, str(reps)], check=True, stdout=out_file)
ws1 = wineserver_cpu()
with open(results) as f:
    out = f.read()
runs = {"bare": [], "bare-timeouts": [], "download": []}
peak = 0
for line in out.splitlines():
    parts = line.split()
    if parts[0] == "peak":
        peak = int(parts[1])
    else:
        assert int(parts[1]) == size, line
        runs[parts[0]].append((float(parts[2]), float(parts[3])))


def row(name, samples, peak_bytes):
    secs = statistics.median(s[0] for s in samples)
    cpu = statistics.median(s[1] for s in samples)
    print(f"{name:<28}{size / MB / secs:>10.1f}{cpu:>10.2f}{peak_bytes / MB:>12.1f}")
    return size / MB / secs


print(f"64 MiB from nginx on loopback, median of {reps} runs")
print(f"{'fetcher':<28}{'MB/s':>10}{'CPU s':>10}{'peak MiB':>12}")
dl = row("DownloadHttpFile (Wine)", runs["download"], peak)
bare = row("bare WinINet loop (Wine)", runs["bare"], peak)
bare_t = row("  same, with the time-outs", runs["bare-timeouts"], peak)
native = row("curl (native)", [(s, c) for s, c, _ in curl], max(m for _, _, m in curl))
print(f"wineserver CPU during the Wine runs: {ws1 - ws0:.2f} s for {3 * (reps + 1)} transfers")
print("peak memory of the Wine variants is that of their shared process")
print(f"DownloadHttpFile / bare loop:                {dl / bare:.3f}  (target >= 0.95)")
print(f"DownloadHttpFile / bare loop with time-outs: {dl / bare_t:.3f}")
print(f"DownloadHttpFile / curl:                     {dl / native:.3f}")
print(f"bare loop / curl:                            {bare / native:.3f}")
