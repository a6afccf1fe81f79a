"""Output of the reference generators: the lines go to the file named by the
first command-line argument, or to standard output."""

import sys


def emit(lines, argv):
    """Writes the lines to the file argv[1], or to standard output."""
    text = "\n".join(lines) + "\n"
    if len(argv) > 1:
        with open(argv[1], "w") as fh:
            fh.write(text)
    else:
        sys.stdout.write(text)
