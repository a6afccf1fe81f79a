"""Output of the reference generators: the lines go to the file named by the
first command-line argument, or to standard output."""

import multiprocessing
import sys


def write_or_print(text, argv, usage):
    """The body of a generator's main: writes the text to the file argv[1]
    (standard output for none or "-"); returns the exit status."""
    if len(argv) > 2:
        sys.stderr.write(f"usage: {usage}\n")
        return 2
    if len(argv) == 2 and argv[1] != "-":
        with open(argv[1], "w", encoding="ascii", newline="\n") as fh:
            fh.write(text)
    else:
        sys.stdout.write(text)
    return 0


def emit(lines, argv):
    """Writes the lines to the file argv[1], or to standard output."""
    text = "\n".join(lines) + "\n"
    if len(argv) > 1:
        with open(argv[1], "w") as fh:
            fh.write(text)
    else:
        sys.stdout.write(text)


def header_main(argv, doc, path, make_text):
    """The main of a header generator: `--check` compares the committed
    header with make_text(), otherwise it is written; returns the exit
    status."""
    import argparse

    parser = argparse.ArgumentParser(description=doc.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="compare with the committed header")
    check = parser.parse_args(argv).check
    text = make_text()
    if check:
        if path.read_text() != text:
            print(f"{path} differs from a fresh generation", file=sys.stderr)
            return 1
        print("header up to date")
        return 0
    path.write_text(text)
    print(f"wrote {path}")
    return 0


def reused_or_computed(cases, row, previous=None, order=None):
    """The reference lines of `cases` (tuples whose first three entries are a
    name, l and u), in their order: lines of an earlier output `previous`
    whose name, l and u match a case are reused, the others are computed by
    `row(case)` on two processes (in the order `order` sorts them by, if
    given), each printed to standard error as it arrives."""
    done = {}
    if previous is not None:
        for line in open(previous):
            fields = line.split()
            if len(fields) != 4 or line.startswith("#"):
                continue
            try:
                done[(fields[0], float(fields[1]), float(fields[2]))] = line.strip()
            except ValueError:  # a table's knots or fluxes, not a case
                continue
    cases = list(cases)
    todo = [c for c in cases if c not in done]
    if order is not None:
        todo.sort(key=order)
    with multiprocessing.Pool(2) as pool:
        for case, line in zip(todo, pool.imap(row, todo, chunksize=1)):
            done[case] = line
            print(line, file=sys.stderr, flush=True)
    return [done[c] for c in cases]
