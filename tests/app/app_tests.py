#!/usr/bin/python3
"""End-to-end tests of pc50-app, one server per suite:

  ipp      attributes; spool jobs to completed (stream decoded and compared
           with the picture); the cartridge prompt answered by Resume-Job,
           by `pc50-app confirm` and cancelled during the wait; damaged
           jobs and bad options aborted with their reason
  browser  the Continue button of the Cartridge page in headless Chromium
  cups     one job through a private cupsd queue made with -m everywhere

usage: app_tests.py SUITE --app PC50_APP --pc50 PC50 --tests DIR --work DIR
Exit 77 when a tool the suite needs is missing."""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import time
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import app_fixture as fx  # noqa: E402

COMPLETED, CANCELED, ABORTED = 9, 7, 8
# Blocks of the four process colours, white and red (magenta over yellow).
COLOURS = [(0, 255, 255), (255, 0, 255), (255, 255, 0), (0, 0, 0), (255, 255, 255), (255, 0, 0)]


def make_jobs(args):
    """Spool jobs from a picture we know: four-colour and with a Gold pass."""
    picture = os.path.join(args.work, "picture.png")
    fx.write_png(picture, 96, 40, lambda x, y: COLOURS[(x // 16) % 6])
    gold = os.path.join(args.work, "gold-mask.png")
    fx.write_png(gold, 96, 40, lambda x, y: (0, 0, 0) if 8 <= y < 24 else (255, 255, 255))
    jobs = {"picture": picture}
    for name, extra in (("cmyk", []), ("gold", ["--spot", "Gold=" + gold])):
        jobs[name] = os.path.join(args.work, name + ".spool")
        subprocess.run([args.pc50, "spool", picture, "-o", jobs[name], "--ribbon", "four"] + extra,
                       check=True, stdout=subprocess.DEVNULL)
    damaged = os.path.join(args.work, "damaged.spool")
    with open(jobs["cmyk"], "rb") as f, open(damaged, "wb") as out:
        out.write(f.read()[:3000])  # shorter than a spool header
    jobs["damaged"] = damaged
    make_documents(args, jobs)
    return jobs


# The picture again as PostScript (at 360 dpi: 96x40 pixels), and a page
# with a Gold separation over cyan.
BLOCKS_PS = """%!PS
<< /PageSize [19.2 8] >> setpagedevice
""" + "".join("%d %d %d setrgbcolor %.1f 0 3.2 8 rectfill\n" % (r // 255, g // 255, b // 255, 3.2 * i)
              for i, (r, g, b) in enumerate(COLOURS)) + "showpage\n"
SPOT_PS = """%!PS
<< /PageSize [19.2 8] >> setpagedevice
0 1 1 setrgbcolor 0 0 9.6 8 rectfill
[/Separation /Gold /DeviceCMYK { dup 0 mul exch dup 0.3 mul exch dup 0.9 mul exch pop 0 }] setcolorspace
1 setcolor 4 2 11.2 4 rectfill
showpage
"""


def make_documents(args, jobs):
    """PNG, JPEG, PWG raster and a PDF with a Gold separation, made by
    Ghostscript from the PostScript above."""
    gs = shutil.which("gs")
    if not gs:
        print("documents not tested: gs (ghostscript) is not installed")
        return
    for name, program in (("blocks", BLOCKS_PS), ("spot", SPOT_PS)):
        with open(os.path.join(args.work, name + ".ps"), "w") as f:
            f.write(program)
    for name, source, device in (("blocks.png", "blocks", ["-sDEVICE=png16m"]),
                                 ("blocks.jpg", "blocks", ["-sDEVICE=jpeg", "-dJPEGQ=95"]),
                                 ("blocks.pwg", "blocks", ["-sDEVICE=pwgraster", "-dcupsColorSpace=19",
                                                           "-dcupsBitsPerColor=8"]),
                                 ("spot.pdf", "spot", ["-sDEVICE=pdfwrite"])):
        jobs[name] = os.path.join(args.work, name)
        subprocess.run([gs, "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-r360"] + device +
                       ["-o", jobs[name], os.path.join(args.work, source + ".ps")], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    jobs["damaged.pdf"] = os.path.join(args.work, "damaged.pdf")
    with open(jobs["damaged.pdf"], "wb") as out:
        out.write(b"%PDF-1.4\n" + b"x" * 3000)  # a PDF header and nothing Ghostscript can read


def test_file(args, name):
    return os.path.join(args.tests, name)


def print_and_wait(server, args, path, job_name, state, message, copies=1, impressions=1,
                   fmt="application/vnd.pc50-spool", scaling="auto"):
    server.ipptool(test_file(args, "print-and-wait.test"), file=path, job_name=job_name, copies=copies,
                   state=state, message=message, impressions=impressions, format=fmt, scaling=scaling)


def check_picture(server, args, job_name, copies=1, tolerance=0.0):
    pages = fx.render(args.pc50, server.stream(job_name), args.work)
    assert len(pages) == 1, "%s: %d pages" % (job_name, len(pages))
    fx.assert_picture(pages[0], os.path.join(args.work, "picture.png"), copies_across=copies, tolerance=tolerance)


def background_job(server, args, path, job_name, state=COMPLETED, message="Printed 1 page.", impressions=1,
                   fmt="application/vnd.pc50-spool"):
    """Prints a document and waits for it to end, in the background."""
    return subprocess.Popen(
        [fx.need("ipptool"), "-t", "-T", "30", "-f", path, "-d", "job-name=" + job_name, "-d", "copies=1",
         "-d", "state=%d" % state, "-d", "message=" + message, "-d", "impressions=%d" % impressions,
         "-d", "format=" + fmt, "-d", "scaling=auto",
         server.uri, test_file(args, "print-and-wait.test")],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def finish(server, waiting):
    try:
        output = waiting.communicate(timeout=120)[0]
    finally:
        if waiting.poll() is None:
            waiting.kill()
            waiting.wait()
    assert waiting.returncode == 0, output + server.log_text()[-4000:]


def wait_for_page(server, text, seconds=30):
    deadline = time.time() + seconds
    while time.time() < deadline:
        with urllib.request.urlopen(server.url + "/cartridge", timeout=5) as page:
            if text.encode() in page.read():
                return
        time.sleep(0.2)
    raise AssertionError("the Cartridge page never showed " + repr(text))


def suite_ipp(args, jobs):
    with fx.Server(args.app, "ipp") as server:
        server.ipptool(test_file(args, "attributes.test"))

        # The first job asks for the four-colour cartridge; Resume-Job says
        # it is in, and the stream shows the picture.
        server.ipptool(test_file(args, "prompt.test"), file=jobs["cmyk"], job_name="first", cartridge="CMYK",
                       answer="Resume-Job", state=COMPLETED, supply="CMYK ribbon cartridge")
        check_picture(server, args, "first")

        # With the cartridge in, a job runs straight through; the module
        # lays out the copies.
        print_and_wait(server, args, jobs["cmyk"], "two-copies", COMPLETED, "Printed 1 page.", copies=2)
        check_picture(server, args, "two-copies", copies=2)

        # Documents through the raster step, with the four-colour cartridge in:
        # PNG and PWG raster at one image pixel per dot show the picture
        # exactly, JPEG nearly.
        if "blocks.png" in jobs:
            print_and_wait(server, args, jobs["blocks.png"], "png", COMPLETED, "Printed 1 page.", fmt="image/png",
                           scaling="none")
            check_picture(server, args, "png")
            print_and_wait(server, args, jobs["blocks.pwg"], "pwg", COMPLETED, "Printed 1 page.",
                           fmt="image/pwg-raster", scaling="none")
            check_picture(server, args, "pwg")
            print_and_wait(server, args, jobs["blocks.jpg"], "jpeg", COMPLETED, "Printed 1 page.", fmt="image/jpeg",
                           scaling="none")
            check_picture(server, args, "jpeg", tolerance=0.1)  # edges blur in JPEG

        # Cancel-Job ends a wait for the Gold cartridge.
        server.ipptool(test_file(args, "prompt.test"), file=jobs["gold"], job_name="gold-cancelled",
                       cartridge="Gold", answer="Cancel-Job", state=CANCELED, supply="CMYK ribbon cartridge")

        # `pc50-app confirm` answers from a terminal; a PDF's Gold separation
        # becomes a Gold pass.
        spot = "spot.pdf" in jobs
        waiting = background_job(server, args, jobs["spot.pdf" if spot else "gold"], "gold",
                                 fmt="application/pdf" if spot else "application/vnd.pc50-spool")
        wait_for_page(server, "Please install Gold cartridge to the printer")
        confirm = subprocess.run([args.app, "confirm", "-u", server.uri], stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT, text=True, timeout=60)
        assert confirm.returncode == 0, "confirm: " + confirm.stdout
        finish(server, waiting)
        passes = os.path.join(args.work, "gold-passes")
        pages = fx.render(args.pc50, server.stream("gold"), args.work, passes=passes)
        assert len(pages) == 1
        assert any(name.endswith("-Gold.png") for name in os.listdir(passes)), os.listdir(passes)

        # Damaged input and bad options abort with the reason; the server
        # keeps serving (the last test of each file asks it).
        print_and_wait(server, args, jobs["damaged"], "damaged", ABORTED,
                       "/^not a readable spool job: spool index: /", impressions=0)
        if "damaged.pdf" in jobs:
            print_and_wait(server, args, jobs["damaged.pdf"], "damaged-pdf", ABORTED, "/damaged or empty PDF/",
                           impressions=0, fmt="application/pdf")
        server.ipptool(test_file(args, "bad-option.test"), file=jobs["cmyk"])

        # Shutting down ends a wait (the Gold cartridge is in now, so the
        # four-colour job waits): the server stops at once, not after its
        # grace period for active jobs.
        waiting = background_job(server, args, jobs["cmyk"], "at-shutdown")
        wait_for_page(server, "Please install CMYK cartridge to the printer")
        started = time.time()
        server.process.send_signal(signal.SIGTERM)
        try:
            server.process.wait(timeout=30)
        finally:
            waiting.kill()
            waiting.wait()
        assert time.time() - started < 10, "shutdown took %.1f s with a job waiting" % (time.time() - started)
        assert "Stopped: the server is shutting down." in server.log_text(), server.log_text()[-3000:]

    # A printer that goes away while a job waits for a cartridge: the job
    # ends aborted with the reason, and the server goes on.
    printer = fx.VanishingPrinter()
    with fx.Server(args.app, "vanishing", device_uri=printer.uri) as server:
        waiting = background_job(server, args, jobs["cmyk"], "vanishing", state=ABORTED,
                                 message="the printer stopped taking data", impressions=0)
        printer.accept()
        wait_for_page(server, "Please install CMYK cartridge to the printer")
        printer.vanish()
        subprocess.run([args.app, "confirm", "-u", server.uri], check=True, stdout=subprocess.DEVNULL, timeout=60)
        finish(server, waiting)
        # The module's scratch file of the four-colour pass (in the server's
        # TMPDIR) is gone after finished, cancelled and failed jobs.
        leftovers = [name for name in os.listdir(server.dir) if name.startswith("PC50CMYK")]
        assert not leftovers, leftovers


def suite_browser(args, jobs):
    fx.need("chromium")
    fx.need("chromedriver")
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.by import By
    except ImportError:
        raise fx.Skip("python3-selenium is not installed")

    with fx.Server(args.app, "browser") as server:
        waiting = background_job(server, args, jobs["cmyk"], "browser")
        options = webdriver.ChromeOptions()
        options.binary_location = fx.need("chromium")
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=1000,800", "--user-data-dir=" + os.path.join(server.dir, "chromium")):
            options.add_argument(flag)
        service = Service(executable_path=fx.need("chromedriver"))
        browser = webdriver.Chrome(options=options, service=service)
        try:
            wait_for_page(server, "Please install CMYK cartridge to the printer")
            # A form from elsewhere (no valid session token) changes nothing.
            forged = urllib.parse.urlencode({"session": "forged", "printer-id": 1, "job-id": 1,
                                             "action": "Continue"}).encode()
            with urllib.request.urlopen(server.url + "/cartridge", data=forged, timeout=10) as page:
                assert b"Invalid form submission." in page.read()
            browser.get(server.url + "/cartridge")
            assert "Please install CMYK cartridge to the printer" in browser.find_element(By.ID, "prompt-1").text
            browser.save_screenshot(os.path.join(args.artifacts, "cartridge-page.png"))
            browser.find_element(By.ID, "continue-1").click()
            deadline = time.time() + 30
            while "CMYK" not in browser.find_element(By.ID, "installed-1").text:
                assert time.time() < deadline, "the page never showed the installed cartridge"
                time.sleep(0.2)
                browser.get(server.url + "/cartridge")
        finally:
            browser.quit()
        finish(server, waiting)
        check_picture(server, args, "browser")


def suite_cups(args, jobs):
    cupsd = fx.need("/usr/sbin/cupsd")
    lpadmin = fx.need("/usr/sbin/lpadmin")
    lp = fx.need("lp")
    with fx.Server(args.app, "cups") as server:
        # The four-colour ribbon as the printer default (CUPS's driverless
        # queue does not pass our own options on), and the cartridge
        # confirmed first: the CUPS jobs print unattended.
        server.ipptool(test_file(args, "attributes.test"))
        server.ipptool(test_file(args, "prompt.test"), file=jobs["cmyk"], job_name="warm-up", cartridge="CMYK",
                       answer="Resume-Job", state=COMPLETED, supply="CMYK ribbon cartridge")
        root = os.path.join(server.dir, "cups")
        # CUPS backends run as lp: they must reach the spool files.
        os.chmod(server.dir, 0o755)
        os.mkdir(root, 0o755)
        for sub in ("cache", "log", "spool", "run", "ppd", "ssl"):
            os.makedirs(os.path.join(root, sub))
        port = fx.free_port()
        with open(os.path.join(root, "cupsd.conf"), "w") as f:
            f.write("Listen 127.0.0.1:%d\nLogLevel debug\nBrowsing No\nDefaultAuthType None\n"
                    "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                    "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n" % port)
        with open(os.path.join(root, "cups-files.conf"), "w") as f:
            f.write("".join("%s %s\n" % item for item in (
                ("CacheDir", root + "/cache"), ("StateDir", root + "/run"), ("RequestRoot", root + "/spool"),
                ("ServerRoot", root), ("ServerBin", "/usr/lib/cups"), ("DataDir", "/usr/share/cups"),
                ("AccessLog", root + "/log/access_log"), ("ErrorLog", root + "/log/error_log"),
                ("PageLog", root + "/log/page_log"),
                ("TempDir", root + "/spool"), ("ServerKeychain", root + "/ssl"))) + "Sandboxing relaxed\n")
        daemon = subprocess.Popen([cupsd, "-f", "-c", root + "/cupsd.conf", "-s", root + "/cups-files.conf"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
        env = dict(os.environ, CUPS_SERVER="127.0.0.1:%d" % port, CUPS_ENCRYPTION="Never")
        try:
            deadline = time.time() + 20
            while "scheduler is running" not in subprocess.run(["lpstat", "-r"], env=env, capture_output=True,
                                                               text=True).stdout:
                assert daemon.poll() is None and time.time() < deadline, "cupsd did not start"
                time.sleep(0.2)
            added = subprocess.run([lpadmin, "-p", "pc50", "-E", "-v", server.uri, "-m", "everywhere"], env=env,
                                   capture_output=True, text=True, timeout=60)
            assert added.returncode == 0, "lpadmin: " + added.stderr + open(root + "/log/error_log").read()[-3000:]
            # A raw CUPS job: the spool job arrives without a format and the
            # application recognises it.
            subprocess.run([lp, "-d", "pc50", "-o", "raw", "-t", "through-cups", jobs["cmyk"]], env=env,
                           check=True, capture_output=True, timeout=60)
            deadline = time.time() + 60
            while not os.path.exists(os.path.join(server.out, "through-cups.prn")) or "through-cups" not in \
                    completed_jobs(server):
                assert time.time() < deadline, "the CUPS job never completed:\n" + \
                    open(root + "/log/error_log", errors="replace").read()[-3000:] + server.log_text()[-3000:]
                time.sleep(0.5)
            check_picture(server, args, "through-cups")
            # A PNG from an application: CUPS hands it over as it is, and it
            # is fitted to the label (CUPS does not pass print-scaling on).
            if "blocks.png" in jobs:
                subprocess.run([lp, "-d", "pc50", "-t", "png-through-cups",
                                jobs["blocks.png"]], env=env, check=True, capture_output=True, timeout=60)
                while "png-through-cups" not in completed_jobs(server):
                    assert time.time() < deadline + 60, "the PNG sent through CUPS never completed:\n" + \
                        server.log_text()[-3000:]
                    time.sleep(0.5)
                pages = fx.render(args.pc50, server.stream("png-through-cups"), args.work)
                assert len(pages) == 1, pages
        finally:
            daemon.terminate()
            try:
                daemon.wait(timeout=15)
            except subprocess.TimeoutExpired:
                daemon.kill()
                daemon.wait()


def completed_jobs(server):
    """The names of the jobs that ended in state completed."""
    result = subprocess.run(["ipptool", "-tv", server.uri, "get-completed-jobs.test"], capture_output=True,
                            text=True)
    names, name = [], None
    for line in result.stdout.splitlines():
        key, _, value = line.strip().partition(" = ")
        if key.startswith("job-name "):
            name = value
        elif key.startswith("job-state ") and value == "completed" and name:
            names.append(name)
    return names


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("suite", choices=["ipp", "browser", "cups"])
    parser.add_argument("--app", required=True)
    parser.add_argument("--pc50", required=True)
    parser.add_argument("--tests", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--artifacts", required=True)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    os.makedirs(args.artifacts, exist_ok=True)
    try:
        fx.need("ipptool")
        jobs = make_jobs(args)
        {"ipp": suite_ipp, "browser": suite_browser, "cups": suite_cups}[args.suite](args, jobs)
    except fx.Skip as missing:
        print("skipped: " + str(missing))
        return 77
    print(args.suite + ": ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
