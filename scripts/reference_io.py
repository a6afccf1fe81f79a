"""Output of the reference generators: the lines go to the file named by the
first command-line argument, or to standard output."""

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
