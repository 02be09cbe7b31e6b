#!/usr/bin/python3
"""pc50-app with documents: submit-to-stream time of a one-page PNG job and a
one-page PDF job at 360 dpi, and the server's peak memory over a 50-page PDF
job. Each run has a server of its own (tests/app/app_fixture.py) writing to a
file:// directory; the printer is set to the four-colour ribbon and the
cartridge is confirmed first (with a small spool job), so no job waits for
the operator.

usage: bench/app_documents.py BUILD_DIR [RUNS]"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "app"))
import app_fixture as fx  # noqa: E402

TESTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "app")

# A 4x6 inch page of colour blocks and text, page number on it.
PAGE_PS = """/Helvetica findfont 24 scalefont setfont
0 1 5 { /i exch def i 6 div 1 i 6 div sub 0.5 setrgbcolor i 48 mul 36 48 360 rectfill } for
0 0 0 setrgbcolor 36 400 moveto (Page ) show
"""


def postscript(path, pages):
    with open(path, "w") as f:
        f.write("%!PS\n<< /PageSize [288 432] >> setpagedevice\n")
        for n in range(1, pages + 1):
            f.write(PAGE_PS + "(%d) show showpage\n" % n)


def peak_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def submit(server, path, fmt, name, pages=1):
    """Seconds from Print-Job to the job's stream complete."""
    started = time.time()
    server.ipptool(os.path.join(TESTS, "print-and-wait.test"), file=path, job_name=name, copies=1,
                   state=9, message="/Printed/", impressions=pages, format=fmt, scaling="auto")
    return time.time() - started


def main():
    build = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    app = os.path.join(build, "app", "pc50-app")
    work = os.path.join(build, "bench-app")
    os.makedirs(work, exist_ok=True)
    gs = fx.need("gs")
    docs = {}
    postscript(os.path.join(work, "one.ps"), 1)
    postscript(os.path.join(work, "ten.ps"), 10)
    postscript(os.path.join(work, "fifty.ps"), 50)
    for name, device, source in (("one.png", "png16m", "one"), ("one.pdf", "pdfwrite", "one"),
                                 ("ten.pdf", "pdfwrite", "ten"), ("fifty.pdf", "pdfwrite", "fifty")):
        docs[name] = os.path.join(work, name)
        subprocess.run([gs, "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-r360", "-sDEVICE=" + device, "-o",
                        docs[name], os.path.join(work, source + ".ps")], check=True)
    docs["warm.spl"] = os.path.join(work, "warm.spl")
    subprocess.run([os.path.join(build, "tools", "pc50", "pc50"), "spool", docs["one.png"], "--ribbon", "four",
                    "--dpi", "360", "-o", docs["warm.spl"]], check=True, stdout=subprocess.DEVNULL)

    def ready(server):
        server.ipptool(os.path.join(TESTS, "attributes.test"))  # sets the four-colour ribbon
        server.ipptool(os.path.join(TESTS, "prompt.test"), file=docs["warm.spl"], job_name="warm-up",
                       cartridge="CMYK", answer="Resume-Job", state=9, supply="CMYK ribbon cartridge")

    for name, fmt in (("one.png", "image/png"), ("one.pdf", "application/pdf")):
        times = []
        for run in range(runs):
            with fx.Server(app, "bench") as server:
                ready(server)
                times.append(submit(server, docs[name], fmt, "timed"))
        times.sort()
        print("%s: submit to stream %.2f s (median of %d; %s)" % (name, times[len(times) // 2], runs,
                                                                ", ".join("%.2f" % t for t in times)))
    with fx.Server(app, "bench") as server:
        ready(server)
        submit(server, docs["one.pdf"], "application/pdf", "one")
        one = peak_kib(server.process.pid)
        submit(server, docs["ten.pdf"], "application/pdf", "ten", pages=10)
        ten = peak_kib(server.process.pid)
        seconds = submit(server, docs["fifty.pdf"], "application/pdf", "fifty", pages=50)
        print("fifty.pdf: %.1f s; server peak memory (VmHWM) %d MiB after a one-page PDF, %d MiB after ten "
              "pages, %d MiB after fifty" % (seconds, one // 1024, ten // 1024, peak_kib(server.process.pid) // 1024))


if __name__ == "__main__":
    main()
