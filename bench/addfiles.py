#!/usr/bin/python3
"""Gallimo.AddFiles through qvhost against the decoders and thumbnailers beside it.

Makes 4000 x 3000 photograph-like JPEGs (quality 90) and PNGs with Pillow in a temporary folder,
then, round after round, times on the same files: AddFiles into the default cell, djpeg to
/dev/null (the full decode, the floor for JPEG), vipsthumbnail, ImageMagick's convert -thumbnail
and Pillow's full decode. The order of the sides turns each round, so that the load of a busy
machine falls on all of them alike; every ratio is the median of the rounds' ratios.

Run by hand after `make bench`:  /usr/bin/python3 bench/addfiles.py [--files N] [--rounds R]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from photo import HEIGHT, WIDTH, make_picture

VARIANTS = 4  # distinct pictures; the files are links to them
HERE = os.path.dirname(os.path.abspath(__file__))


def make_files(folder, count):
    files = {"jpeg": [], "png": []}
    for v in range(VARIANTS):
        picture = make_picture(v)
        picture.save(os.path.join(folder, f"v{v}.jpg"), quality=90)
        picture.save(os.path.join(folder, f"v{v}.png"))
    for i in range(count):
        for kind, ext in (("jpeg", "jpg"), ("png", "png")):
            path = os.path.join(folder, f"{kind}{i:03}.{ext}")
            os.link(os.path.join(folder, f"v{i % VARIANTS}.{ext}"), path)
            files[kind].append(path)
    return files


def run(argv, peak=False):
    """Wall seconds of one process, or with `peak` its peak resident kilobytes instead.

    The peak is read by GNU time from a process of its own: a child forked from this one would
    report this one's size as its own.
    """
    if peak:
        with tempfile.NamedTemporaryFile("r") as out:
            subprocess.run(["/usr/bin/time", "-f", "%M", "-o", out.name, *argv], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            return int(out.read().split()[-1])
    start = time.perf_counter()
    done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    seconds = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"{argv[0]} failed ({done.returncode}): {done.stderr.decode().strip()}")
    return seconds, done.stdout


def per_process(make_argv):
    """One process per file: seconds per file, or the peak of the first file's process."""
    def side(files, scratch, peak=False):
        if peak:
            return run(make_argv(files[0], os.path.join(scratch, "t.jpg")), peak=True)
        total = 0.0
        for i, path in enumerate(files):
            total += run(make_argv(path, os.path.join(scratch, f"t{i}.jpg")))[0]
        return total / len(files)
    return side


def write_page(path, qvhost_plugin, files):
    listed = ", ".join(f'"{f}"' for f in files)
    with open(path, "w") as page:
        page.write(
            "return {\n"
            f'  objects = {{ {{ plugin = "{qvhost_plugin}", name = "Thumbs",'
            ' rect = {0, 0, 640, 480}, properties = "" } },\n'
            "  start = [[\n"
            f"    local files = {{ {listed} }}\n"
            '    local added = Gallimo.AddFiles("Thumbs", files)\n'
            '    if added ~= #files then error("added " .. added .. " of " .. #files) end\n'
            "  ]],\n}\n")


def gallimo(build):
    qvhost = os.path.join(build, "host", "qvhost")
    plugin = os.path.join(build, "plugin", "Gallimo.qlx")

    def side(files, scratch, peak=False):
        # The same page with no files gives the cost of starting the host, taken off.
        empty, full = os.path.join(scratch, "empty.lua"), os.path.join(scratch, "full.lua")
        write_page(empty, plugin, [])
        write_page(full, plugin, files)
        if peak:
            return run([qvhost, "run", full], peak=True)
        base = run([qvhost, "run", empty])[0]
        return max(run([qvhost, "run", full])[0] - base, 0.0) / len(files)
    return side


PILLOW_LOOP = (
    "import sys, time\n"
    "from PIL import Image\n"
    "start = time.perf_counter()\n"
    "for path in sys.argv[1:]:\n"
    "    with Image.open(path) as image:\n"
    "        image.load()\n"
    "print(time.perf_counter() - start)\n")


def pillow(files, scratch, peak=False):
    """Pillow's full decode, all files in one process, timed inside it."""
    argv = ["/usr/bin/python3", "-c", PILLOW_LOOP, *files]
    if peak:
        return run(argv, peak=True)
    return float(run(argv)[1]) / len(files)


def sides_for(kind, build):
    sides = [("Gallimo.AddFiles", gallimo(build))]
    if kind == "jpeg":
        sides.append(("djpeg -outfile /dev/null",
                      per_process(lambda f, out: ["djpeg", "-outfile", "/dev/null", f])))
    sides.append(("vipsthumbnail -s 100x100",
                  per_process(lambda f, out: ["vipsthumbnail", "-s", "100x100", "-o", out, f])))
    sides.append(("convert -thumbnail 100x100",
                  per_process(lambda f, out: ["/usr/bin/convert", f, "-thumbnail", "100x100", out])))
    sides.append(("Pillow open().load()", pillow))
    return sides


def measure(kind, files, build, rounds, scratch):
    sides = sides_for(kind, build)
    times = {name: [] for name, _ in sides}
    for r in range(rounds):
        turn = sides[r % len(sides):] + sides[:r % len(sides)]
        if r % 2:
            turn.reverse()
        for name, side in turn:
            times[name].append(side(files, scratch))
        print(f"  {kind} round {r + 1}: " +
              ", ".join(f"{n.split()[0]} {times[n][-1] * 1000:.1f}" for n, _ in sides),
              flush=True)
    peaks = {name: side(files, scratch, peak=True) for name, side in sides}
    return sides, times, peaks


def report(kind, count, sides, times, peaks):
    ours = times["Gallimo.AddFiles"]
    print(f"\n{kind.upper()}, {count} files of {WIDTH} x {HEIGHT}, "
          f"median of {len(ours)} rounds:")
    print("| side | ms per file | AddFiles / side | peak memory MB |")
    print("|---|---|---|---|")
    for name, _ in sides:
        ms = statistics.median(times[name]) * 1000
        ratio = statistics.median(o / t for o, t in zip(ours, times[name]))
        print(f"| {name} | {ms:.1f} | {ratio:.3f} | {peaks[name] / 1024:.0f} |")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--files", type=int, default=100, help="files of each kind (100)")
    parser.add_argument("--rounds", type=int, default=5, help="rounds, at least 5 for a ratio")
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build-bench"),
                        help="the build folder that holds host/qvhost and plugin/Gallimo.qlx")
    parser.add_argument("--only", choices=["jpeg", "png"], help="one kind of file only")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    for tool in ("djpeg", "vipsthumbnail", "/usr/bin/convert", "/usr/bin/time"):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is missing: `make bench` installs it")
    with tempfile.TemporaryDirectory(prefix="gallimo-addfiles-") as folder:
        print(f"making {VARIANTS} pictures and {args.files} files of each kind in {folder}",
              flush=True)
        files = make_files(folder, args.files)
        scratch = os.path.join(folder, "out")
        os.mkdir(scratch)
        results = []
        for kind in ("jpeg", "png"):
            if args.only and kind != args.only:
                continue
            results.append((kind, *measure(kind, files[kind], build, args.rounds, scratch)))
        for kind, sides, times, peaks in results:
            report(kind, args.files, sides, times, peaks)


main()
