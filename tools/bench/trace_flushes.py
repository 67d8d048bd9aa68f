#!/usr/bin/env python3
"""Traces one run of tools/run_demo.sh with strace and counts, for each
component's folder, what the updater did there: backups made, files written,
flushes, how many flushes came before the first replaced file and before
the first backup was deleted, how many times backup files were opened
while the backups were made, and how many files the check before the update
opened for writing (and closed unwritten) before the first backup. Needs
strace (apt-get install strace).

Usage: tools/bench/trace_flushes.py [trace-file]   (an existing trace is only counted)
"""
import os, re, subprocess, sys

here = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def count(trace, folder):
    started = False
    backups = written = flushes = backup_opens = checked = unlinks = 0
    before_replace = before_delete = None
    for line in open(trace, errors='replace'):
        m = re.search(r'(openat|fsync|unlink)\((.*)', line)
        if not m or folder not in line or 'ENOENT' in line:
            continue
        call, rest = m.groups()
        quoted = re.search(r'"([^"]*)"', rest)
        path = quoted.group(1) if quoted else re.search(r'<([^>]*)>', rest).group(1)
        is_backup = '_back' in path.rsplit('/', 1)[-1]
        # Wine's server creates files (O_CREAT) and unlinks them; the updater's
        # own process flushes. The demo installer's files come before the
        # first backup, so counting starts there.
        if call == 'openat' and not started and 'O_CREAT' not in rest and re.search(r'O_(RDWR|WRONLY)', rest):
            checked += 1
        if call == 'openat' and is_backup and before_replace is None and (started or 'O_CREAT' in rest):
            backup_opens += 1
        if call == 'openat' and 'O_CREAT' in rest:
            if is_backup:
                started = True
                backups += 1
            elif started:
                written += 1
                if before_replace is None:
                    before_replace = flushes
        elif started and call == 'fsync':
            flushes += 1
        elif started and call == 'unlink':
            unlinks += 1
            if is_backup and before_delete is None:
                before_delete = flushes
    return (f"{folder}: {checked} files opened by the check, {backups} backups made, {written} files written, "
            f"{flushes} flushes, {unlinks} deletes; "
            f"{before_replace} flushes before the first replaced file, {before_delete} before the first backup deleted; "
            f"{backup_opens} opens of backup files before the first replaced file")


def main():
    if len(sys.argv) > 1:
        trace = sys.argv[1]
    else:
        trace = os.path.join(here, 'build', 'demo-flushes.trace')
        # The demo's Wine server must be started under the trace: it makes and deletes the files.
        subprocess.run(['wineserver', '-k'], env=dict(os.environ, WINEPREFIX=os.path.join(here, 'build/wine-demo')),
                       stderr=subprocess.DEVNULL)
        subprocess.run(['strace', '-f', '-y', '-s', '400', '-o', trace, '-e', 'trace=openat,fsync,unlink',
                        os.path.join(here, 'tools/run_demo.sh')], check=True, stdout=subprocess.DEVNULL)
    for component in ('Profissional', 'Publico', 'Administracao'):
        print(count(trace, f'/VELTRIS5/{component}/'))


main()
