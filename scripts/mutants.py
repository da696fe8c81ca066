"""Reads the fault list of mutate.sh and prints its faults for the shell:
name, file, text and replacement separated by 0x1f, each fault ending in a
NUL byte. A line that is not four fields becomes a fault whose file names
the problem, so that mutate.sh reports it as unusable."""
import sys

for number, line in enumerate(open(sys.argv[1], encoding="utf-8"), 1):
    line = line.rstrip("\r\n")
    if not line.strip() or line.startswith("#"):
        continue
    fields = line.split(" | ")
    if len(fields) != 4:
        fields = [f"line-{number}", "(not four fields separated by ' | ')", "", ""]
    fields[0], fields[1] = fields[0].strip(), fields[1].strip()
    sys.stdout.write("\x1f".join(fields) + "\0")
