#!/usr/bin/env python3
"""Mutation run: puts one single-line fault at a time into the sources, in a
copy of the tree, builds it and runs the fast tests; a fault that no test
notices survives. Prints the kill rate and every survivor.

    python3 mutants/run.py [--only FILE_SUBSTRING] [--sample N [--offset K]]
                                 [--keys SURVIVORS] [--jobs N] [--limit N]
                                 [--least PERCENT] [FILE...]

The faults are those a regular-expression mutator such as universalmutator
makes in C++: a comparison, logic or arithmetic operator swapped, a
constant off by one, a negation dropped, a statement deleted. Mutants that
do not compile are not counted; those listed in equivalent.txt (the same
behaviour as the original, so no test can tell) are set aside.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
DEFAULT_FILES = ["palette/src/*.cpp", "palette/src/readers/*.cpp", "app/files_posix.cpp",
                 "app/storage_linux.cpp"]
# The tests that run in seconds, in three rounds: the unit tests, the table
# of formats and the command's other cases. A round that fails ends the
# mutant's run, so the round likeliest to fail goes first after the unit tests.
FAST_TESTS = ["-E", "^(gba|package|docs)\\."]
UNIT_ROUND = ["-E", "^(gba|package|docs|cli)\\."]
TABLE_ROUND = ["-R", "each_format_as_its_table"]
COMMAND_ROUND = ["-R", "^cli\\.", "-E", "each_format_as_its_table"]

SWAPS = [(" == ", " != "), (" != ", " == "), (" < ", " <= "), (" <= ", " < "),
         (" > ", " >= "), (" >= ", " > "), (" && ", " || "), (" || ", " && "),
         (" + ", " - "), (" - ", " + "), (" << ", " >> "), (" >> ", " << "),
         (" & ", " | "), (" | ", " & "), ("true", "false"), ("false", "true")]
NUMBER = re.compile(r"(?<![\w.])(0x[0-9A-Fa-f]+|\d+)(u|ul|ull)?(?![\w.])")
NEGATION = re.compile(r"!(?!=)")
STATEMENT = re.compile(r"^\s*(\+\+|--)?[A-Za-z_][\w.\[\]>:-]*\s*(\+\+|--|[-+|&]?=[^=]|\().*;\s*$")
SKIPPED_LINE = re.compile(r"^\s*(//|#|static_assert|namespace|}|using)")


def code_spans(line):
    """Where the line holds code: not in a string, a character or a comment."""
    spans, start, quote, i = [], 0, None, 0
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                i += 1
            elif c == quote:
                quote, start = None, i + 1
        elif c in "\"'":
            spans.append((start, i))
            quote = c
        elif line.startswith("//", i):
            spans.append((start, i))
            return spans
        i += 1
    if not quote:
        spans.append((start, len(line)))
    return spans


def in_code(spans, begin, end):
    return any(a <= begin and end <= b for a, b in spans)


def mutants_of_line(line):
    if SKIPPED_LINE.match(line) or not line.strip():
        return []
    spans = code_spans(line)
    found = []
    for old, new in SWAPS:
        for match in re.finditer(re.escape(old) if old[0] == " " else r"\b%s\b" % old, line):
            if in_code(spans, match.start(), match.end()):
                found.append(line[:match.start()] + new + line[match.end():])
    for match in NUMBER.finditer(line):
        if not in_code(spans, match.start(), match.end()) or "[" in line[:match.start()][-1:]:
            continue
        text = match.group(1)
        value = int(text, 16) if text.startswith("0x") else int(text)
        for changed in (value + 1, value - 1):
            if changed >= 0:
                shown = hex(changed) if text.startswith("0x") else str(changed)
                found.append(line[:match.start(1)] + shown + line[match.end(1):])
    for match in NEGATION.finditer(line):
        if in_code(spans, match.start(), match.end()):
            found.append(line[:match.start()] + line[match.end():])
    if STATEMENT.match(line) and not line.strip().startswith(("return", "const ", "std::", "unsigned", "int ", "bool ", "char ", "auto ")):
        found.append(re.sub(r"\S.*", "{}  // deleted", line, count=1))
    return found


def run(command, cwd, timeout=None):
    """The command's status; past the timeout, the command and everything it
    started (a hanging mutant, the test around it) are stopped, and
    TimeoutExpired raised."""
    environment = dict(os.environ, VEXLO_STOP_AT_FAILURE="1")
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.DEVNULL, env=environment,
                               stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        # TERM first, so that the tests' traps unmount and detach what they made.
        os.killpg(process.pid, signal.SIGTERM)
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            pass
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        process.wait()
        raise


def make_tree(scratch, tracked, number):
    """A copy of the tracked files and its Release build, for one worker."""
    tree = os.path.join(scratch, "tree%d" % number)
    for name in filter(None, tracked):
        os.makedirs(os.path.dirname(os.path.join(tree, name)) or tree, exist_ok=True)
        shutil.copy2(os.path.join(ROOT, name), os.path.join(tree, name))
    build = os.path.join(scratch, "build%d" % number)
    generator = ["-G", "Ninja"] if shutil.which("ninja") else []
    if run(["cmake", "-S", tree, "-B", build, "-DCMAKE_BUILD_TYPE=Release"] + generator, tree) != 0 \
            or run(["cmake", "--build", build], tree) != 0:
        sys.exit("the unmutated tree does not build")
    return tree, build


def try_mutant(tree, build, mutant, timeout):
    """"killed", "survived" or "broken" (it does not compile)."""
    name, number, line = mutant[0], mutant[1], mutant[2]
    path = os.path.join(tree, name)
    original = open(path, encoding="utf-8").read().split("\n")
    changed = original[:]
    changed[number - 1] = line
    try:
        with open(path, "w", encoding="utf-8") as out:
            out.write("\n".join(changed))
        # The storage logic has a unit test binary of its own.
        targets = ["vexlo", "palette_test"] + (["storage_test"] if "storage_" in name else [])
        if run(["cmake", "--build", build, "--target"] + targets, tree) != 0:
            return "broken"
        # The library's faults show first in the table of formats.
        if name.startswith("app/"):
            rounds = [UNIT_ROUND, COMMAND_ROUND, TABLE_ROUND]
        else:
            rounds = [UNIT_ROUND, TABLE_ROUND, COMMAND_ROUND]
        for tests in rounds:
            try:
                if run(["ctest", "--test-dir", build, "-j2", "--stop-on-failure"] + tests, tree,
                       timeout=timeout) != 0:
                    return "killed"
            except subprocess.TimeoutExpired:
                return "killed"  # a mutant that hangs is noticed
        return "survived"
    finally:
        with open(path, "w", encoding="utf-8") as out:
            out.write("\n".join(original))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("files", nargs="*")
    parser.add_argument("--only", default="")
    parser.add_argument("--limit", type=int, default=0)
    parser.add_argument("--sample", type=int, default=1,
                        help="try every Nth mutant only, for a quicker estimate")
    parser.add_argument("--offset", type=int, default=0,
                        help="with --sample, start at this mutant (another sample)")
    parser.add_argument("--keys", help="try only the mutants listed in this file, as printed")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1,
                        help="mutants tried at once, each in a tree of its own")
    parser.add_argument("--log", help="write every mutant's outcome to this file as it comes")
    parser.add_argument("--least", type=float, default=0,
                        help="fail below this kill rate, in percent")
    args = parser.parse_args()
    import glob
    files = args.files or [f for pattern in DEFAULT_FILES
                           for f in sorted(glob.glob(os.path.join(ROOT, pattern)))]
    files = [os.path.relpath(f, ROOT) for f in files if args.only in f]
    equivalent = set()
    listed = os.path.join(HERE, "equivalent.txt")
    if os.path.exists(listed):
        for entry in open(listed, encoding="utf-8"):
            if entry.strip() and not entry.startswith("#"):
                equivalent.add(entry.rstrip("\n"))
    wanted = None
    if args.keys:
        wanted = {re.sub(r"^(survived|killed|broken): ", "", entry.rstrip("\n"))
                  for entry in open(args.keys, encoding="utf-8") if entry.strip()}

    mutants, set_aside, made = [], 0, set()
    for name in files:
        for number, line in enumerate(open(os.path.join(ROOT, name), encoding="utf-8")
                                      .read().split("\n"), 1):
            for mutant in mutants_of_line(line):
                key = "%s:%d: %s" % (name, number, mutant.strip())
                made.add(key)
                if key in equivalent:
                    set_aside += 1
                elif wanted is None or key in wanted:
                    mutants.append((name, number, mutant, key))
    # A line that moved leaves its entry behind, and its mutant counted.
    for key in sorted(equivalent - made):
        if any(key.startswith(name + ":") for name in files):
            print("equivalent.txt names no mutant of the sources: " + key)
    mutants = mutants[args.offset::args.sample]
    if args.limit:
        mutants = mutants[:args.limit]

    scratch = tempfile.mkdtemp(prefix="vexlo-mutants.")
    tracked = subprocess.run(["git", "ls-files"], cwd=ROOT, capture_output=True, text=True,
                             check=True).stdout.split("\n")
    jobs = max(1, min(args.jobs, len(mutants)))
    trees = [make_tree(scratch, tracked, number) for number in range(jobs)]
    started = time.time()
    if run(["ctest", "--test-dir", trees[0][1], "-j2"] + FAST_TESTS, trees[0][0]) != 0:
        sys.exit("the unmutated tree fails its tests")
    # A mutant that loops for ever is stopped soon: a round of a mutant
    # that does not takes far less, even with every core busy.
    timeout = 3 * (time.time() - started) + 30

    results = {}
    # Every 8th mutant first, then the next 8th...: a run cut short has
    # tried an even sample of every file.
    pending = [mutant for _, mutant in sorted(enumerate(mutants), reverse=True,
                                              key=lambda pair: (pair[0] % 8, pair[0]))]
    lock = threading.Lock()
    log = open(args.log, "w", encoding="utf-8") if args.log else None

    def work(tree, build):
        while True:
            with lock:
                if not pending:
                    return
                mutant = pending.pop()
            outcome = try_mutant(tree, build, mutant, timeout)
            with lock:
                results[mutant[3]] = outcome
                if log:
                    log.write("%s: %s\n" % (outcome, mutant[3]))
                    log.flush()
                if outcome == "survived":
                    print("survived: " + mutant[3], flush=True)

    workers = [threading.Thread(target=work, args=tree) for tree in trees]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()
    shutil.rmtree(scratch, ignore_errors=True)

    for name in files:
        outcomes = [results[m[3]] for m in mutants if m[0] == name]
        if outcomes:
            print("%s: %d killed, %d survived, %d did not compile"
                  % (name, outcomes.count("killed"), outcomes.count("survived"),
                     outcomes.count("broken")), flush=True)
    outcomes = list(results.values())
    killed, survived = outcomes.count("killed"), outcomes.count("survived")
    total = killed + survived
    rate = 100.0 * killed / total if total else 100.0
    print("mutants: %d killed, %d survived, %d did not compile, %d set aside as equivalent"
          % (killed, survived, outcomes.count("broken"), set_aside))
    print("kill rate: %.1f%% (%d of %d)" % (rate, killed, total))
    if rate < args.least:
        sys.exit("below %.0f%%" % args.least)


if __name__ == "__main__":
    main()
