#!/usr/bin/env python3
"""The online view under load, in headless Chromium: a generated program of 2,000 lines whose
500 variables all change in every cycle (20 cycles a second), its source open in the panel.

Measures, in the page: the time to draw the source once; the frame times while the values
stream in (requestAnimationFrame intervals, and the long tasks the browser reports); the
update latency from a value written into the image (qvctl set) to its badge on the page.

    python3 bench/panel_online.py [--bin build/bin] [--seconds 10]
"""
import argparse
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

HERE = os.path.dirname(os.path.abspath(__file__))


def program_text(counters=250, flags=249):
    """About 2,000 lines: 500 variables, each written in every cycle."""
    lines = ["(* Generated for the online view's benchmark: every variable changes in every cycle. *)",
             "PROGRAM Big", "VAR_INPUT", "    Probe : BOOL;  (* written by the benchmark only *)", "END_VAR", "VAR"]
    lines += ["    Count%d : INT := %d;" % (k, k) for k in range(counters)]
    lines += ["    Flag%d : BOOL;" % k for k in range(flags)]
    lines += ["    Seen : BOOL;", "END_VAR", ""]
    for k in range(counters):
        lines += ["    (* counter %d *)" % k, "    Count%d := Count%d + 1;" % (k, k),
                  "    IF Count%d > 30000 THEN" % k, "        Count%d := 0;" % k, "    END_IF;"]
    for k in range(flags):
        lines += ["    Flag%d := NOT Flag%d;" % (k, k)]
    lines += ["    Seen := Probe;", "END_PROGRAM"]
    return "\n".join(lines) + "\n"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(round(p / 100 * (len(values) - 1))))]


WATCH_FRAMES = """
window.frames_ = []; window.long_ = [];
let last = performance.now();
const tick = (now) => { window.frames_.push(now - last); last = now; requestAnimationFrame(tick); };
requestAnimationFrame(tick);
try {
  new PerformanceObserver((list) => { for (const e of list.getEntries()) window.long_.push(e.duration); })
    .observe({entryTypes: ['longtask']});
} catch (e) { /* no long task timing in this browser */ }
"""

WATCH_PROBE = """
const k = window.qv.byName['Big.Probe'];
const badge = window.qv.online.badges.get(k)[0];
window.seen_ = [];
new MutationObserver(() => window.seen_.push([Date.now(), badge.textContent]))
  .observe(badge, {childList: true, characterData: true, subtree: true});
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", default=os.path.join(HERE, "..", "build", "bin"))
    parser.add_argument("--seconds", type=float, default=10.0)
    args = parser.parse_args()
    qvc, qvctl = os.path.join(args.bin, "qvc"), os.path.join(args.bin, "qvctl")
    folder = tempfile.mkdtemp(prefix="qv_online_bench_")
    image = "qvbench_%d" % os.getpid()
    env = dict(os.environ, QV_MEMORY_NAME=image, QV_TIMEOUT="120")
    started = []
    try:
        source = os.path.join(folder, "big.st")
        with open(source, "w") as f:
            f.write(program_text())
        line_count = program_text().count("\n")
        subprocess.run([qvc, "build", source, "-o", os.path.join(folder, "big")], check=True, timeout=600)
        subprocess.run([qvctl, "remove"], env=env, capture_output=True)
        started.append(subprocess.Popen([os.path.join(folder, "big")], env=env, cwd=folder,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        for _ in range(100):
            if "status     STOP" in subprocess.run([qvctl, "status"], env=env, capture_output=True, text=True).stdout:
                break
            time.sleep(0.1)
        port = free_port()
        server = subprocess.Popen([qvctl, "serve", "--port", str(port)], env=env, stdout=subprocess.PIPE, text=True)
        started.append(server)
        url = next(l.split()[1] for l in iter(server.stdout.readline, "") if l.startswith("open "))
        subprocess.run([qvctl, "run"], env=env, check=True, capture_output=True)

        options = webdriver.ChromeOptions()
        for a in ("--headless", "--no-sandbox", "--disable-gpu", "--window-size=1400,1000",
                  "--user-data-dir=" + os.path.join(folder, "chromium")):
            options.add_argument(a)
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        try:
            opened = time.time()
            driver.get(url)
            while driver.execute_script("return document.querySelectorAll('#onsource .srcline').length") < line_count - 1:
                if time.time() - opened > 60:
                    raise SystemExit("the source was not drawn within 60 s")
                time.sleep(0.02)
            drawn = time.time() - opened
            badges = driver.execute_script("return document.querySelectorAll('#onsource .val').length")
            live = driver.execute_script("return window.qv.online.badges.size")
            driver.execute_script(WATCH_FRAMES)
            driver.execute_cdp_cmd("Performance.enable", {})
            before = {m["name"]: m["value"] for m in driver.execute_cdp_cmd("Performance.getMetrics", {})["metrics"]}
            time.sleep(args.seconds)
            after = {m["name"]: m["value"] for m in driver.execute_cdp_cmd("Performance.getMetrics", {})["metrics"]}
            busy = {name: (after[name] - before[name]) / args.seconds * 100
                    for name in ("ScriptDuration", "RecalcStyleDuration", "LayoutDuration", "TaskDuration")}
            frames = driver.execute_script("return window.frames_")
            long_tasks = driver.execute_script("return window.long_")
            rate = driver.execute_script("return document.getElementById('rate').textContent")

            # From qvctl set to the badge, while the 500 values keep changing.
            driver.execute_script(WATCH_PROBE)
            latencies = []
            for k in range(20):
                value = "TRUE" if k % 2 == 0 else "FALSE"
                before = time.time() * 1000
                subprocess.run([qvctl, "set", "Big.Probe", value], env=env, check=True, capture_output=True)
                deadline = time.time() + 5
                while time.time() < deadline:
                    seen = [s for s in driver.execute_script("return window.seen_") if s[1] == value and s[0] >= before]
                    if seen:
                        latencies.append(seen[0][0] - before)
                        break
                    time.sleep(0.005)
                time.sleep(0.1)
        finally:
            driver.quit()
        frames = frames[1:]
        print("online view: %d source lines, %d value badges on %d live variables, %s updates/s"
              % (line_count, badges, live, rate))
        print("first draw of the source (page load to every line drawn): %.2f s" % drawn)
        print("frame time over %.0f s: median %.1f ms, p95 %.1f ms, p99 %.1f ms, max %.1f ms (%d frames)"
              % (args.seconds, statistics.median(frames), percentile(frames, 95), percentile(frames, 99),
                 max(frames), len(frames)))
        print("the page's main thread busy: %.0f %% (script %.0f %%, style %.0f %%, layout %.0f %%)"
              % (busy["TaskDuration"], busy["ScriptDuration"], busy["RecalcStyleDuration"], busy["LayoutDuration"]))
        print("long tasks (> 50 ms): %d%s" % (len(long_tasks), ", longest %.0f ms" % max(long_tasks) if long_tasks else ""))
        if latencies:
            print("update latency qvctl set -> badge: median %.0f ms, p95 %.0f ms, max %.0f ms (%d samples)"
                  % (statistics.median(latencies), percentile(latencies, 95), max(latencies), len(latencies)))
        return 0
    finally:
        for process in reversed(started):
            process.kill()
            process.wait(5)
        subprocess.run([qvctl, "remove"], env=env, capture_output=True)
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
