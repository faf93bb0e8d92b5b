#!/usr/bin/python3
"""Writes a station journal from what a merlon-capture run printed, one JSON
line per attempt, for the web site's browser check. Once merlon-capture
writes its journal itself (--protokoll), scripts/check-galerie.sh takes that
file instead and this script goes.

    journal_from_run.py STDOUT STDERR PORT JOURNAL
"""
import datetime
import json
import os
import re
import sys

stdout_path, stderr_path, port, journal_path = sys.argv[1:5]
folder = os.path.dirname(os.path.abspath(journal_path))
stored = re.compile(r"^(.*): (\d+) Bytes, (\d{4}-\d\d-\d\d \d\d:\d\d:\d\d), Versuch (\d+) von (\d+)$")
busy = re.compile(r"^merlon-capture: Versuch (\d+) von (\d+): (Besetzt \(BUSY\))$")
aside = re.compile(r"^merlon-capture: Versuch (\d+) von (\d+): Bild (beschädigt|unlesbar), "
                   r"beiseitegelegt als (.*) \((\d+) Bytes\) mit ")


def relative(path):
    return os.path.relpath(path, folder) if os.path.abspath(path).startswith(folder + "/") else path


attempts = []
end = None
for line in open(stdout_path, encoding="utf-8"):
    match = stored.match(line.rstrip("\n"))
    if match:
        end = datetime.datetime.strptime(match[3], "%Y-%m-%d %H:%M:%S").astimezone()
        attempts.append(dict(attempt=int(match[4]), attempts=int(match[5]), outcome="sound",
                             dial=None, file=relative(match[1]), bytes=int(match[2]), message=None))
# The progress line shares standard error, after carriage returns.
for line in open(stderr_path, encoding="utf-8").read().replace("\r", "\n").splitlines():
    if match := busy.match(line):
        attempts.append(dict(attempt=int(match[1]), attempts=int(match[2]), outcome="dial_failed",
                             dial="busy", file=None, bytes=0, message=match[3]))
    elif match := aside.match(line):
        attempts.append(dict(attempt=int(match[1]), attempts=int(match[2]),
                             outcome="damaged" if match[3] == "beschädigt" else "unreadable",
                             dial="connect", file=relative(match[4]), bytes=int(match[5]),
                             message=line[len("merlon-capture: "):]))
if end is None:
    sys.exit("journal_from_run: the run stored no picture")
attempts.sort(key=lambda a: a["attempt"])
with open(journal_path, "w", encoding="utf-8") as journal:
    for a in attempts:
        time = end - datetime.timedelta(seconds=5 * (attempts[-1]["attempt"] - a["attempt"]))
        line = dict(time=time.isoformat(timespec="seconds"), port=port, attempt=a["attempt"],
                    attempts=a["attempts"], outcome=a["outcome"], dial=a["dial"], file=a["file"],
                    bytes=a["bytes"], seconds=5.0, message=a["message"])
        journal.write(json.dumps(line, ensure_ascii=False) + "\n")
