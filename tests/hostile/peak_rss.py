#!/usr/bin/env python3
"""Runs a program and reports its peak resident memory and when it ended.

    peak_rss.py REPORT PROGRAM [ARG...]

Standard input, output and error are the program's. Once it has ended,
REPORT gets one JSON object {"maxrss_kib", "cpu_s" (user and system),
"exited" (wall clock), "status"}
and this exits with the program's status (128 + N after signal N).
"""

import json
import resource
import subprocess
import sys
import time


def main(argv):
    if len(argv) < 2:
        sys.exit("usage: peak_rss.py REPORT PROGRAM [ARG...]")
    status = subprocess.run(argv[1:]).returncode
    exited = time.time()
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    with open(argv[0], "w", encoding="utf-8") as report:
        json.dump({"maxrss_kib": usage.ru_maxrss,  # KiB on Linux
                   "cpu_s": usage.ru_utime + usage.ru_stime,
                   "exited": exited, "status": status}, report)
    return status if status >= 0 else 128 - status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
